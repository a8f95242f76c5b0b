// feedwatch --save-ini: the last complete table of each kind shown, kept until
// the end of the run and then written as a generator configuration file that
// sends it again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "feedwatch/json_output.h"
#include "feedwatch/record_expansion.h"
#include "packet/header.h"
#include "portable/result.h"

namespace feedwatch {

// One table as the generator would send it: the header of its first packet,
// its records and how its message was sliced.
struct SavedTable {
  std::array<std::uint8_t, packet::kHeaderSize> header{};
  std::uint32_t num_record = 0;
  std::uint16_t record_size = 0;
  std::uint32_t max_per_packet = 0;  // records of the first part; 0 for a single packet
  std::vector<std::uint8_t> records;
};

// The tables of the run, by kind.
class SavedTables {
 public:
  // Takes a packet as the monitor shows it: `packet` holds its header and,
  // expanded when compressed, its record area; `length` bytes arrived and
  // `expanded` came out of the expansion.  `part` places it in a multi-packet
  // message (nullptr for a single packet): the parts of a message come one
  // after the other in any order, and the message counts once its last part
  // is taken, its records in PacketNumber order.  A packet the
  // generator cannot send again (no kind or scheme, an area that fails to
  // expand or holds fewer records than NumRecord, a record size the kind
  // does not have; parts not numbered 1 to their count, of another kind or
  // record size, or with more records than the first) drops the message it
  // belongs to.
  void take(const std::uint8_t* packet, std::size_t length, Expansion expansion,
            std::size_t expanded, const MessagePart* part);

  // The last complete table of a MessageType, or nullptr.
  const SavedTable* table(std::uint8_t message_type) const;

  // The MessageTypes with a table, in the order their first table came.
  const std::vector<std::uint8_t>& kinds() const { return kinds_; }

 private:
  using Bytes = std::vector<std::uint8_t>;

  std::optional<SavedTable> assemble(bool parts);

  std::vector<Bytes> pending_;  // the packets of the message in hand: header and records
  bool broken_ = false;         // a packet of the message in hand cannot be sent again
  std::array<std::optional<SavedTable>, 8> last_;  // by MessageType, 1 to 6
  std::vector<std::uint8_t> kinds_;
};

// The configuration file that makes the generator send `table` again:
// section "MCast" with the header's kind, scheme, server name and version
// (and the records per packet of a multi-packet message), then the kind's
// section with Number, Encode, RecordSize where the kind has more than one,
// and every record key.  Numbers shown in hexadecimal are written 0x...,
// others in signed decimal.
std::string saved_table_text(const SavedTable& table);

// The file of the `n`th kind saved: `file` for the first, else
// "<file without its extension>-<kind's section in lower case>.ini" beside it.
std::string saved_table_path(const std::string& file, std::size_t n, std::uint8_t message_type);

// Writes every kind's table to its file; fails with "cannot write <path>:
// <reason>" at the first file that cannot be written.  Writes nothing when no
// table was saved.
portable::Result<void> write_saved_tables(const SavedTables& tables, const std::string& file);

}  // namespace feedwatch
