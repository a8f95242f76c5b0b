// Pipeline tests: feedcast, configured with distinctive record values, feeds
// a feedwatch on the matching port inside a private network namespace, and
// every value typed into feedcast.ini must show on the monitor.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::Process;
using test_support::TempDir;

constexpr const char* kSeparator =
    "               ************************************************\n\n";

// The date feedwatch prints: the system's own zone, zero-padded day.
std::string local_date(std::uint32_t seconds) {
  unsetenv("TZ");
  tzset();
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y\n", &local);
  return text;
}

// One display line of the monitor: its format and the key stems of the
// fields that fill its placeholders, left to right.
struct Line {
  std::string format;
  std::vector<std::string> stems;
};

struct Kind {
  const char* name;
  int message_type;
  const char* title;
  int record_size;
  int number;                      // records configured
  std::vector<std::string> stems;  // every keyed field, in record order
  std::vector<Line> lines;         // the lines checked for each record
  bool whole_record;               // the lines are the record's whole display
  std::map<std::string, std::uint32_t> values;  // keys with a value of their own
  std::string first_byte_only = {};             // a field shown as its first byte alone
};

// The value configured for field `field` of record `record`: distinct for
// every field of every record, unless the kind names one of its own.
std::uint32_t value_of(const Kind& kind, std::size_t record, std::size_t field) {
  const auto own = kind.values.find(kind.stems[field] + std::to_string(record));
  if (own != kind.values.end()) return own->second;
  return static_cast<std::uint32_t>(100 * (record + 1) + field + 1);
}

// Fills the %d (signed decimal) and %X (upper-case hex) placeholders.
std::string fill(const Line& line, const Kind& kind, std::size_t record) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < line.format.size(); ++i) {
    if (line.format[i] != '%') {
      out += line.format[i];
      continue;
    }
    std::size_t field = 0;
    while (kind.stems[field] != line.stems.at(next)) ++field;
    std::uint32_t value = value_of(kind, record, field);
    if (kind.stems[field] == kind.first_byte_only) value &= 0xFF;  // little-endian on the wire
    char text[16];
    if (line.format[++i] == 'X') {
      std::snprintf(text, sizeof text, "%X", value);
    } else {
      std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(value));
    }
    out += text;
    ++next;
  }
  return out;
}

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> all = {
      {"Application", 1, "Application Statistics - ", 84, 2,
       {"ApplicationID", "CallsAbandoned", "CallsAbandonedAfterThreshold", "CallsAbandonedDelay",
        "CallsAnswered", "CallsAnsweredAfterThreshold", "CallsAnsweredDelay", "CallsWaiting",
        "MaxWaitingTime", "WaitingTime", "CallsAnswerDelayAtSkillset",
        "CallsGivenTerminationTreatment", "CallsOffered", "TimeBeforeInterflow",
        "NetworkOutCalls", "NetworkOutCallsAbandoned", "NetworkOutCallsAbandonedDelay",
        "NetworkOutCallsAnswered", "NetworkOutCallsAnsweredDelay", "NetworkOutCallsWaiting",
        "NetworkOutCallsRequested"},
       {{"ApplctnId  =%d\tCallsAband =%d\tCallAbnAfTd=%d\tCallAbnDly =%d\tCallsAns   =%d\n",
         {"ApplicationID", "CallsAbandoned", "CallsAbandonedAfterThreshold",
          "CallsAbandonedDelay", "CallsAnswered"}},
        {"CallAnsAfTd=%d\tCallAnsDely=%d\tCallsWaitin=%d\tMaxWaitTime=%d\tWaitingTime=%d\n",
         {"CallsAnsweredAfterThreshold", "CallsAnsweredDelay", "CallsWaiting", "MaxWaitingTime",
          "WaitingTime"}},
        {"CallAnsDlyS=%d\tCallGvTerTr=%d\tCallsOffer =%d\tTmBfrItrflw=%d\tNwtOutCalls=%d\n",
         {"CallsAnswerDelayAtSkillset", "CallsGivenTerminationTreatment", "CallsOffered",
          "TimeBeforeInterflow", "NetworkOutCalls"}},
        {"NwtOCallAbn=%d\tNwtOCllAbnD=%d\tNwtOCallAns=%d\tNwtOCllAnsD=%d\tNwtOCallWtn=%d\n",
         {"NetworkOutCallsAbandoned", "NetworkOutCallsAbandonedDelay", "NetworkOutCallsAnswered",
          "NetworkOutCallsAnsweredDelay", "NetworkOutCallsWaiting"}},
        {"NwtOCallReq=%d\n", {"NetworkOutCallsRequested"}}},
       true,
       {{"ApplicationID0", 3001}, {"ApplicationID1", 3002}}},
      {"Skillset", 2, "Skillset Statistics - ", 116, 2,
       {"SkillsetID", "AgentsAvailable", "AgentsInService", "AgentsOnSkillsetCall",
        "AgentsNotReady", "CallsWaiting", "LongestWaitingTimeSinceLastCall", "MaxWaitingTime",
        "WaitingTime", "ExpectedWaitTime", "CallsAnsweredAfterThreshold",
        "LongestWaitingTimeSinceLogin", "AgentsOnDNCalls", "SkillsetState", "AgentsUnavailable",
        "NetworkCallsWaiting", "NetworkCallsAnswered", "QueuedCallAnswered",
        "TotalCallsAnsweredDelay", "TotalCallsAnswered", "AgentOnNetworkSkillsetCall",
        "AgentOnOtherSkillsetCall", "AgentOnACDDNCall", "AgentOnNACDDNCall", "CallsOffered",
        "SkillsetAbandoned", "SkillsetAbandonedDelay", "SkillsetAbandonedAfterThreshold",
        "NetworkCallsOffered"},
       {{"SkillsetId =%d\tAgentAvail =%d\tAgentInSrvc=%d\tAgtOnSklCal=%d\tAgentNtRdy =%d\n",
         {"SkillsetID", "AgentsAvailable", "AgentsInService", "AgentsOnSkillsetCall",
          "AgentsNotReady"}},
        {"CallWaiting=%d\tLngWaitTmLt=%d\tMaxWaitTime=%d\tWaitingTime=%d\tExpWaitTime=%d\n",
         {"CallsWaiting", "LongestWaitingTimeSinceLastCall", "MaxWaitingTime", "WaitingTime",
          "ExpectedWaitTime"}},
        {"CallAfThshd=%d\tLngWaitTLog=%d\tAgtOnDNCall=%d\tSkillState =%d\tAgentUnavil=%d\n",
         {"CallsAnsweredAfterThreshold", "LongestWaitingTimeSinceLogin", "AgentsOnDNCalls",
          "SkillsetState", "AgentsUnavailable"}},
        // TotalCallsAnswered is shown before TotalCallsAnsweredDelay.
        {"NwtCallWait=%d\tNwtCallAns =%d\tQudCallAns =%d\tTotCallAns =%d\tTotCallAnsD=%d\n",
         {"NetworkCallsWaiting", "NetworkCallsAnswered", "QueuedCallAnswered",
          "TotalCallsAnswered", "TotalCallsAnsweredDelay"}},
        {"AgNwtSklCal=%d\tAgOtSklCall=%d\tAgtOnACDCal=%d\tAgtOnNACDCl=%d\tCallOffered=%d\n",
         {"AgentOnNetworkSkillsetCall", "AgentOnOtherSkillsetCall", "AgentOnACDDNCall",
          "AgentOnNACDDNCall", "CallsOffered"}},
        {"SkllAband  =%d\tSkllAbandDl=%d\tSklAbanAfTd=%d\tNwtCallOffr=%d\n",
         {"SkillsetAbandoned", "SkillsetAbandonedDelay", "SkillsetAbandonedAfterThreshold",
          "NetworkCallsOffered"}}},
       true,
       {{"TotalCallsAnsweredDelay0", 72000}, {"TotalCallsAnswered0", 76}}},
      // The monitor steps by 104 bytes through the generator's 84-byte
      // records, so one record, and only its keyed fields are checked.
      {"Agent", 3, "Agent Statistics - ", 84, 1,
       {"AgentID_High", "AgentID", "State", "SupervisorID_High", "SupervisorID", "TimeInState",
        "AnsweringSkillset", "DNInTimeInState", "DNOutTimeInState", "SupervisorUserID",
        "PositionID"},
       {{"AgentId(Hi)=%Xh\nAgentId(Lo)=%Xh\nState =%d\nSupverisrId=%Xh\nTimeInState=%d\n",
         {"AgentID_High", "AgentID", "State", "SupervisorID", "TimeInState"}},
        {"AnsSkillset=%d\tDNInTmInSt =%d\tDNOutTmInSt=%d\tPositionId =%d\n",
         {"AnsweringSkillset", "DNInTimeInState", "DNOutTimeInState", "PositionID"}}},
       false,
       {{"AgentID_High0", 0x1A2B}, {"AgentID0", 4660}, {"SupervisorID0", 48879}}},
      {"Nodal", 4, "Nodal Statistics - ", 28, 1,
       {"DummyKey", "CallsOffered", "CallsAnswered", "CallsWaiting", "NetworkCallsOffered",
        "NetworkCallsAnswered", "NetworkCallsWaiting"},
       {{"DummyKey   =%d\tCallOffered=%d\tCallsAnswer=%d\tCallWaiting=%d\tNwCallOffer=%d\n",
         {"DummyKey", "CallsOffered", "CallsAnswered", "CallsWaiting", "NetworkCallsOffered"}},
        {"NwtCallAns =%d\tNwtCallWait=%d\n", {"NetworkCallsAnswered", "NetworkCallsWaiting"}}},
       true,
       {}},
      {"IVR", 5, "IVR Statistics - ", 32, 2,
       {"IVRQueueID", "CallsWaiting", "CallsAnswered", "CallsAnsweredDelay",
        "CallsAnsweredAfterThreshold", "CallsNotTreated", "CallsNotTreatedDelay",
        "CallsNotTreatedAfterThreshold"},
       {{"IVRQueueId =%X\tCallWaiting=%d\tCallsAns   =%d\tCallAnsDely=%d\tCallAnsAfTd=%d\n",
         {"IVRQueueID", "CallsWaiting", "CallsAnswered", "CallsAnsweredDelay",
          "CallsAnsweredAfterThreshold"}},
        {"CallNtTrtd =%d\tCallNtTrDl =%d\tCallNtTAfTh=%d\n",
         {"CallsNotTreated", "CallsNotTreatedDelay", "CallsNotTreatedAfterThreshold"}}},
       true,
       {{"IVRQueueID0", 255}, {"IVRQueueID1", 0xABCDEF}}},
      // AllTrunksBusy travels low byte first and shows as that byte alone.
      {"Route", 6, "Route Statistics - ", 10, 2,
       {"RouteNumber", "AllTrunksBusy", "AllTrunksBusyTime"},
       {{"RouteNumber=%d\tTrunksBusy =%Xh\tTrunkBusyTm=%d\n",
         {"RouteNumber", "AllTrunksBusy", "AllTrunksBusyTime"}}},
       true,
       {{"AllTrunksBusy0", 258}, {"AllTrunksBusy1", 1}},
       "AllTrunksBusy"},
  };
  return all;
}

// A kind and its Encode value; compressed packets also use the other scheme,
// so the cases cover all twelve ports.
struct Case {
  std::size_t kind;
  int encode;

  const Kind& k() const { return kinds()[kind]; }
  int scheme() const { return encode; }
  int port() const { return 6020 + 20 * (k().message_type - 1) + 10 * scheme(); }
  std::string server() const { return std::string("PIPE-") + k().name; }
};

std::string feedcast_ini(const Case& c) {
  const Kind& k = c.k();
  std::string ini = "[MCast]\nIP=235.5.6.7\nMessageType=" + std::to_string(k.message_type) +
                    "\nStatScheme=" + std::to_string(c.scheme()) + "\nServerName=" + c.server() +
                    "\nUpdateRate=1\nTTL=1\nReleaseNumber=7\nMinorVersion=1\nBuildNumber=9\n\n[" +
                    k.name + "]\nNumber=" + std::to_string(k.number) +
                    "\nEncode=" + std::to_string(c.encode) + "\n";
  for (int record = 0; record < k.number; ++record) {
    for (std::size_t field = 0; field < k.stems.size(); ++field) {
      ini += k.stems[field] + std::to_string(record) + "=" +
             std::to_string(value_of(k, static_cast<std::size_t>(record), field)) + "\n";
    }
  }
  return ini;
}

// Returns an empty string when `output` holds a whole display of a packet of
// the case, sent no earlier than `since`; otherwise what is missing.
std::string check_display(const std::string& output, const Case& c, std::int64_t since) {
  const Kind& k = c.k();
  const std::string before_time =
      std::string("Packet header id -> KEBO\nReserve bytes -> 0;0;0;0\nVersion -> 7;1;9\n") +
      "\nPrint single packet:\n" +
      (c.encode == 1 ? "\nCompression is 'on', de-compress\n"
                       "\nCompression was ON - data uncompressed successfully.\n"
                     : "") +
      "Server id -> " + c.server() + "\n" + k.title +
      (c.scheme() == 0 ? "Interval to Date\n" : "Moving Window\n") + "Timestamp -> ";
  const std::size_t start = output.find(before_time);
  if (start == std::string::npos) return "no display beginning with:\n" + before_time;

  const std::size_t time_at = start + before_time.size();
  const std::size_t time_end = output.find('\n', time_at);
  const std::size_t equals = output.find(" = ", time_at);
  if (time_end == std::string::npos || equals == std::string::npos || equals > time_end) {
    return "incomplete timestamp line";
  }
  const std::int64_t timestamp = std::stoll(output.substr(time_at, equals - time_at));
  const std::int64_t now = std::time(nullptr);
  if (timestamp < since - 5 || timestamp > now + 5) {
    return "timestamp " + std::to_string(timestamp) + " is not the time of sending";
  }
  const std::string date = output.substr(equals + 3, time_end + 1 - (equals + 3));
  if (date != local_date(static_cast<std::uint32_t>(timestamp))) return "wrong date: " + date;

  std::string after_time = "NumRecord -> " + std::to_string(k.number) + "\nRecordSize -> " +
                           std::to_string(k.record_size) + "\n\nEncoding : " +
                           std::to_string(c.encode) + "\n";
  if (k.whole_record) {
    for (int record = 0; record < k.number; ++record) {
      for (const Line& line : k.lines) after_time += fill(line, k, record);
      after_time += kSeparator;
    }
  } else {
    after_time += fill(k.lines.front(), k, 0);
  }
  const std::string rest = output.substr(time_end + 1);
  if (rest.compare(0, after_time.size(), after_time) != 0) {
    return "the display does not go on with:\n" + after_time;
  }
  if (!k.whole_record) {
    const std::string record = rest.substr(0, rest.find(kSeparator));
    for (const Line& line : k.lines) {
      if (record.find(fill(line, k, 0)) == std::string::npos) {
        return "the first record lacks:\n" + fill(line, k, 0);
      }
    }
  }
  return "";
}

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.k().name << (c.encode == 1 ? " compressed" : " plain");
}

class PipelineTest : public ::testing::TestWithParam<Case> {};

TEST_P(PipelineTest, ConfiguredValuesAppearOnTheMonitor) {
  ASSERT_TRUE(test_support::in_private_namespace()) << "run through tests/netns/in-private-netns";
  const Case& c = GetParam();
  TempDir dir;
  dir.write("feedcast.ini", feedcast_ini(c));

  Process watch({FEEDWATCH_PATH, std::to_string(c.port())}, dir.path());
  ASSERT_TRUE(eventually([&] { return watch.output().find("adapter 0 - 127.0.0.1\n") !=
                                      std::string::npos; },
                         5s))
      << watch.output();

  const std::int64_t since = std::time(nullptr);
  Process cast({FEEDCAST_PATH}, dir.path());
  std::string missing;
  const bool shown = eventually(
      [&] {
        missing = check_display(watch.output(), c, since);
        return missing.empty();
      },
      8s);
  ASSERT_TRUE(shown) << missing << "\n--- feedwatch printed:\n"
                     << watch.output() << "\n--- feedcast printed:\n"
                     << cast.output() << cast.errors();

  // The q takes effect after the next packet, at most UpdateRate later.
  watch.send_input("q");
  ASSERT_TRUE(watch.wait_for(5s)) << "feedwatch did not stop";
  EXPECT_EQ(watch.exit_status(), 0);
  EXPECT_EQ(watch.errors(), "");
  EXPECT_FALSE(cast.wait_for(0ms)) << "feedcast stopped: " << cast.errors();
}

std::vector<Case> all_cases() {
  std::vector<Case> cases;
  for (std::size_t kind = 0; kind < kinds().size(); ++kind) {
    for (int encode : {0, 1}) cases.push_back({kind, encode});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PipelineTest, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) {
                           return std::string(info.param.k().name) +
                                  (info.param.encode == 1 ? "_Compressed" : "_Plain");
                         });

}  // namespace
