// Pipeline: feedcast, with a value of its own for every shown field in
// feedcast.ini, feeds a feedwatch on the matching port, which must show each
// value under its label.  Compressed cases use the other scheme: all twelve ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>
#include <tuple>
#include <utility>

#include "packet/catalogue.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using test_support::Process;

// One record's display: {Stem} shows the field of that key stem in signed
// decimal, {Stem:X} in hex, {Stem:B} its first byte on the wire in hex.  The
// Agent display steps 104 bytes through 84-byte records: one record, zeros past 56.
struct Kind {
  const char* name;
  int type, record_size, records;
  std::string display;
};

const Kind kKinds[] = {
    {"Application", 1, 84, 2,
     "ApplctnId  ={ApplicationID}\tCallsAband ={CallsAbandoned}\tCallAbnAfTd="
     "{CallsAbandonedAfterThreshold}\tCallAbnDly ={CallsAbandonedDelay}\tCallsAns   ="
     "{CallsAnswered}\nCallAnsAfTd={CallsAnsweredAfterThreshold}\tCallAnsDely="
     "{CallsAnsweredDelay}\tCallsWaitin={CallsWaiting}\tMaxWaitTime={MaxWaitingTime}\tWaitingTime="
     "{WaitingTime}\nCallAnsDlyS={CallsAnswerDelayAtSkillset}\tCallGvTerTr="
     "{CallsGivenTerminationTreatment}\tCallsOffer ={CallsOffered}\tTmBfrItrflw="
     "{TimeBeforeInterflow}\tNwtOutCalls={NetworkOutCalls}\nNwtOCallAbn="
     "{NetworkOutCallsAbandoned}\tNwtOCllAbnD={NetworkOutCallsAbandonedDelay}\tNwtOCallAns="
     "{NetworkOutCallsAnswered}\tNwtOCllAnsD={NetworkOutCallsAnsweredDelay}\tNwtOCallWtn="
     "{NetworkOutCallsWaiting}\nNwtOCallReq={NetworkOutCallsRequested}\n"},
    {"Skillset", 2, 116, 2,
     "SkillsetId ={SkillsetID}\tAgentAvail ={AgentsAvailable}\tAgentInSrvc={AgentsInService}\t"
     "AgtOnSklCal={AgentsOnSkillsetCall}\tAgentNtRdy ={AgentsNotReady}\nCallWaiting="
     "{CallsWaiting}\tLngWaitTmLt={LongestWaitingTimeSinceLastCall}\tMaxWaitTime={MaxWaitingTime}\t"
     "WaitingTime={WaitingTime}\tExpWaitTime={ExpectedWaitTime}\nCallAfThshd="
     "{CallsAnsweredAfterThreshold}\tLngWaitTLog={LongestWaitingTimeSinceLogin}\tAgtOnDNCall="
     "{AgentsOnDNCalls}\tSkillState ={SkillsetState}\tAgentUnavil={AgentsUnavailable}\nNwtCallWait="
     "{NetworkCallsWaiting}\tNwtCallAns ={NetworkCallsAnswered}\tQudCallAns ={QueuedCallAnswered}\t"
     "TotCallAns ={TotalCallsAnswered}\tTotCallAnsD={TotalCallsAnsweredDelay}\nAgNwtSklCal="
     "{AgentOnNetworkSkillsetCall}\tAgOtSklCall={AgentOnOtherSkillsetCall}\tAgtOnACDCal="
     "{AgentOnACDDNCall}\tAgtOnNACDCl={AgentOnNACDDNCall}\tCallOffered={CallsOffered}\nSkllAband  ="
     "{SkillsetAbandoned}\tSkllAbandDl={SkillsetAbandonedDelay}\tSklAbanAfTd="
     "{SkillsetAbandonedAfterThreshold}\tNwtCallOffr={NetworkCallsOffered}\n"},
    {"Agent", 3, 84, 1,
     "AgentId(Hi)={AgentID_High:X}h\nAgentId(Lo)={AgentID:X}h\nState ={State}\nSupverisrId="
     "{SupervisorID:X}h\nTimeInState={TimeInState}\nNotReadyReasonCode_High=0h\n"
     "NotReadyReasonCode_Low=0h\nDNOutCallNumber_High=0h\nDNOutCallNumber_Low=0h\n"
     "Cumulative Data:\nSkillsetCallsAnswer=0\nDNInCallsAnswer=0\nDNOutCallsMade=0\nAnsSkillset="
     "{AnsweringSkillset}\tDNInTmInSt ={DNInTimeInState}\tDNOutTmInSt={DNOutTimeInState}\t"
     "PositionId ={PositionID}\nAnsweringApplication = 0\nAnsweringCDN_High=0h\nAnsweringCDN_Low="
     "0h\nAnsweringDNIS_High=0h\nAnsweringDNIS_Low=0h\n"},
    {"Nodal", 4, 28, 1,
     "DummyKey   ={DummyKey}\tCallOffered={CallsOffered}\tCallsAnswer={CallsAnswered}\tCallWaiting="
     "{CallsWaiting}\tNwCallOffer={NetworkCallsOffered}\nNwtCallAns ={NetworkCallsAnswered}\t"
     "NwtCallWait={NetworkCallsWaiting}\n"},
    {"IVR", 5, 32, 2,
     "IVRQueueId ={IVRQueueID:X}\tCallWaiting={CallsWaiting}\tCallsAns   ={CallsAnswered}\t"
     "CallAnsDely={CallsAnsweredDelay}\tCallAnsAfTd={CallsAnsweredAfterThreshold}\nCallNtTrtd ="
     "{CallsNotTreated}\tCallNtTrDl ={CallsNotTreatedDelay}\tCallNtTAfTh="
     "{CallsNotTreatedAfterThreshold}\n"},
    {"Route", 6, 10, 2,
     "RouteNumber={RouteNumber}\tTrunksBusy ={AllTrunksBusy:B}h\tTrunkBusyTm="
     "{AllTrunksBusyTime}\n"},
};

// The records' display and the feedcast.ini lines that configure them, with
// a value of its own, above 65,535, for every field of every record.
std::pair<std::string, std::string> fill(const Kind& k) {
  static const std::regex field(R"(\{(\w+)(:[XB])?\})");
  std::string text, keys;
  for (int r = 0; r < k.records; ++r) {
    std::uint32_t value = 70000u * static_cast<std::uint32_t>(r + 1);
    std::string rest = k.display;
    for (std::sregex_iterator i(k.display.begin(), k.display.end(), field), end; i != end; ++i) {
      const std::smatch& m = *i;
      value += 1000;
      keys += m[1].str() + std::to_string(r) + "=" + std::to_string(value) + "\n";
      char shown[16];
      std::snprintf(shown, sizeof shown, m[2].matched ? "%X" : "%d",
                    m[2] == ":B" ? value & 0xFF : value);
      text += m.prefix().str() + shown;
      rest = m.suffix();
    }
    text += rest + "               ************************************************\n\n";
  }
  return {text, keys};
}

class PipelineTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(PipelineTest, ConfiguredValuesAppearOnTheMonitor) {
  ASSERT_TRUE(test_support::in_private_namespace()) << "run through scripts/in-private-netns";
  const Kind& k = kKinds[std::get<0>(GetParam())];
  const int encode = std::get<1>(GetParam());
  const auto [records, keys] = fill(k);
  const std::string name = k.name, number = std::to_string(k.records), e = std::to_string(encode);
  test_support::TempDir dir;
  dir.write("feedcast.ini", "[MCast]\nMessageType=" + std::to_string(k.type) + "\nStatScheme=" +
                                e + "\nServerName=PIPE-" + name + "\nUpdateRate=1\nReleaseNumber=7"
                                "\nMinorVersion=1\nBuildNumber=9\n[" + name + "]\nNumber=" +
                                number + "\nEncode=" + e + "\n" + keys);
  Process watch({FEEDWATCH_PATH, std::to_string(packet::stat_port(k.type, encode))},
                dir.path());
  ASSERT_TRUE(watch.shows("adapter 0 - 127.0.0.1\n", 5s)) << watch.output();

  Process cast({FEEDCAST_PATH}, dir.path());
  ASSERT_TRUE(watch.shows("Timestamp -> ", 8s)) << watch.output() << cast.errors();
  const std::string out = watch.output();
  const auto timestamp = std::stoul(out.substr(out.find("Timestamp -> ") + 13));
  const std::string expected =
      "Packet header id -> KEBO\nReserve bytes -> 0;0;0;0\nVersion -> 7;1;9\n\n"
      "Print single packet:\n" +
      std::string(encode ? "\nCompression is 'on', de-compress\n\nCompression was ON - data "
                           "uncompressed successfully.\n" : "") +
      "Server id -> PIPE-" + name + "\n" + name + " Statistics - " +
      (encode ? "Moving Window" : "Interval to Date") + "\nTimestamp -> " +
      std::to_string(timestamp) + " = " + test_support::local_date(timestamp) + "NumRecord -> " +
      number + "\nRecordSize -> " + std::to_string(k.record_size) + "\n\nEncoding : " + e +
      "\n" + records;
  EXPECT_TRUE(watch.shows(expected, 5s)) << "expected:\n" << expected << "\nshown:\n" << out;

  // The q takes effect after the next packet, at most UpdateRate later.
  watch.send_input("q");
  ASSERT_TRUE(watch.wait_for(5s)) << "feedwatch did not stop";
  EXPECT_EQ(watch.exit_status(), 0);
  EXPECT_EQ(watch.errors(), "");
  EXPECT_FALSE(cast.wait_for(0ms)) << "feedcast stopped: " << cast.errors();
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, PipelineTest, ::testing::Combine(::testing::Range(0, 6), ::testing::Values(0, 1)),
    [](const auto& info) {
      return kKinds[std::get<0>(info.param)].name +
             std::string(std::get<1>(info.param) ? "_Compressed" : "_Plain");
    });

// The records that a monitor's output shows, packet after packet: what
// follows each Encoding line up to the next packet.
std::string shown_records(const std::string& output) {
  std::string records;
  for (std::size_t at = output.find("\nEncoding : "); at != std::string::npos;
       at = output.find("\nEncoding : ", at)) {
    at = output.find('\n', at + 1) + 1;
    const std::size_t end = std::min(output.find("Packet header id", at), output.find("\nPrint packet", at));
    records += output.substr(at, end - at);
  }
  return records;
}

// A table sent in parts, compressed part by part, shows on the monitor as the
// same records as the single packet of the same table.
TEST(PipelineMultipacket, PartsShowTheRecordsOfTheSinglePacket) {
  ASSERT_TRUE(test_support::in_private_namespace()) << "run through scripts/in-private-netns";
  Kind skillset = kKinds[1];
  skillset.records = 5;
  const auto [records, keys] = fill(skillset);
  test_support::TempDir dir;
  const std::string table = "ServerName=PARTS\n[Skillset]\nNumber=5\nEncode=1\n" + keys;
  dir.write("single.ini", "[MCast]\nMessageType=2\n" + table);
  dir.write("parts.ini", "[MCast]\nMessageType=2\nMaxRecordsPerPacket=2\n" + table);
  Process watch({FEEDWATCH_PATH, "6040"}, dir.path());
  ASSERT_TRUE(watch.shows("adapter 0 - 127.0.0.1\n", 5s)) << watch.output();

  for (const char* ini : {"single.ini", "parts.ini"}) {
    Process cast({FEEDCAST_PATH, "--config", ini, "--count", "1"}, dir.path());
    ASSERT_TRUE(cast.wait_for(5s));
    EXPECT_EQ(cast.exit_status(), 0) << cast.errors();
  }
  ASSERT_TRUE(watch.shows("\nPrint packet 3:\n", 5s)) << watch.output();
  watch.send_input("q");
  test_support::send_datagram(6040, test_support::make_packet(test_support::default_fields(2)));
  ASSERT_TRUE(watch.wait_for(5s));
  const std::string out = watch.output();
  const std::size_t parts = out.find("Reserve bytes -> 1;3;0;0\n");
  ASSERT_NE(parts, std::string::npos) << out;
  EXPECT_EQ(shown_records(out.substr(0, parts)), records) << out;
  EXPECT_EQ(shown_records(out.substr(parts)), records) << out;
}

}  // namespace
