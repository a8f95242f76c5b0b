#include "feedwatch/receive_loop.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "feedwatch/print_packet.h"
#include "packet/header.h"

namespace feedwatch {
namespace {

constexpr int kQuitKey = 'q';

void print_identification(const std::uint8_t* buffer, Console& console) {
  console.print_wide(u"Packet header id -> %s\n", packet::header_id(buffer));
  console.print("Reserve bytes -> %x;%x;%x;%x\n",
                std::uint32_t{buffer[packet::offset::kPacketNumber]},
                std::uint32_t{buffer[packet::offset::kPacketCount]},
                std::uint32_t{buffer[packet::offset::kReserved1]},
                std::uint32_t{buffer[packet::offset::kReserved2]});
  console.print("Version -> %d;%d;%d\n", std::int32_t{buffer[packet::offset::kReleaseNumber]},
                std::int32_t{buffer[packet::offset::kMinorVersion]},
                std::int32_t{buffer[packet::offset::kBuildNumber]});
}

// Stores a part and, when its group is complete, prints every part of the
// group in arrival order from `buffer`, which the stored copies overwrite.
void store_part(std::uint8_t* buffer, std::size_t length, MultipacketStore& store,
                Console& console) {
  const std::uint32_t timestamp = packet::timestamp(buffer);
  const std::uint8_t count = packet::packet_count(buffer);
  console.print("Storing Multipacket - time %lu, message %d of %d from %S\n", timestamp,
                std::int32_t{packet::packet_number(buffer)}, std::int32_t{count},
                packet::server_name(buffer));
  const std::size_t stored = std::max(length, packet::kHeaderSize);
  if (store.add(timestamp, {buffer, stored}, console) < count) return;
  const std::vector<MultipacketStore::Part> parts = store.take(timestamp);
  for (std::size_t n = 0; n < parts.size(); ++n) {
    console.print("\nPrint packet %d:\n", static_cast<std::int32_t>(n + 1));
    std::memcpy(buffer, parts[n].data(), parts[n].size());
    std::memset(buffer + parts[n].size(), 0, kPacketBufferSize - parts[n].size());
    print_packet(buffer, console);
  }
}

}  // namespace

void handle_datagram(std::uint8_t* buffer, std::size_t length, MultipacketStore& store,
                     Console& console) {
  length = std::min(length, kPacketBufferSize);
  std::memset(buffer + length, 0, kPacketBufferSize - length);
  print_identification(buffer, console);
  packet::store_be16(buffer + packet::offset::kNameTerminator, 0);
  if (packet::packet_count(buffer) <= 1) {
    console.print("\nPrint single packet:\n");
    print_packet(buffer, console);
    return;
  }
  store_part(buffer, length, store, console);
}

int run_receive_loop(platform::UdpSocket& socket, platform::Keyboard& keyboard, Console& console) {
  std::vector<std::uint8_t> buffer(kPacketBufferSize);
  MultipacketStore store;
  for (;;) {
    if (keyboard.poll() == kQuitKey) {
      socket.shutdown_receive();
      return 0;
    }
    int error = 0;
    const long length = socket.receive(buffer.data(), buffer.size(), error);
    if (length < 0) {
      console.print("recvfrom failed! Error: %d", static_cast<std::int32_t>(error));
      return -1;
    }
    handle_datagram(buffer.data(), static_cast<std::size_t>(length), store, console);
    console.flush();
  }
}

}  // namespace feedwatch
