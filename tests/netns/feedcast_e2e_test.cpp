// feedcast end to end: the program runs in a temporary directory with a
// crafted feedcast.ini, and its datagrams are received on a socket joined to
// the group.  Expected bytes are built here from the wire layout, not with
// the program's own builders.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test_support::Datagram;
using test_support::GroupReceiver;
using test_support::Process;
using test_support::TempDir;

constexpr std::size_t kHeader = 68;
constexpr auto kWait = 5s;

// ---------------------------------------------------------------------------
// Record layouts as the generator fills them.

enum class Store {
  kBig32,        // 32 bits, most significant byte first
  kLittle16,     // low 16 bits, least significant byte first
  kBig32Of16,    // 16-byte field: the value in its first four bytes, zeros after
};

struct WireField {
  const char* stem;
  std::size_t offset;
  Store store = Store::kBig32;
};

struct WireKind {
  int message_type;
  const char* section;
  std::uint16_t record_size;
  std::uint16_t max_records;
  const char* limit_message;
  const char* scheme_message;
  std::vector<WireField> fields;
};

// Fields at consecutive 4-byte offsets from 0.
std::vector<WireField> packed(std::initializer_list<const char*> stems) {
  std::vector<WireField> fields;
  std::size_t offset = 0;
  for (const char* stem : stems) {
    fields.push_back({stem, offset});
    offset += 4;
  }
  return fields;
}

const std::vector<WireKind>& kinds() {
  static const std::vector<WireKind> all = {
      {1, "Application", 84, 500, "Max number of Applications exceed",
       "Invalid Application Stat Scheme",
       packed({"ApplicationID", "CallsAbandoned", "CallsAbandonedAfterThreshold",
               "CallsAbandonedDelay", "CallsAnswered", "CallsAnsweredAfterThreshold",
               "CallsAnsweredDelay", "CallsWaiting", "MaxWaitingTime", "WaitingTime",
               "CallsAnswerDelayAtSkillset", "CallsGivenTerminationTreatment", "CallsOffered",
               "TimeBeforeInterflow", "NetworkOutCalls", "NetworkOutCallsAbandoned",
               "NetworkOutCallsAbandonedDelay", "NetworkOutCallsAnswered",
               "NetworkOutCallsAnsweredDelay", "NetworkOutCallsWaiting",
               "NetworkOutCallsRequested"})},
      {2, "Skillset", 116, 350, "Max number of Skillsets exceed", "Invalid Skillset Stat Scheme",
       packed({"SkillsetID", "AgentsAvailable", "AgentsInService", "AgentsOnSkillsetCall",
               "AgentsNotReady", "CallsWaiting", "LongestWaitingTimeSinceLastCall",
               "MaxWaitingTime", "WaitingTime", "ExpectedWaitTime", "CallsAnsweredAfterThreshold",
               "LongestWaitingTimeSinceLogin", "AgentsOnDNCalls", "SkillsetState",
               "AgentsUnavailable", "NetworkCallsWaiting", "NetworkCallsAnswered",
               "QueuedCallAnswered", "TotalCallsAnsweredDelay", "TotalCallsAnswered",
               "AgentOnNetworkSkillsetCall", "AgentOnOtherSkillsetCall", "AgentOnACDDNCall",
               "AgentOnNACDDNCall", "CallsOffered", "SkillsetAbandoned", "SkillsetAbandonedDelay",
               "SkillsetAbandonedAfterThreshold", "NetworkCallsOffered"})},
      {3, "Agent", 84, 1000, "Max number of Agents exceed", "Invalid Agent Stat Scheme",
       {{"AgentID_High", 0},
        {"AgentID", 4},
        {"State", 8},
        {"SupervisorID_High", 12},
        {"SupervisorID", 16},
        {"TimeInState", 20},
        {"AnsweringSkillset", 24},
        {"DNInTimeInState", 28},
        {"DNOutTimeInState", 32},
        {"SupervisorUserID", 36, Store::kBig32Of16},
        {"PositionID", 52}}},
      {4, "Nodal", 28, 1, "Max number of Nodal exceed", "Invalid Nodal Stat Scheme",
       packed({"DummyKey", "CallsOffered", "CallsAnswered", "CallsWaiting", "NetworkCallsOffered",
               "NetworkCallsAnswered", "NetworkCallsWaiting"})},
      {5, "IVR", 32, 500, "Max number of IVRs exceed", "Invalid IVR Stat Scheme",
       packed({"IVRQueueID", "CallsWaiting", "CallsAnswered", "CallsAnsweredDelay",
               "CallsAnsweredAfterThreshold", "CallsNotTreated", "CallsNotTreatedDelay",
               "CallsNotTreatedAfterThreshold"})},
      {6, "Route", 10, 600, "Max number of Routes exceed", "Invalid Route Stat Scheme",
       {{"RouteNumber", 0}, {"AllTrunksBusy", 4, Store::kLittle16}, {"AllTrunksBusyTime", 6}}},
  };
  return all;
}

const WireKind& kind(int message_type) { return kinds().at(message_type - 1); }

std::uint16_t port_of(int message_type, int stat_scheme) {
  return static_cast<std::uint16_t>(6020 + 20 * (message_type - 1) + 10 * stat_scheme);
}

void put_be16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}

void put_be32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint16_t get_be16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) << 8 | b.at(at + 1));
}

std::uint32_t get_be32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 |
         std::uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}

// A value for field `f` of record `i` that differs from its neighbours and
// covers the whole 32-bit range.
std::uint32_t value_for(int message_type, std::size_t i, std::size_t f) {
  return 0x9E3779B9u * static_cast<std::uint32_t>(i * 64 + f + 1) +
         static_cast<std::uint32_t>(message_type);
}

// The value as typed into the file: odd fields as signed decimal (so values
// above 2^31 appear as negative numbers), even fields as unsigned decimal.
std::string typed(std::uint32_t value, std::size_t f) {
  return f % 2 ? std::to_string(static_cast<std::int32_t>(value)) : std::to_string(value);
}

// The record table the generator must send for `count` records of `value_for`.
Bytes expected_table(const WireKind& k, std::size_t count) {
  Bytes table(count * k.record_size, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t base = i * k.record_size;
    for (std::size_t f = 0; f < k.fields.size(); ++f) {
      const std::uint32_t v = value_for(k.message_type, i, f);
      const std::size_t at = base + k.fields[f].offset;
      switch (k.fields[f].store) {
        case Store::kBig32:
        case Store::kBig32Of16:  // the remaining 12 bytes stay zero
          put_be32(table, at, v);
          break;
        case Store::kLittle16:
          table[at] = static_cast<std::uint8_t>(v);
          table[at + 1] = static_cast<std::uint8_t>(v >> 8);
          break;
      }
    }
  }
  return table;
}

// ---------------------------------------------------------------------------
// Configuration files.

class Ini {
 public:
  Ini& section(const std::string& name) {
    text_ += "[" + name + "]\n";
    return *this;
  }
  Ini& key(const std::string& name, const std::string& value) {
    text_ += name + "=" + value + "\n";
    return *this;
  }
  Ini& key(const std::string& name, long long value) { return key(name, std::to_string(value)); }
  // Every keyed field of records 0 to `count` - 1, with `value_for`.
  Ini& records(const WireKind& k, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      for (std::size_t f = 0; f < k.fields.size(); ++f) {
        key(k.fields[f].stem + std::to_string(i), typed(value_for(k.message_type, i, f), f));
      }
    }
    return *this;
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// ---------------------------------------------------------------------------
// Expected headers.

struct HeaderExpectation {
  std::uint8_t encoding = 0;
  std::uint8_t release = 6, minor = 0, build = 6;
  std::string server_name;  // one unit per byte; units past 20 are not sent
  std::uint8_t message_type = 1, stat_scheme = 0;
  std::uint16_t num_record = 0, record_size = 84;
};

std::string hex(const std::uint8_t* data, std::size_t size) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < size; ++i) {
    if (i) s += i % 4 ? " " : " | ";
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

std::string hex(const Bytes& b) { return hex(b.data(), b.size()); }

// Checks all 68 header bytes; the Timestamp must lie between the two times.
void expect_header(const Bytes& packet, const HeaderExpectation& e, std::uint32_t earliest,
                   std::uint32_t latest) {
  ASSERT_GE(packet.size(), kHeader);
  Bytes h(kHeader, 0);
  const char id[] = "KEBO";
  for (int i = 0; i < 4; ++i) h[2 * i + 1] = static_cast<std::uint8_t>(id[i]);
  h[12] = e.encoding;
  h[13] = e.release;
  h[14] = e.minor;
  h[15] = e.build;
  for (std::size_t i = 0; i < std::min<std::size_t>(20, e.server_name.size()); ++i) {
    h[17 + 2 * i] = static_cast<std::uint8_t>(e.server_name[i]);
  }
  h[58] = e.message_type;
  h[59] = e.stat_scheme;
  const std::uint32_t timestamp = get_be32(packet, 60);
  EXPECT_GE(timestamp, earliest);
  EXPECT_LE(timestamp, latest);
  put_be32(h, 60, timestamp);
  put_be16(h, 64, e.num_record);
  put_be16(h, 66, e.record_size);
  EXPECT_EQ(hex(packet.data(), kHeader), hex(h));
}

std::uint32_t now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// The zlib stream at the start of `area`, expanded; `stream_length` receives
// the bytes it took.  Fails when the area holds no complete stream.
Bytes expand(const std::uint8_t* area, std::size_t size, std::size_t expected_size,
             std::size_t& stream_length) {
  Bytes plain(expected_size + 1);
  uLongf plain_length = plain.size();
  uLong source_length = size;
  const int result = uncompress2(plain.data(), &plain_length, area, &source_length);
  EXPECT_EQ(result, Z_OK) << "no complete zlib stream in the record area";
  plain.resize(result == Z_OK ? plain_length : 0);
  stream_length = source_length;
  return plain;
}

// ---------------------------------------------------------------------------
// Fixture: a temporary directory to run feedcast in.

class Feedcast : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace())
        << "run through tests/netns/in-private-netns: this test sends multicast";
  }

  void write_ini(const Ini& ini) { dir_.write("feedcast.ini", ini.text()); }

  // Replaces the file in one step, so the program never reads half of it.
  void replace_ini(const Ini& ini) {
    dir_.write("feedcast.ini.new", ini.text());
    std::filesystem::rename(dir_.file("feedcast.ini.new"), dir_.file("feedcast.ini"));
  }

  std::unique_ptr<Process> start() {
    return std::make_unique<Process>(std::vector<std::string>{FEEDCAST_PATH}, dir_.path());
  }

  // Starts feedcast and waits for it to stop; it must stop with status 1 and
  // the one line "Error: <message>" on standard error.
  std::unique_ptr<Process> run_to_refusal(const std::string& message) {
    auto p = start();
    EXPECT_TRUE(p->wait_for(kWait)) << "feedcast did not stop";
    EXPECT_EQ(p->exit_status(), 1);
    EXPECT_EQ(p->errors(), "Error: " + message + "\n");
    return p;
  }

  TempDir dir_;
};

// The first datagram that satisfies `wanted` within `timeout`.
std::optional<Datagram> receive_until(GroupReceiver& receiver,
                                      const std::function<bool(const Bytes&)>& wanted,
                                      std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left <= 0ms) return std::nullopt;
    auto d = receiver.receive(left);
    if (!d) return std::nullopt;
    if (wanted(d->bytes)) return d;
  }
}

// ---------------------------------------------------------------------------
// Every kind and scheme goes to its own port with its own header.

struct PortCase {
  int message_type;
  int stat_scheme;
};

void PrintTo(const PortCase& c, std::ostream* os) {
  *os << "MessageType " << c.message_type << ", StatScheme " << c.stat_scheme;
}

class FeedcastPorts : public Feedcast, public ::testing::WithParamInterface<PortCase> {};

TEST_P(FeedcastPorts, SendsTheKindsHeaderToItsPort) {
  const auto [type, scheme] = GetParam();
  const WireKind& k = kind(type);
  write_ini(Ini()
                .section("MCast")
                .key("MessageType", type)
                .key("StatScheme", scheme)
                .key("ServerName", "CC1")
                .key("ReleaseNumber", 8)
                .key("MinorVersion", 4)
                .key("BuildNumber", 2)
                .key("UpdateRate", 1)
                .section(k.section)
                .key("Number", 1)
                .records(k, 1));
  GroupReceiver receiver(port_of(type, scheme));
  const std::uint32_t before = now();
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived on port " << port_of(type, scheme);
  HeaderExpectation e;
  e.release = 8;
  e.minor = 4;
  e.build = 2;
  e.server_name = "CC1";
  e.message_type = static_cast<std::uint8_t>(type);
  e.stat_scheme = static_cast<std::uint8_t>(scheme);
  e.num_record = 1;
  e.record_size = k.record_size;
  expect_header(d->bytes, e, before, now());
  EXPECT_EQ(d->bytes.size(), kHeader + k.record_size);
}

INSTANTIATE_TEST_SUITE_P(AllPairs, FeedcastPorts,
                         ::testing::Values(PortCase{1, 0}, PortCase{1, 1}, PortCase{2, 0},
                                           PortCase{2, 1}, PortCase{3, 0}, PortCase{3, 1},
                                           PortCase{4, 0}, PortCase{4, 1}, PortCase{5, 0},
                                           PortCase{5, 1}, PortCase{6, 0}, PortCase{6, 1}),
                         [](const auto& info) {
                           return std::string(kind(info.param.message_type).section) +
                                  "_Scheme" + std::to_string(info.param.stat_scheme);
                         });

// ---------------------------------------------------------------------------
// Without a configuration file every default applies.

TEST_F(Feedcast, WithoutAFileSendsEmptyApplicationPacketsOnTheFirstPortWithTtl64) {
  ASSERT_FALSE(std::filesystem::exists(dir_.file("feedcast.ini")));
  GroupReceiver receiver(6020);
  const std::uint32_t before = now();
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived on port 6020";
  expect_header(d->bytes, HeaderExpectation{}, before, now());
  EXPECT_EQ(d->bytes.size(), kHeader);
  EXPECT_EQ(d->ttl, 64);
  // UpdateRate 0: the packets follow one another without a pause.
  EXPECT_TRUE(receiver.receive(kWait));
}

// ---------------------------------------------------------------------------
// Header values from section MCast.

struct HeaderCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> mcast;
  HeaderExpectation expected;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class FeedcastHeader : public Feedcast, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(FeedcastHeader, CarriesTheConfiguredNameAndVersion) {
  Ini ini;
  ini.section("MCast").key("UpdateRate", 1);
  for (const auto& [key, value] : GetParam().mcast) ini.key(key, value);
  write_ini(ini);
  GroupReceiver receiver(6020);
  const std::uint32_t before = now();
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d);
  expect_header(d->bytes, GetParam().expected, before, now());
}

HeaderExpectation named(std::string name, std::uint8_t release = 6, std::uint8_t minor = 0,
                        std::uint8_t build = 6) {
  HeaderExpectation e;
  e.server_name = std::move(name);
  e.release = release;
  e.minor = minor;
  e.build = build;
  return e;
}

INSTANTIATE_TEST_SUITE_P(
    Names, FeedcastHeader,
    ::testing::Values(
        HeaderCase{"Empty", {{"ServerName", ""}}, named("")},
        HeaderCase{"Short", {{"ServerName", "CC1"}}, named("CC1")},
        HeaderCase{"TwentyCharacters",
                   {{"ServerName", "ABCDEFGHIJKLMNOPQRST"}},
                   named("ABCDEFGHIJKLMNOPQRST")},
        HeaderCase{"LongerThanTwentyIsCut",
                   {{"ServerName", "ABCDEFGHIJKLMNOPQRSTUVWXY"}},
                   named("ABCDEFGHIJKLMNOPQRST")},
        HeaderCase{"BytesAbove127AreUnitsOfTheirValue",
                   {{"ServerName", "Caf\xE9-\xFF"}},
                   named("Caf\xE9-\xFF")},
        HeaderCase{"VersionLow8Bits",
                   {{"ServerName", "V"}, {"ReleaseNumber", "264"}, {"MinorVersion", "260"},
                    {"BuildNumber", "-1"}},
                   named("V", 8, 4, 255)},
        HeaderCase{"PauseBetweenMultiPacketChangesNothing",
                   {{"ServerName", "P"}, {"PauseBetweenMultiPacket", "3"}},
                   named("P")}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Time-to-live.

struct TtlCase {
  const char* name;
  const char* value;  // nullptr: no TTL key
  int expected;
};

void PrintTo(const TtlCase& c, std::ostream* os) { *os << c.name; }

class FeedcastTtl : public Feedcast, public ::testing::WithParamInterface<TtlCase> {};

TEST_P(FeedcastTtl, PacketsArriveWithTheConfiguredTimeToLive) {
  Ini ini;
  ini.section("MCast").key("UpdateRate", 1);
  if (GetParam().value) ini.key("TTL", GetParam().value);
  write_ini(ini);
  GroupReceiver receiver(6020);
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->ttl, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, FeedcastTtl,
                         ::testing::Values(TtlCase{"Missing", nullptr, 64},
                                           TtlCase{"Zero", "0", 64},
                                           TtlCase{"Negative", "-2", 64},
                                           TtlCase{"One", "1", 1},
                                           TtlCase{"Seven", "7", 7}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Source: up to 3 characters binds any address, 4 to 8 bind that address,
// 9 or more also make it the multicast interface.  inet_addr reads "127.1"
// as 127.0.0.1 and "1.2" as 1.0.0.2, which is no local address.

struct SourceCase {
  const char* name;
  const char* source;  // nullptr: no Source key
};

void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

class FeedcastSource : public Feedcast, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(FeedcastSource, Delivers) {
  Ini ini;
  ini.section("MCast").key("UpdateRate", 1).key("ServerName", "S");
  if (GetParam().source) ini.key("Source", GetParam().source);
  write_ini(ini);
  GroupReceiver receiver(6020);
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived; standard error: " << p->errors();
  EXPECT_EQ(d->bytes.size(), kHeader);
  EXPECT_EQ(d->bytes.at(17), 'S');
  EXPECT_EQ(p->errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Forms, FeedcastSource,
                         ::testing::Values(SourceCase{"Default", nullptr},
                                           SourceCase{"Empty", ""},
                                           SourceCase{"ThreeDigits", "111"},
                                           SourceCase{"ThreeCharactersOfNoLocalAddress", "1.2"},
                                           SourceCase{"FourToEight", "127.1"},
                                           SourceCase{"EightCharacters", "127.0.01"},
                                           SourceCase{"NineOrMore", "127.0.0.1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Feedcast, SendsToTheConfiguredGroup) {
  write_ini(Ini().section("MCast").key("IP", "239.1.2.3").key("UpdateRate", 1));
  GroupReceiver configured(6020, "239.1.2.3");
  GroupReceiver default_group(6020);
  auto p = start();
  ASSERT_TRUE(configured.receive(kWait));
  EXPECT_FALSE(default_group.receive(0ms));
}

// ---------------------------------------------------------------------------
// Record tables: every typed value arrives byte-exact, plain or compressed.

struct EncodeCase {
  const char* name;
  const char* value;  // nullptr: no Encode key
  std::uint8_t encoding;
  bool compressed;
};

struct RecordCase {
  int message_type;
  EncodeCase encode;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << kind(c.message_type).section << ", " << c.encode.name;
}

class FeedcastRecords : public Feedcast, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(FeedcastRecords, TypedValuesArriveByteExact) {
  const WireKind& k = kind(GetParam().message_type);
  const EncodeCase& encode = GetParam().encode;
  const std::size_t count = std::min<std::size_t>(2, k.max_records);
  Ini ini;
  ini.section("MCast").key("MessageType", k.message_type).key("UpdateRate", 1);
  ini.section(k.section).key("Number", static_cast<long long>(count));
  if (encode.value) ini.key("Encode", encode.value);
  ini.records(k, count + 1);  // one record more than "Number" asks for
  write_ini(ini);

  GroupReceiver receiver(port_of(k.message_type, 0));
  const std::uint32_t before = now();
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "standard error: " << p->errors();
  const Bytes& bytes = d->bytes;

  HeaderExpectation e;
  e.encoding = encode.encoding;
  e.message_type = static_cast<std::uint8_t>(k.message_type);
  e.num_record = static_cast<std::uint16_t>(count);
  e.record_size = k.record_size;
  expect_header(bytes, e, before, now());

  const Bytes table = expected_table(k, count);
  if (!encode.compressed) {
    ASSERT_EQ(bytes.size(), kHeader + table.size());
    EXPECT_EQ(hex(bytes.data() + kHeader, table.size()), hex(table));
    return;
  }
  std::size_t stream_length = 0;
  const Bytes plain =
      expand(bytes.data() + kHeader, bytes.size() - kHeader, table.size(), stream_length);
  EXPECT_EQ(hex(plain), hex(table));
  EXPECT_EQ(bytes.size(), kHeader + std::max(table.size(), stream_length));
}

const EncodeCase kPlain{"Plain", nullptr, 0, false};
const EncodeCase kEncode2{"Encode2", "2", 2, false};
const EncodeCase kEncode1{"Compressed", "1", 1, true};
const EncodeCase kEncode257{"Encode257", "257", 1, true};

std::vector<RecordCase> record_cases() {
  std::vector<RecordCase> cases;
  for (int type = 1; type <= 6; ++type) {
    for (const EncodeCase& e : {kPlain, kEncode2, kEncode1, kEncode257}) cases.push_back({type, e});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FeedcastRecords, ::testing::ValuesIn(record_cases()),
                         [](const auto& info) {
                           return std::string(kind(info.param.message_type).section) + "_" +
                                  info.param.encode.name;
                         });

// The largest table of each kind is accepted and sent whole.  An Agent table
// is accepted up to 1000 records, but one of 780 or more is larger than a
// UDP datagram, compressed or not (see the refusals); 779 is the most sent.
class FeedcastFullTable : public Feedcast, public ::testing::WithParamInterface<int> {};

TEST_P(FeedcastFullTable, IsSentWhole) {
  const WireKind& k = kind(GetParam());
  const std::uint16_t count = k.message_type == 3 ? 779 : k.max_records;
  write_ini(Ini()
                .section("MCast")
                .key("MessageType", k.message_type)
                .key("UpdateRate", 1)
                .section(k.section)
                .key("Number", count)
                .records(k, 1));
  GroupReceiver receiver(port_of(k.message_type, 0));
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "standard error: " << p->errors();
  ASSERT_EQ(d->bytes.size(), kHeader + std::size_t{count} * k.record_size);
  EXPECT_EQ(get_be16(d->bytes, 64), count);
  Bytes table = expected_table(k, 1);
  table.resize(std::size_t{count} * k.record_size, 0);
  EXPECT_TRUE(std::equal(table.begin(), table.end(), d->bytes.begin() + kHeader))
      << "record area differs from the typed table";
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FeedcastFullTable, ::testing::Range(1, 7),
                         [](const auto& info) {
                           return std::string(kind(info.param).section);
                         });

// ---------------------------------------------------------------------------
// Compression and the datagram length.

class FeedcastEmptyCompressed : public Feedcast, public ::testing::WithParamInterface<int> {};

TEST_P(FeedcastEmptyCompressed, SendsTheWholeStreamOfAnEmptyTable) {
  const WireKind& k = kind(GetParam());
  write_ini(Ini()
                .section("MCast")
                .key("MessageType", k.message_type)
                .key("UpdateRate", 1)
                .section(k.section)
                .key("Encode", 1));
  GroupReceiver receiver(port_of(k.message_type, 0));
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d);
  ASSERT_EQ(d->bytes.size(), kHeader + 8);
  EXPECT_EQ(d->bytes[12], 1);
  EXPECT_EQ(get_be16(d->bytes, 64), 0);
  std::size_t stream_length = 0;
  EXPECT_TRUE(expand(d->bytes.data() + kHeader, 8, 0, stream_length).empty());
  EXPECT_EQ(stream_length, 8u);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FeedcastEmptyCompressed, ::testing::Range(1, 7),
                         [](const auto& info) {
                           return std::string(kind(info.param).section);
                         });

TEST_F(Feedcast, CompressibleTableTravelsInTheLengthOfThePlainTable) {
  Ini ini;
  ini.section("MCast").key("UpdateRate", 1).section("Application").key("Number", 100);
  ini.key("Encode", 1);
  Bytes table(100 * 84, 0);
  for (int i = 0; i < 100; ++i) {
    ini.key("ApplicationID" + std::to_string(i), 1000 + i);
    put_be32(table, std::size_t(i) * 84, 1000u + i);
  }
  write_ini(ini);
  GroupReceiver receiver(6020);
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d);
  ASSERT_EQ(d->bytes.size(), kHeader + table.size());
  EXPECT_EQ(d->bytes[12], 1);
  std::size_t stream_length = 0;
  const Bytes plain =
      expand(d->bytes.data() + kHeader, table.size(), table.size(), stream_length);
  EXPECT_TRUE(plain == table);
  EXPECT_LT(stream_length, table.size() / 4);
}

TEST_F(Feedcast, IncompressibleTableTravelsInTheLengthOfItsStream) {
  // One Route record of 10 varied bytes: its stream is longer than the record.
  write_ini(Ini()
                .section("MCast")
                .key("MessageType", 6)
                .key("UpdateRate", 1)
                .section("Route")
                .key("Number", 1)
                .key("Encode", 1)
                .key("RouteNumber0", "2882400018")
                .key("AllTrunksBusy0", "300")
                .key("AllTrunksBusyTime0", "1732584193"));
  GroupReceiver receiver(6120);
  auto p = start();
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d);
  const Bytes table = {0xAB, 0xCD, 0xEF, 0x12, 0x2C, 0x01, 0x67, 0x45, 0x23, 0x01};
  std::size_t stream_length = 0;
  const Bytes plain =
      expand(d->bytes.data() + kHeader, d->bytes.size() - kHeader, table.size(), stream_length);
  EXPECT_EQ(hex(plain), hex(table));
  EXPECT_GT(stream_length, table.size());
  EXPECT_EQ(d->bytes.size(), kHeader + stream_length);
}

// ---------------------------------------------------------------------------
// Trace output: each pass prints the same lines, nothing else is printed.

struct TraceCase {
  const char* name;
  int message_type;
  std::vector<std::pair<std::string, std::string>> keys;  // of the kind section
  std::string pass;  // what one pass prints
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

class FeedcastTrace : public Feedcast, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(FeedcastTrace, EveryPassPrintsItsLines) {
  const TraceCase& c = GetParam();
  const WireKind& k = kind(c.message_type);
  Ini ini;
  ini.section("MCast").key("MessageType", c.message_type).key("UpdateRate", 1);
  ini.section(k.section);
  for (const auto& [key, value] : c.keys) ini.key(key, value);
  write_ini(ini);
  GroupReceiver receiver(port_of(c.message_type, 0));
  auto p = start();
  // A pass is flushed before its packet is sent.
  ASSERT_TRUE(receiver.receive(kWait));
  p->kill();
  const std::string output = p->output();
  if (c.pass.empty()) {
    EXPECT_EQ(output, "");
  } else {
    ASSERT_FALSE(output.empty());
    std::string passes;
    while (passes.size() < output.size()) passes += c.pass;
    EXPECT_EQ(output, passes);
  }
  EXPECT_EQ(p->errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FeedcastTrace,
    ::testing::Values(
        TraceCase{"ApplicationEmpty", 1, {}, "Encode value read from the file was 0"},
        TraceCase{"ApplicationCompressed",
                  1,
                  {{"Number", "2"},
                   {"Encode", "1"},
                   {"ApplicationID0", "11"},
                   {"ApplicationID1", "4000000000"}},
                  "Encode value read from the file was 1"
                  "0 : App ID = 11\n"
                  "1 : App ID = -294967296\n"
                  "\nCompressed successfully\nCompression complete"},
        TraceCase{"ApplicationEncode2",
                  1,
                  {{"Number", "1"}, {"Encode", "258"}, {"ApplicationID0", "7"}},
                  "Encode value read from the file was 2"
                  "0 : App ID = 7\n"},
        TraceCase{"SkillsetCompressed",
                  2,
                  {{"Number", "1"}, {"Encode", "1"}, {"SkillsetID0", "5"}},
                  "\nEncoded successfully\nEncoding complete"},
        TraceCase{"SkillsetPlain", 2, {{"Number", "1"}}, ""},
        TraceCase{"AgentCompressed", 3, {{"Number", "1"}, {"Encode", "1"}},
                  "\nCompressed successfully\nCompression complete"},
        TraceCase{"NodalCompressed", 4, {{"Encode", "1"}},
                  "\nCompressed successfully\nCompression complete"},
        TraceCase{"IvrCompressed", 5, {{"Number", "3"}, {"Encode", "1"}},
                  "\nCompressed successfully\nCompression complete"},
        TraceCase{"RoutePlain", 6, {{"Number", "3"}, {"Encode", "2"}}, ""},
        TraceCase{"RouteCompressed", 6, {{"Number", "3"}, {"Encode", "1"}},
                  "\nCompressed successfully\nCompression complete"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The kind section is read afresh for every packet; MCast only at start.

TEST_F(Feedcast, EditOfTheKindSectionShowsInALaterPacket) {
  write_ini(Ini()
                .section("MCast")
                .key("MessageType", 6)
                .key("UpdateRate", 1)
                .key("ServerName", "Before")
                .section("Route")
                .key("Number", 1)
                .key("RouteNumber0", 100));
  GroupReceiver receiver(6120);
  auto p = start();
  const auto first = receiver.receive(kWait);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->bytes.size(), kHeader + 10);
  EXPECT_EQ(get_be32(first->bytes, 68), 100u);

  replace_ini(Ini()
                  .section("MCast")
                  .key("MessageType", 6)
                  .key("UpdateRate", 1)
                  .key("ServerName", "After")
                  .section("Route")
                  .key("Number", 2)
                  .key("RouteNumber0", 200)
                  .key("RouteNumber1", 300));
  const auto later = receive_until(
      receiver, [](const Bytes& b) { return b.size() >= 72 && get_be32(b, 68) == 200; }, 10s);
  ASSERT_TRUE(later) << "no packet carried the edited table";
  ASSERT_EQ(later->bytes.size(), kHeader + 20);
  EXPECT_EQ(get_be16(later->bytes, 64), 2);
  EXPECT_EQ(get_be32(later->bytes, 78), 300u);
  // The server name stays as read at start.
  EXPECT_EQ(hex(later->bytes.data() + 16, 40), hex(first->bytes.data() + 16, 40));
}

// ---------------------------------------------------------------------------
// Refusals: "Error: <message>" on standard error, status 1, nothing sent.

struct RefusalCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> mcast;
  const char* section;  // nullptr: no kind section
  std::vector<std::pair<std::string, std::string>> keys;
  std::string message;
  std::string output;   // what standard output holds at the stop
  std::uint16_t watched_port;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.message; }

class FeedcastRefusal : public Feedcast, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(FeedcastRefusal, StopsWithItsMessage) {
  const RefusalCase& c = GetParam();
  Ini ini;
  ini.section("MCast");
  for (const auto& [key, value] : c.mcast) ini.key(key, value);
  if (c.section) {
    ini.section(c.section);
    for (const auto& [key, value] : c.keys) ini.key(key, value);
  }
  write_ini(ini);
  GroupReceiver receiver(c.watched_port);
  auto p = run_to_refusal(c.message);
  EXPECT_EQ(p->output(), c.output);
  EXPECT_FALSE(receiver.receive(100ms)) << "a packet was sent";
}

std::vector<RefusalCase> refusal_cases() {
  std::vector<RefusalCase> cases = {
      {"MessageType7", {{"MessageType", "7"}}, nullptr, {},
       "Incorrect Msg Type and Stat Scheme selected", "", 6020},
      {"MessageType0", {{"MessageType", "0"}}, nullptr, {},
       "Incorrect Msg Type and Stat Scheme selected", "", 6020},
      {"MessageTypeCheckedBeforeScheme", {{"MessageType", "7"}, {"StatScheme", "5"}}, nullptr,
       {}, "Incorrect Msg Type and Stat Scheme selected", "", 6020},
      {"SkillsetScheme5", {{"MessageType", "2"}, {"StatScheme", "5"}}, nullptr, {},
       "Invalid Skillset Stat Scheme", "", 6040},
      {"SourceNoLocalAddress", {{"Source", "10.9.8.7"}}, nullptr, {},
       "Binding socket failed! Error: 99", "", 6020},
      {"SourceOfFourCharactersIsBound", {{"Source", "10.9"}}, nullptr, {},
       "Binding socket failed! Error: 99", "", 6020},
      {"AgentTableLargerThanADatagram", {{"MessageType", "3"}}, "Agent", {{"Number", "780"}},
       "sendto failed! Error: 90", "", 6060},
      {"CompressedAgentTableTravelsInItsPlainLength", {{"MessageType", "3"}}, "Agent",
       {{"Number", "1000"}, {"Encode", "1"}}, "sendto failed! Error: 90",
       "\nCompressed successfully\nCompression complete", 6060},
  };
  for (const WireKind& k : kinds()) {
    const std::string type = std::to_string(k.message_type);
    cases.push_back({nullptr, {{"MessageType", type}, {"StatScheme", "2"}}, nullptr, {},
                     k.scheme_message, "", port_of(k.message_type, 0)});
    cases.push_back({nullptr, {{"MessageType", type}}, k.section,
                     {{"Number", std::to_string(k.max_records + 1)}}, k.limit_message,
                     k.message_type == 1 ? "Encode value read from the file was 0" : "",
                     port_of(k.message_type, 0)});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Causes, FeedcastRefusal, ::testing::ValuesIn(refusal_cases()),
                         [](const auto& info) {
                           const RefusalCase& c = info.param;
                           if (c.name) return std::string(c.name);
                           const std::string section = kind(std::stoi(c.mcast[0].second)).section;
                           return section + (c.section ? "_OverLimit" : "_Scheme2");
                         });

TEST_F(Feedcast, GroupThatIsNoDottedAddressFailsAtTheFirstSend) {
  write_ini(Ini().section("MCast").key("IP", "not.a.group"));
  GroupReceiver receiver(6020);
  auto p = start();
  ASSERT_TRUE(p->wait_for(kWait)) << "feedcast did not stop";
  EXPECT_EQ(p->exit_status(), 1);
  const std::string errors = p->errors();
  const std::string prefix = "Error: sendto failed! Error: ";
  ASSERT_EQ(errors.substr(0, prefix.size()), prefix);
  const std::string number = errors.substr(prefix.size());
  ASSERT_GE(number.size(), 2u);
  EXPECT_EQ(number.back(), '\n');
  EXPECT_EQ(number.find_first_not_of("0123456789"), number.size() - 1) << errors;
  EXPECT_NE(number[0], '0');
  EXPECT_EQ(p->output(), "Encode value read from the file was 0");
  EXPECT_FALSE(receiver.receive(100ms));
}

}  // namespace
