// A sequence of datagrams through the monitor's whole receive step: the
// identification lines, the Multipacket Store, PrintPacket and the record
// display, with the output thrown away.
//
// Input: datagrams, each a 2-byte big-endian length and that many bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "feedwatch/console_output.h"
#include "feedwatch/multipacket_store.h"
#include "feedwatch/print_packet.h"
#include "feedwatch/receive_loop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  static std::vector<std::uint8_t> buffer(feedwatch::kPacketBufferSize, 0xA5);
  feedwatch::Console console(sink);
  feedwatch::MultipacketStore store(8);
  while (size >= 2) {
    std::size_t length = std::size_t{data[0]} << 8 | data[1];
    data += 2;
    size -= 2;
    if (length > size) length = size;
    std::memcpy(buffer.data(), data, length);
    feedwatch::handle_datagram(buffer.data(), length, store, console);
    data += length;
    size -= length;
  }
  return 0;
}
