// A sequence of datagrams through the monitor's whole receive step: the
// identification lines, the Multipacket Store, PrintPacket and the record
// display, with the output thrown away.
//
// Input: datagrams, each a 2-byte big-endian length and that many bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "feedwatch/console_output.h"
#include "feedwatch/multipacket_store.h"
#include "feedwatch/packet_buffer.h"
#include "feedwatch/receive_loop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  static const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  feedwatch::Console console(sink);
  feedwatch::MultipacketStore store(8);
  while (size >= 2) {
    std::size_t length = std::size_t{data[0]} << 8 | data[1];
    data += 2;
    size -= 2;
    if (length > size) length = size;
    std::memcpy(buffer->data(), data, length);
    feedwatch::handle_datagram(*buffer, length, store, console);
    data += length;
    size -= length;
  }
  return 0;
}
