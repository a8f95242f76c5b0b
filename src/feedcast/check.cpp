#include "feedcast/check.h"

#include <algorithm>
#include <vector>

#include "feedcast/config_outage.h"
#include "feedcast/doubts.h"
#include "feedcast/faults.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/header.h"
#include "platform/sockets.h"

namespace feedcast {
namespace {

// "Destination <group>:<port> (<kind> - <scheme>), TTL <n>".
std::string destination_line(const SenderConfig& config, const packet::Kind& kind) {
  const Destination to = destination_of(config, kind);
  return "Destination " + platform::dotted(to.group) + ":" + std::to_string(to.port) + " (" +
         std::string(kind.section) + " - " + std::string(packet::scheme_name(config.stat_scheme)) +
         "), TTL " + std::to_string(effective_ttl(config)) + "\n";
}

// "Table: <n> records of <size> bytes, ..." for the message a pass sends.
std::string table_line(const packet::Kind& kind, std::span<const Datagram> message,
                       std::size_t stream_bytes) {
  std::uint32_t records = 0;
  std::size_t largest = 0;
  for (const Datagram d : message) {
    records += packet::num_record(d.data());
    largest = std::max(largest, d.size());
  }
  const bool parts = message.size() > 1;
  std::string line =
      "Table: " + records_text(records) + " of " + std::to_string(kind.record_size) + " bytes, ";
  if (parts) {
    line += "in " + std::to_string(message.size()) + " parts of at most " +
            records_text(packet::num_record(message.front().data())) + ", datagrams of up to " +
            std::to_string(largest) + " bytes";
  } else {
    line += std::to_string(largest) + "-byte datagram";
  }
  if (packet::encoding(message.front().data()) == 1 && stream_bytes > 0) {
    line += ", compressed to " + std::to_string(stream_bytes) + " bytes";
    if (parts) line += " in all";
  }
  return line + "\n";
}

// A count of milliseconds in seconds: "2", or "0.25" where it has a fraction.
std::string seconds_text(std::uint32_t milliseconds) {
  std::string text = std::to_string(milliseconds / 1000);
  if (const std::uint32_t rest = milliseconds % 1000) {
    std::string fraction = std::to_string(1000 + rest).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text;
}

// "Every <seconds> s", and how far apart the parts of a message go.
std::string pause_line(const SenderConfig& config, std::size_t parts) {
  std::string line = "Every " + seconds_text(pause_after_message(config)) + " s";
  if (parts > 1) line += ", parts " + std::to_string(pause_between_parts(config)) + " ms apart";
  return line + "\n";
}

std::string seed_text(std::string_view name, std::int32_t seed) {
  std::string text(name);
  text += seed == 0 ? " from the clock" : " ";
  if (seed != 0) text += std::to_string(static_cast<std::uint32_t>(seed));
  return text;
}

// "Faults: drop 10%, ..., Seed 7" when a fault is asked for, else nothing.
std::string faults_line(const FaultSettings& s) {
  if (!faults_datagrams(s) && s.reorder_parts == 0) return {};
  const std::pair<const char*, std::int32_t> percents[] = {{"drop", s.drop_percent},
                                                           {"duplicate", s.duplicate_percent},
                                                           {"truncate", s.truncate_percent},
                                                           {"corrupt", s.corrupt_percent}};
  std::string line = "Faults:";
  for (const auto& [name, percent] : percents) {
    if (percent > 0)
      line += std::string(" ") + name + " " + std::to_string(std::min(percent, 100)) + "%,";
  }
  if (s.reorder_parts != 0) line += " parts in random order,";
  return line + " " + seed_text("Seed", s.seed) + "\n";
}

// "Simulation: <n> moving values, SimulateSeed <s>" with Simulate 1.
std::string simulation_line(const SenderConfig& config, const PacketSource& source) {
  const Simulation* simulation = source.simulation();
  if (simulation == nullptr) return {};
  return "Simulation: " + std::to_string(simulation->moving_values()) + " moving values, " +
         seed_text("SimulateSeed", config.simulate_seed) + "\n";
}

// The warning lines of the doubts.
std::string warning_lines(const std::string& path, const std::vector<Doubt>& doubts) {
  std::string lines;
  for (const Doubt& d : doubts) {
    lines += "Warning: " + path;
    if (d.line != 0) {
      lines += ':';
      lines += std::to_string(d.line);
    }
    lines += ": " + d.text + "\n";
  }
  return lines;
}

}  // namespace

CheckReport check_configuration(platform::ProfileFile& ini, std::int64_t now) {
  CheckReport report;
  report.text = "Configuration file " + ini.path() + "\n";
  if (!ini.readable()) {
    report.refusal = unreadable_file_message(ini);
    return report;
  }
  const std::vector<Doubt> doubts = find_doubts(portable::ProfileText(ini.contents()));
  const SenderConfig config = read_sender_config(ini);
  const portable::Result<const packet::Kind*> kind = check_kind_and_scheme(config);
  if (!kind) {
    report.refusal = kind.failure();
  } else {
    report.text += destination_line(config, **kind);
    PacketSource source(config, **kind, ini);
    const portable::Result<std::span<const Datagram>> message = source.next(now);
    if (!message) {
      report.refusal = message.failure();
    } else {
      report.text += table_line(**kind, *message, source.stream_bytes());
      report.text += pause_line(config, message->size());
      report.text += faults_line(read_fault_settings(ini));
      report.text += simulation_line(config, source);
    }
  }
  report.text += warning_lines(ini.path(), doubts);
  report.doubts = !doubts.empty();
  return report;
}

}  // namespace feedcast
