// The replay's handling of captured datagrams, whatever they hold: grouped
// into messages as the replay groups them, their Timestamps moved, then the
// fault injector's order and shapes with every fault likely.  Nothing may
// read or write outside a datagram, and every shape lies within its datagram.
//
// Input: the bytes of a capture file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "capture/reader.h"
#include "feedcast/faults.h"
#include "feedcast/replay.h"

namespace {

// A configuration file whose [Faults] make every fault frequent.
const platform::ProfileFile& fault_file() {
  static const std::string path = [] {
    std::string p = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                    "/fuzz_replay_faults.ini";
    std::ofstream(p) << "[Faults]\nSeed=7\nReorderParts=1\nDropPercent=10\n"
                        "DuplicatePercent=10\nTruncatePercent=40\nCorruptPercent=40\n";
    return p;
  }();
  static const platform::ProfileFile file(path);
  return file;
}

void shape_message(feedcast::FaultInjector& faults, std::vector<feedcast::HeldDatagram>& message,
                   std::size_t held) {
  std::vector<packet::Datagram> views;
  for (std::size_t i = 0; i < held; ++i) {
    feedcast::move_timestamp(message[i].bytes, 0x80000001u);
    views.emplace_back(message[i].bytes);
  }
  std::string lines;
  for (const std::size_t i : faults.order(views, lines)) {
    if (i >= held) __builtin_trap();
    const feedcast::Shipment s = faults.shape(views[i], lines);
    if (s.bytes.size() > views[i].size() || s.copies < 0 || s.copies > 2) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;  // an empty input cannot be opened in memory
  feedcast::FaultInjector faults;
  faults.update(fault_file());
  capture::Reader reader(file, capture::all_ports(), {.max_held_bytes = 1 << 18});
  std::vector<feedcast::HeldDatagram> message(256);
  std::size_t held = 0;
  while (const auto d = reader.next()) {
    if (held > 0 && !feedcast::joins_message(message[0], held, *d)) {
      shape_message(faults, message, held);
      held = 0;
    }
    if (held == message.size()) __builtin_trap();  // a message never outgrows PacketCount
    message[held] = {{d->payload.begin(), d->payload.end()},
                     d->time_ns,
                     d->destination_address,
                     d->destination_port};
    if (feedcast::completes_message(message[held], ++held)) {
      shape_message(faults, message, held);
      held = 0;
    }
  }
  if (held > 0) shape_message(faults, message, held);
  std::fclose(file);
  return 0;
}
