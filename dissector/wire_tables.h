// The wire format's tables as one tree of plain values (objects, arrays,
// strings, numbers), taken from the C++ tables that both programs use: the
// header's fields, the kinds with their record sizes and layouts, the
// schemes and the Stat Port Table.  The dissector's tables are written from
// this tree by a writer of one language's syntax.
#pragma once

#include <nlohmann/json.hpp>

namespace dissector {

// Returns the wire tables.  Keys:
//   header: size, identifier, fields (name, offset, width, shown)
//   monitor_buffer_size: the bytes the monitor receives a datagram into
//   schemes: stat_scheme, name
//   kinds: message_type, name (the configuration section), title (the
//     monitor's), record_size (as the generator writes it), layout, and for
//     one kind a version_layout (release_number, minor_version, layout)
//   stat_ports: message_type, stat_scheme, port
// A layout has a name, a size (the stride with which the monitor reads) and
// fields (name, label, offset, width, order, shown, keyed).
nlohmann::ordered_json wire_tables();

}  // namespace dissector
