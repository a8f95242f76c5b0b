// End-to-end tests of feedwatch: the real program, driven by crafted
// datagrams on the loopback interface of a private network namespace and
// stopped with `q` on its standard input.  Every expectation is the whole
// console output, from the first start-up line to the last packet.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using test_support::be32_words;
using test_support::default_fields;
using test_support::eventually;
using test_support::make_packet;
using test_support::Process;
using test_support::TempDir;

constexpr std::uint32_t kTime = 1607198400;  // 2020-12-05 20:00:00 UTC
constexpr auto kWait = 5s;

constexpr const char* kUsage =
    " Usage: feedwatch.exe PORT \n\tPORT is an integer multiple of 10, between 6020 and 6130.\n"
    "\tThis may also be set in feedwatch.ini file in the same directory\n";

constexpr const char* kSeparator =
    "               ************************************************\n\n";

// The date feedwatch prints for a timestamp: the system's own zone, whatever
// TZ holds, with a zero-padded day.
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

// The start-up lines of a monitor that joined on the namespace's one address.
std::string startup(int port, const std::string& group = "235.5.6.7") {
  return "Multicast Address: " + group + ".\nPort Selection: " + std::to_string(port) +
         ".\n\nadapter 0 - 127.0.0.1\n";
}

// The lines printed for every datagram before the single/multi decision.
std::string identification(const std::string& reserve = "0;0;0;0",
                           const std::string& version = "6;0;6") {
  return "Packet header id -> KEBO\nReserve bytes -> " + reserve + "\nVersion -> " + version +
         "\n";
}

// The header lines of PrintPacket for a packet that is not compressed.
std::string header_lines(const std::string& title, int num_record, int record_size,
                         const std::string& server = "CC1", std::uint32_t timestamp = kTime,
                         int encoding = 0) {
  return "Server id -> " + server + "\n" + title + "Timestamp -> " +
         std::to_string(static_cast<std::int32_t>(timestamp)) + " = " + local_date(timestamp) +
         "NumRecord -> " + std::to_string(num_record) + "\nRecordSize -> " +
         std::to_string(record_size) + "\n\nEncoding : " + std::to_string(encoding) + "\n";
}

void set_parts(std::vector<std::uint8_t>& packet, std::uint8_t number, std::uint8_t count) {
  packet[8] = number;
  packet[9] = count;
}

// The datagram that follows a `q`: an empty Nodal packet.
std::vector<std::uint8_t> stop_packet() {
  packet::HeaderFields f = default_fields(4);
  f.server_name = u"STOP";
  return make_packet(f);
}

// What the monitor prints for stop_packet().
std::string stop_text() {
  return identification() + "\nPrint single packet:\n" +
         header_lines("Nodal Statistics - Interval to Date\n", 0, 28, "STOP");
}

// One Nodal record with the given fields.
std::vector<std::uint8_t> nodal_record(std::uint32_t dummy_key, std::uint32_t base) {
  return be32_words({dummy_key, base + 1, base + 2, base + 3, base + 4, base + 5, base + 6});
}

std::string nodal_text(std::uint32_t dummy_key, std::uint32_t base) {
  auto n = [&](std::uint32_t k) { return std::to_string(base + k); };
  return "DummyKey   =" + std::to_string(dummy_key) + "\tCallOffered=" + n(1) +
         "\tCallsAnswer=" + n(2) + "\tCallWaiting=" + n(3) + "\tNwCallOffer=" + n(4) +
         "\nNwtCallAns =" + n(5) + "\tNwtCallWait=" + n(6) + "\n" + kSeparator;
}

// A feedwatch process in a directory of its own, with an optional
// feedwatch.ini, listening on `port` of `group`.
class Monitor {
 public:
  explicit Monitor(std::vector<std::string> args = {}, const std::string& ini = "",
                   int port = 6040, std::string group = "235.5.6.7")
      : port_(port), group_(std::move(group)) {
    if (!ini.empty()) dir_.write("feedwatch.ini", ini);
    args.insert(args.begin(), FEEDWATCH_PATH);
    process_ = std::make_unique<Process>(args, dir_.path());
  }

  // Waits until the monitor has joined its group.
  bool ready() { return shows("adapter 0 - 127.0.0.1\n"); }

  // Waits until the output holds `text`.
  bool shows(const std::string& text) {
    return eventually([&] { return output().find(text) != std::string::npos; }, kWait);
  }

  void send(const std::vector<std::uint8_t>& datagram) {
    test_support::send_datagram(static_cast<std::uint16_t>(port_), datagram, group_.c_str());
  }

  void press(const std::string& keys) { process_->send_input(keys); }

  // Waits for the end and returns the exit status; -2 when it did not end.
  int wait_exit() {
    if (process_->wait_for(kWait)) return process_->exit_status();
    process_->kill();
    return -2;
  }

  // Presses `q` once the monitor waits in its receive call, then sends the
  // datagram after which the key takes effect.
  int stop() {
    std::this_thread::sleep_for(100ms);
    press("q");
    send(stop_packet());
    return wait_exit();
  }

  bool running() { return !process_->wait_for(300ms); }

  std::string output() const { return process_->output(); }
  std::string errors() const { return process_->errors(); }

 private:
  TempDir dir_;
  int port_;
  std::string group_;
  std::unique_ptr<Process> process_;
};

class FeedwatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace())
        << "run through tests/netns/in-private-netns";
  }
};

// --- Start-up ---------------------------------------------------------------

struct StartupFailure {
  const char* name;
  std::vector<std::string> args;
  std::string ini;
  std::string output;
};

void PrintTo(const StartupFailure& c, std::ostream* os) { *os << c.name; }

class FeedwatchStartupFailureTest : public FeedwatchTest,
                                    public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(FeedwatchStartupFailureTest, PrintsTheReasonAndExitsWithMinusOne) {
  const StartupFailure& c = GetParam();
  Monitor monitor(c.args, c.ini);
  ASSERT_EQ(monitor.wait_exit(), 255) << monitor.output();
  EXPECT_EQ(monitor.output(), c.output);
  EXPECT_EQ(monitor.errors(), "");
}

const std::string kPortError6045 =
    std::string("Error on port selection. Value [6045] not allowed.\n") + kUsage;
const std::string kFallback = "Error processing inputted port value, using value from .ini file\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, FeedwatchStartupFailureTest,
    ::testing::Values(
        StartupFailure{"FilePortNotAStatPort", {}, "[MCast]\nPort=6045\n",
                       "Multicast Address: 235.5.6.7.\n" + kPortError6045},
        StartupFailure{"RejectedArgumentAndBadFilePort", {"6135"}, "[MCast]\nPort=7000\n",
                       "Multicast Address: 235.5.6.7.\n"
                       "Number found (6135) is out of range (6020 - 6130), or not a multiple of "
                       "10\n" +
                           kFallback + "Error on port selection. Value [7000] not allowed.\n" +
                           kUsage},
        StartupFailure{"InvalidCharacterInArgument", {"60x"}, "[MCast]\nPort=6045\n",
                       "Multicast Address: 235.5.6.7.\nFound invalid character \"x\"\n" +
                           kFallback + kPortError6045},
        StartupFailure{"NoNumberAnywhere", {"abc"}, "[MCast]\nPort=abc\n",
                       "Multicast Address: 235.5.6.7.\nNo numerical value found\n" + kFallback +
                           "Error on port selection. Value [0] not allowed.\n" + kUsage},
        StartupFailure{"NegativeArgument", {"-6040"}, "[MCast]\nPort=6045\n",
                       "Multicast Address: 235.5.6.7.\n"
                       "Number found (4294961256) is out of range (6020 - 6130), or not a "
                       "multiple of 10\n" +
                           kFallback + kPortError6045},
        // inet_addr gives 255.255.255.255, which Linux refuses as a group with
        // EINVAL (22); only EADDRINUSE counts as an alias.
        StartupFailure{"MalformedGroup", {}, "[MCast]\nIP=not.an.ip\n",
                       "Multicast Address: not.an.ip.\nPort Selection: 6040.\n\n"
                       "adapter 0 - 127.0.0.1 - setsockopt failed! Error: 22, Exiting "
                       "application.\n"},
        StartupFailure{"GroupCutToNineteenCharacters", {"6020"},
                       "[MCast]\nIP=235.5.6.7.extra.long.text\n",
                       "Multicast Address: 235.5.6.7.extra.lon.\nPort Selection: 6020.\n\n"
                       "adapter 0 - 127.0.0.1 - setsockopt failed! Error: 22, Exiting "
                       "application.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Startup {
  const char* name;
  std::vector<std::string> args;
  std::string ini;
  int port;
  std::string group;
  std::string output;  // the lines before the first datagram
};

void PrintTo(const Startup& c, std::ostream* os) { *os << c.name; }

class FeedwatchStartupTest : public FeedwatchTest,
                             public ::testing::WithParamInterface<Startup> {};

TEST_P(FeedwatchStartupTest, ListensOnTheChosenPortAndGroup) {
  const Startup& c = GetParam();
  Monitor monitor(c.args, c.ini, c.port, c.group);
  ASSERT_TRUE(monitor.ready()) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), c.output + stop_text());
  EXPECT_EQ(monitor.errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FeedwatchStartupTest,
    ::testing::Values(
        Startup{"Defaults", {}, "", 6040, "235.5.6.7", startup(6040)},
        Startup{"ArgumentOverridesFile", {"6100"}, "[MCast]\nPort=6045\n", 6100, "235.5.6.7",
                startup(6100)},
        Startup{"RejectedArgumentFallsBackToFile",
                {"6135"},
                "",
                6040,
                "235.5.6.7",
                "Multicast Address: 235.5.6.7.\n"
                "Number found (6135) is out of range (6020 - 6130), or not a multiple of 10\n" +
                    kFallback + "Port Selection: 6040.\n\nadapter 0 - 127.0.0.1\n"},
        Startup{"TwoArgumentsAreIgnored", {"6020", "6030"}, "[MCast]\nPort=6080\n", 6080,
                "235.5.6.7", startup(6080)},
        Startup{"GroupAndPortFromFile", {}, "[MCast]\nIP=235.5.6.9\nPort=6130\n", 6130,
                "235.5.6.9", startup(6130, "235.5.6.9")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FeedwatchTest, QuitKeyTypedDuringStartUpEndsBeforeAnyDatagram) {
  Monitor monitor;
  monitor.press("q");
  ASSERT_EQ(monitor.wait_exit(), 0) << monitor.output();
  EXPECT_EQ(monitor.output(), startup(6040));
}

// --- Single packets of every kind ---------------------------------------------

struct KindCase {
  const char* name;
  std::uint8_t message_type;
  std::uint8_t stat_scheme;
  std::uint8_t release_number;
  std::uint8_t minor_version;
  std::u16string server;
  std::string server_shown;
  std::uint32_t timestamp;
  std::uint16_t num_record;
  std::vector<std::uint8_t> records;
  std::string title;
  std::string records_shown;
};

std::vector<std::uint8_t> concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> route_record(std::uint32_t number, std::uint8_t busy_low,
                                       std::uint8_t busy_high, std::uint32_t time) {
  std::vector<std::uint8_t> r = be32_words({number});
  r.push_back(busy_low);
  r.push_back(busy_high);
  return concat(r, be32_words({time}));
}

std::vector<std::uint32_t> agent_words(std::uint32_t agent_high) {
  return {agent_high, 0x1234, 3,    0x77, 0xBEEF, 125,  7,    11,   12,
          5,          0,      0,    0,    4001,   0xA1, 0xA2, 0xB1, 0xB2,
          21,         22,     23,   31,   0xC1,   0xC2, 0xD1, 0xFFFFFFFF};
}

std::string agent_text(const std::string& agent_high) {
  return "AgentId(Hi)=" + agent_high +
         "h\nAgentId(Lo)=1234h\nState =3\nSupverisrId=BEEFh\nTimeInState=125\n"
         "NotReadyReasonCode_High=A1h\nNotReadyReasonCode_Low=A2h\nDNOutCallNumber_High=B1h\n"
         "DNOutCallNumber_Low=B2h\n"
         "Cumulative Data:\nSkillsetCallsAnswer=21\nDNInCallsAnswer=22\nDNOutCallsMade=23\n"
         "AnsSkillset=7\tDNInTmInSt =11\tDNOutTmInSt=12\tPositionId =4001\n"
         "AnsweringApplication = 31\nAnsweringCDN_High=C1h\nAnsweringCDN_Low=C2h\n"
         "AnsweringDNIS_High=D1h\nAnsweringDNIS_Low=FFFFFFFFh";
}

std::vector<std::uint32_t> numbered(std::uint32_t first, std::size_t count) {
  std::vector<std::uint32_t> words;
  for (std::size_t i = 0; i < count; ++i) words.push_back(first + static_cast<std::uint32_t>(i));
  return words;
}

const std::string kSkillsetText =
    "SkillsetId =201\tAgentAvail =202\tAgentInSrvc=203\tAgtOnSklCal=204\tAgentNtRdy =205\n"
    "CallWaiting=206\tLngWaitTmLt=207\tMaxWaitTime=208\tWaitingTime=209\tExpWaitTime=210\n"
    "CallAfThshd=211\tLngWaitTLog=212\tAgtOnDNCall=213\tSkillState =214\tAgentUnavil=215\n"
    "NwtCallWait=216\tNwtCallAns =217\tQudCallAns =218\tTotCallAns =220\tTotCallAnsD=219\n"
    "AgNwtSklCal=221\tAgOtSklCall=222\tAgtOnACDCal=223\tAgtOnNACDCl=224\tCallOffered=225\n"
    "SkllAband  =226\tSkllAbandDl=227\tSklAbanAfTd=228\tNwtCallOffr=229\n" +
    std::string(kSeparator);

std::vector<KindCase> kind_cases() {
  std::vector<std::uint32_t> application = numbered(101, 21);
  application[4] = 0xFFFFFFFF;
  std::vector<std::uint32_t> agent_nrrc = agent_words(0x1A);
  agent_nrrc.push_back(99);
  std::vector<std::uint32_t> agent_nrrc_second = agent_words(0x2A);
  agent_nrrc_second.push_back(98);
  return {
      {"Application", 1, 0, 6, 0, u"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST", kTime, 1,
       be32_words(application), "Application Statistics - Interval to Date\n",
       "ApplctnId  =101\tCallsAband =102\tCallAbnAfTd=103\tCallAbnDly =104\tCallsAns   =-1\n"
       "CallAnsAfTd=106\tCallAnsDely=107\tCallsWaitin=108\tMaxWaitTime=109\tWaitingTime=110\n"
       "CallAnsDlyS=111\tCallGvTerTr=112\tCallsOffer =113\tTmBfrItrflw=114\tNwtOutCalls=115\n"
       "NwtOCallAbn=116\tNwtOCllAbnD=117\tNwtOCallAns=118\tNwtOCllAnsD=119\tNwtOCallWtn=120\n"
       "NwtOCallReq=121\n" +
           std::string(kSeparator)},
      {"Skillset", 2, 1, 6, 0, u"CC1", "CC1", kTime, 1, be32_words(numbered(201, 29)),
       "Skillset Statistics - Moving Window\n", kSkillsetText},
      // Two records read with the 104-byte stride although RecordSize says 84.
      {"Agent", 3, 0, 6, 0, u"CC1", "CC1", kTime, 2,
       concat(be32_words(agent_words(0x1A)), be32_words(agent_words(0x2A))),
       "Agent Statistics - Interval to Date\n",
       agent_text("1A") + "\n" + kSeparator + agent_text("2A") + "\n" + kSeparator},
      // Release 8.4 adds TimeInNRRC and steps by 108.
      {"AgentWithTimeInNrrc", 3, 1, 8, 4, u"CC1", "CC1", kTime, 2,
       concat(be32_words(agent_nrrc), be32_words(agent_nrrc_second)),
       "Agent Statistics - Moving Window\n",
       agent_text("1A") + "\nTimeInNRRC = 99\n" + kSeparator + agent_text("2A") +
           "\nTimeInNRRC = 98\n" + kSeparator},
      {"Nodal", 4, 0, 6, 0, u"CC1", "CC1", kTime, 1, be32_words({0, 10, 8, 2, 3, 1, 0}),
       "Nodal Statistics - Interval to Date\n",
       "DummyKey   =0\tCallOffered=10\tCallsAnswer=8\tCallWaiting=2\tNwCallOffer=3\n"
       "NwtCallAns =1\tNwtCallWait=0\n" +
           std::string(kSeparator)},
      {"Ivr", 5, 1, 6, 0, u"", "", kTime, 1,
       be32_words({255, 502, 503, 504, 505, 506, 507, 508}), "IVR Statistics - Moving Window\n",
       "IVRQueueId =FF\tCallWaiting=502\tCallsAns   =503\tCallAnsDely=504\tCallAnsAfTd=505\n"
       "CallNtTrtd =506\tCallNtTrDl =507\tCallNtTAfTh=508\n" +
           std::string(kSeparator)},
      // Records at unaligned offsets; a timestamp past the signed 32-bit limit.
      {"Route", 6, 0, 6, 0, u"CC1", "CC1", 2147483648u, 2,
       concat(route_record(601, 0x02, 0x01, 602), route_record(0xFFFFFFFF, 0xFF, 0x00, 70000)),
       "Route Statistics - Interval to Date\n",
       "RouteNumber=601\tTrunksBusy =2h\tTrunkBusyTm=602\n" + std::string(kSeparator) +
           "RouteNumber=-1\tTrunksBusy =FFh\tTrunkBusyTm=70000\n" + kSeparator},
  };
}

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class FeedwatchKindTest : public FeedwatchTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(FeedwatchKindTest, PrintsASinglePacketInFull) {
  const KindCase& c = GetParam();
  const int port = 6020 + 20 * (c.message_type - 1) + 10 * c.stat_scheme;
  Monitor monitor({std::to_string(port)}, "", port);
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  packet::HeaderFields f = default_fields(c.message_type, c.num_record);
  f.stat_scheme = c.stat_scheme;
  f.release_number = c.release_number;
  f.minor_version = c.minor_version;
  f.server_name = c.server;
  f.timestamp = c.timestamp;
  std::vector<std::uint8_t> datagram = make_packet(f, c.records);
  datagram[57] = 'X';  // NameTerminator is overwritten before the name is read
  monitor.send(datagram);

  const std::string version = std::to_string(c.release_number) + ";" +
                              std::to_string(c.minor_version) + ";6";
  const std::string shown = identification("0;0;0;0", version) + "\nPrint single packet:\n" +
                            header_lines(c.title, c.num_record, f.record_size, c.server_shown,
                                         c.timestamp) +
                            c.records_shown;
  ASSERT_TRUE(monitor.shows(shown)) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), startup(port) + shown + stop_text());
}

INSTANTIATE_TEST_SUITE_P(Kinds, FeedwatchKindTest, ::testing::ValuesIn(kind_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Multi-packet messages ------------------------------------------------------

TEST_F(FeedwatchTest, MultiPacketMessageIsPrintedInArrivalOrderOnceComplete) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  std::string expected = startup(6040);
  for (std::uint8_t number : {2, 3, 1}) {
    std::vector<std::uint8_t> part =
        make_packet(default_fields(4, 1), nodal_record(number, 10 * number));
    set_parts(part, number, 3);
    monitor.send(part);
    expected += identification(std::to_string(number) + ";3;0;0") +
                "Storing Multipacket - time 1607198400, message " + std::to_string(number) +
                " of 3 from CC1\n";
  }
  int position = 1;
  for (std::uint32_t number : {2, 3, 1}) {
    expected += "\nPrint packet " + std::to_string(position++) + ":\n" +
                header_lines("Nodal Statistics - Interval to Date\n", 1, 28) +
                nodal_text(number, 10 * number);
  }
  ASSERT_TRUE(monitor.shows(nodal_text(1, 10))) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), expected + stop_text());
}

TEST_F(FeedwatchTest, SinglePacketWithThePendingTimestampLeavesTheGroupAlone) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  std::vector<std::uint8_t> first = make_packet(default_fields(4, 1), nodal_record(1, 10));
  set_parts(first, 1, 2);
  std::vector<std::uint8_t> single = make_packet(default_fields(4, 1), nodal_record(7, 70));
  std::vector<std::uint8_t> second = make_packet(default_fields(4, 1), nodal_record(2, 20));
  set_parts(second, 2, 2);
  monitor.send(first);
  monitor.send(single);
  monitor.send(second);

  const std::string nodal = "Nodal Statistics - Interval to Date\n";
  const std::string expected =
      startup(6040) + identification("1;2;0;0") +
      "Storing Multipacket - time 1607198400, message 1 of 2 from CC1\n" + identification() +
      "\nPrint single packet:\n" + header_lines(nodal, 1, 28) + nodal_text(7, 70) +
      identification("2;2;0;0") +
      "Storing Multipacket - time 1607198400, message 2 of 2 from CC1\n" +
      "\nPrint packet 1:\n" + header_lines(nodal, 1, 28) + nodal_text(1, 10) +
      "\nPrint packet 2:\n" + header_lines(nodal, 1, 28) + nodal_text(2, 20);
  ASSERT_TRUE(monitor.shows(nodal_text(2, 20))) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), expected + stop_text());
}

TEST_F(FeedwatchTest, StoredPartShowsZerosPastItsOwnDatagram) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  // Both parts announce two records; the second part carries only one, and
  // the first part's second record must not show through in its place.
  std::vector<std::uint8_t> first =
      make_packet(default_fields(4, 2), concat(nodal_record(1, 10), nodal_record(5, 50)));
  set_parts(first, 1, 2);
  std::vector<std::uint8_t> second = make_packet(default_fields(4, 2), nodal_record(2, 20));
  set_parts(second, 2, 2);
  monitor.send(first);
  monitor.send(second);

  const std::string nodal = "Nodal Statistics - Interval to Date\n";
  const std::string zeros =
      "DummyKey   =0\tCallOffered=0\tCallsAnswer=0\tCallWaiting=0\tNwCallOffer=0\n"
      "NwtCallAns =0\tNwtCallWait=0\n" +
      std::string(kSeparator);
  const std::string expected =
      startup(6040) + identification("1;2;0;0") +
      "Storing Multipacket - time 1607198400, message 1 of 2 from CC1\n" +
      identification("2;2;0;0") +
      "Storing Multipacket - time 1607198400, message 2 of 2 from CC1\n" +
      "\nPrint packet 1:\n" + header_lines(nodal, 2, 28) + nodal_text(1, 10) + nodal_text(5, 50) +
      "\nPrint packet 2:\n" + header_lines(nodal, 2, 28) + nodal_text(2, 20) + zeros;
  ASSERT_TRUE(monitor.shows("\nPrint packet 2:\n")) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), expected + stop_text());
}

// --- Compression ----------------------------------------------------------------

TEST_F(FeedwatchTest, CompressedPacketIsExpandedBeforeItsRecordsArePrinted) {
  Monitor monitor({"6050"}, "", 6050);
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  std::vector<std::uint32_t> second(29, 0);
  second[0] = 7;
  second[18] = 9;  // TotalCallsAnsweredDelay
  std::vector<std::uint8_t> stream =
      test_support::zlib_compress(concat(be32_words(numbered(201, 29)), be32_words(second)));
  stream.insert(stream.end(), 20, 0xEE);  // bytes behind the stream are ignored
  packet::HeaderFields f = default_fields(2, 2);
  f.stat_scheme = 1;
  f.encoding = 1;
  monitor.send(make_packet(f, stream));

  const std::string expected =
      startup(6050) + identification() + "\nPrint single packet:\n" +
      "\nCompression is 'on', de-compress\n"
      "\nCompression was ON - data uncompressed successfully.\n" +
      header_lines("Skillset Statistics - Moving Window\n", 2, 116, "CC1", kTime, 1) +
      kSkillsetText +
      "SkillsetId =7\tAgentAvail =0\tAgentInSrvc=0\tAgtOnSklCal=0\tAgentNtRdy =0\n"
      "CallWaiting=0\tLngWaitTmLt=0\tMaxWaitTime=0\tWaitingTime=0\tExpWaitTime=0\n"
      "CallAfThshd=0\tLngWaitTLog=0\tAgtOnDNCall=0\tSkillState =0\tAgentUnavil=0\n"
      "NwtCallWait=0\tNwtCallAns =0\tQudCallAns =0\tTotCallAns =0\tTotCallAnsD=9\n"
      "AgNwtSklCal=0\tAgOtSklCall=0\tAgtOnACDCal=0\tAgtOnNACDCl=0\tCallOffered=0\n"
      "SkllAband  =0\tSkllAbandDl=0\tSklAbanAfTd=0\tNwtCallOffr=0\n" +
      kSeparator;
  ASSERT_TRUE(monitor.shows("TotCallAnsD=9\n")) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), expected + stop_text());
}

TEST_F(FeedwatchTest, FailedExpansionShowsZerosInsteadOfThePlainRecords) {
  Monitor monitor({"6100"}, "", 6100);
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  packet::HeaderFields f = default_fields(5, 1);
  f.encoding = 1;  // but the records travel plain: no zlib header
  monitor.send(make_packet(f, be32_words({0x42, 502, 503, 504, 505, 506, 507, 508})));

  const std::string expected =
      startup(6100) + identification() + "\nPrint single packet:\n" +
      "\nCompression is 'on', de-compress\n"
      "\nCompression was ON - input data was corrupted or incomplete.\n" +
      header_lines("IVR Statistics - Interval to Date\n", 1, 32, "CC1", kTime, 1) +
      "IVRQueueId =0\tCallWaiting=0\tCallsAns   =0\tCallAnsDely=0\tCallAnsAfTd=0\n"
      "CallNtTrtd =0\tCallNtTrDl =0\tCallNtTAfTh=0\n" +
      kSeparator;
  ASSERT_TRUE(monitor.shows("CallNtTAfTh=")) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), expected + stop_text());
}

// --- Datagrams shorter than a header -------------------------------------------------

TEST_F(FeedwatchTest, BytesPastAShortDatagramReadAsZero) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  packet::HeaderFields f = default_fields(2, 1);
  f.server_name = u"ABCDEFGHIJ";
  const std::vector<std::uint8_t> full = make_packet(f, be32_words(numbered(201, 29)));
  monitor.send(full);
  ASSERT_TRUE(monitor.shows(kSkillsetText)) << monitor.output();
  // The first 30 bytes: identifier, reserve and version bytes, seven name units.
  monitor.send(std::vector<std::uint8_t>(full.begin(), full.begin() + 30));
  monitor.send({});

  const std::string zero_header = "Invalid Msg Type -> 0\nInterval to Date\nTimestamp -> 0 = " +
                                  local_date(0) +
                                  "NumRecord -> 0\nRecordSize -> 0\n\nEncoding : 0\n";
  const std::string expected =
      startup(6040) + identification() + "\nPrint single packet:\n" +
      header_lines("Skillset Statistics - Interval to Date\n", 1, 116, "ABCDEFGHIJ") +
      kSkillsetText + identification() + "\nPrint single packet:\nServer id -> ABCDEFG\n" +
      zero_header + "Packet header id -> \nReserve bytes -> 0;0;0;0\nVersion -> 0;0;0\n" +
      "\nPrint single packet:\nServer id -> \n" + zero_header;
  ASSERT_TRUE(monitor.shows("Version -> 0;0;0\n")) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), expected + stop_text());
}

// --- The quit key -------------------------------------------------------------------

TEST_F(FeedwatchTest, UpperCaseQDoesNotStopAndLowerCaseQStopsAfterTheNextDatagram) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();
  const std::string nodal = "Nodal Statistics - Interval to Date\n";

  monitor.press("Q");
  monitor.send(make_packet(default_fields(4, 1), nodal_record(1, 10)));
  ASSERT_TRUE(monitor.shows(nodal_text(1, 10))) << monitor.output();
  EXPECT_TRUE(monitor.running());

  monitor.press("q");
  EXPECT_TRUE(monitor.running()) << "q must wait for the next datagram";
  monitor.send(make_packet(default_fields(4, 1), nodal_record(2, 20)));
  ASSERT_EQ(monitor.wait_exit(), 0) << monitor.output();

  EXPECT_EQ(monitor.output(), startup(6040) + identification() + "\nPrint single packet:\n" +
                                  header_lines(nodal, 1, 28) + nodal_text(1, 10) +
                                  identification() + "\nPrint single packet:\n" +
                                  header_lines(nodal, 1, 28) + nodal_text(2, 20));
}

TEST_F(FeedwatchTest, OneKeyIsReadPerDatagram) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();

  monitor.press("xq");
  monitor.send(make_packet(default_fields(4, 1), nodal_record(1, 10)));
  ASSERT_TRUE(monitor.shows(nodal_text(1, 10))) << monitor.output();
  EXPECT_TRUE(monitor.running()) << "the q is read only after the second datagram";
  monitor.send(make_packet(default_fields(4, 1), nodal_record(2, 20)));
  ASSERT_EQ(monitor.wait_exit(), 0) << monitor.output();
  EXPECT_NE(monitor.output().find(nodal_text(2, 20)), std::string::npos) << monitor.output();
}

// --- Sockets ---------------------------------------------------------------------------

TEST_F(FeedwatchTest, SecondMonitorOnTheSamePortReceivesTheSameDatagrams) {
  Monitor first;
  ASSERT_TRUE(first.ready()) << first.output();
  Monitor second;
  ASSERT_TRUE(second.ready()) << second.output();

  first.send(make_packet(default_fields(4, 1), nodal_record(3, 30)));
  const std::string shown = identification() + "\nPrint single packet:\n" +
                            header_lines("Nodal Statistics - Interval to Date\n", 1, 28) +
                            nodal_text(3, 30);
  ASSERT_TRUE(first.shows(shown)) << first.output();
  ASSERT_TRUE(second.shows(shown)) << second.output();

  std::this_thread::sleep_for(100ms);
  first.press("q");
  second.press("q");
  first.send(stop_packet());  // reaches both
  EXPECT_EQ(first.wait_exit(), 0);
  EXPECT_EQ(second.wait_exit(), 0);
  EXPECT_EQ(first.output(), startup(6040) + shown + stop_text());
  EXPECT_EQ(second.output(), startup(6040) + shown + stop_text());
}

TEST_F(FeedwatchTest, DatagramToAnotherGroupOnThePortIsNotShown) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();
  // Another socket of the host joins 235.5.6.8 on the same port, so the
  // kernel delivers that group's datagrams to the port unless told not to.
  test_support::GroupReceiver other(6040, "235.5.6.8");

  packet::HeaderFields f = default_fields(4, 1);
  f.server_name = u"OTHER";
  test_support::send_datagram(6040, make_packet(f, nodal_record(8, 80)), "235.5.6.8");
  ASSERT_TRUE(other.receive(kWait).has_value());

  monitor.send(make_packet(default_fields(4, 1), nodal_record(4, 40)));
  ASSERT_TRUE(monitor.shows(nodal_text(4, 40))) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), startup(6040) + identification() + "\nPrint single packet:\n" +
                                  header_lines("Nodal Statistics - Interval to Date\n", 1, 28) +
                                  nodal_text(4, 40) + stop_text());
}

// --- Time zone ---------------------------------------------------------------------------

TEST_F(FeedwatchTest, TzVariableDoesNotChangeTheDate) {
  const std::string date = local_date(kTime);
  setenv("TZ", "JST-9", 1);  // inherited by the monitor
  Monitor monitor;
  unsetenv("TZ");
  ASSERT_TRUE(monitor.ready()) << monitor.output();
  monitor.send(make_packet(default_fields(4, 0)));
  ASSERT_TRUE(monitor.shows("Timestamp -> 1607198400 = " + date)) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
}

}  // namespace
