#include "feedwatch/receive_loop.h"

#include <algorithm>
#include <memory>

#include "feedwatch/print_packet.h"
#include "feedwatch/record_expansion.h"
#include "packet/header.h"

namespace feedwatch {
namespace {

constexpr int kQuitKey = 'q';

// The identifier, the four reserve bytes and the version of every datagram.
void print_identification(const std::uint8_t* buffer, Console& console) {
  using packet::header_field;
  const auto number = [buffer](const packet::HeaderField& field) {
    return packet::read_number(buffer, field);
  };
  console.print_wide(u"Packet header id -> %s\n",
                     packet::read_text(buffer, header_field("HeaderId")));
  console.print("Reserve bytes -> %x;%x;%x;%x\n", number(header_field("PacketNumber")),
                number(header_field("PacketCount")), number(header_field("Reserved1")),
                number(header_field("Reserved2")));
  console.print("Version -> %d;%d;%d\n", number(header_field("ReleaseNumber")),
                number(header_field("MinorVersion")), number(header_field("BuildNumber")));
}

// Expands the packet in `buffer`, then prints it.
void show_packet(PacketBuffer& buffer, Console& console) {
  const Expansion expansion = expand_record_area(buffer);
  print_packet(buffer, expansion, console);
}

// Stores a part and, when its group is complete, prints every part of the
// group in arrival order from `buffer`, which the stored copies overwrite.
void store_part(PacketBuffer& buffer, std::size_t length, MultipacketStore& store,
                Console& console) {
  const std::uint32_t timestamp = packet::timestamp(buffer.data());
  const std::uint8_t count = packet::packet_count(buffer.data());
  console.print("Storing Multipacket - time %lu, message %d of %d from %S\n", timestamp,
                std::int32_t{packet::packet_number(buffer.data())}, std::int32_t{count},
                packet::server_name(buffer.data()));
  const std::size_t stored = std::max(length, packet::kHeaderSize);
  const MultipacketStore::Added added = store.add(timestamp, count, {buffer.data(), stored});
  if (added.dropped != 0) {
    console.print("Multipacket store full - dropping %u stored packet(s) of time %lu\n",
                  static_cast<std::uint32_t>(added.dropped), added.dropped_timestamp);
  }
  for (std::size_t n = 0; n < added.complete.size(); ++n) {
    const MultipacketStore::Part& part = added.complete[n];
    console.print("\nPrint packet %d:\n", static_cast<std::int32_t>(n + 1));
    std::copy(part.begin(), part.end(), buffer.begin());
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(part.size()), buffer.end(), 0);
    show_packet(buffer, console);
  }
}

}  // namespace

void handle_datagram(PacketBuffer& buffer, std::size_t length, MultipacketStore& store,
                     Console& console) {
  length = std::min(length, kPacketBufferSize);
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(length), buffer.end(), 0);
  print_identification(buffer.data(), console);
  packet::write_number(buffer.data(), packet::header_field("NameTerminator"), 0);
  if (packet::packet_count(buffer.data()) <= 1) {
    console.print("\nPrint single packet:\n");
    show_packet(buffer, console);
    return;
  }
  store_part(buffer, length, store, console);
}

int run_receive_loop(platform::UdpSocket& socket, platform::Keyboard& keyboard, Console& console) {
  const auto buffer = std::make_unique<PacketBuffer>();
  MultipacketStore store;
  for (;;) {
    if (keyboard.poll() == kQuitKey) {
      socket.shutdown_receive();
      return 0;
    }
    int error = 0;
    const long length = socket.receive(buffer->data(), buffer->size(), error);
    if (length < 0) {
      console.print("recvfrom failed! Error: %d", static_cast<std::int32_t>(error));
      return -1;
    }
    handle_datagram(*buffer, static_cast<std::size_t>(length), store, console);
    if (const int e = console.flush()) return report_output_failure(e);
  }
}

}  // namespace feedwatch
