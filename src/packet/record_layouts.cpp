#include "packet/record_layouts.h"

#include <cstring>

#include "packet/byte_order.h"

namespace packet {
namespace {

constexpr ByteOrder kBig = ByteOrder::kBig;
constexpr Shown kDec = Shown::kDecimal;
constexpr Shown kHex = Shown::kHex;
constexpr Shown kHidden = Shown::kHidden;

// A 32-bit big-endian field that the generator fills.
constexpr Field keyed(std::string_view name, std::string_view label, std::uint16_t offset,
                      Shown shown = kDec) {
  return {name, label, offset, 4, kBig, shown, true};
}

// A 32-bit big-endian field that only the monitor reads.
constexpr Field shown_only(std::string_view name, std::uint16_t offset, Shown shown) {
  return {name, name, offset, 4, kBig, shown, false};
}

constexpr Field kApplicationFields[] = {
    keyed("ApplicationID", "ApplctnId", 0),
    keyed("CallsAbandoned", "CallsAband", 4),
    keyed("CallsAbandonedAfterThreshold", "CallAbnAfTd", 8),
    keyed("CallsAbandonedDelay", "CallAbnDly", 12),
    keyed("CallsAnswered", "CallsAns", 16),
    keyed("CallsAnsweredAfterThreshold", "CallAnsAfTd", 20),
    keyed("CallsAnsweredDelay", "CallAnsDely", 24),
    keyed("CallsWaiting", "CallsWaitin", 28),
    keyed("MaxWaitingTime", "MaxWaitTime", 32),
    keyed("WaitingTime", "WaitingTime", 36),
    keyed("CallsAnswerDelayAtSkillset", "CallAnsDlyS", 40),
    keyed("CallsGivenTerminationTreatment", "CallGvTerTr", 44),
    keyed("CallsOffered", "CallsOffer", 48),
    keyed("TimeBeforeInterflow", "TmBfrItrflw", 52),
    keyed("NetworkOutCalls", "NwtOutCalls", 56),
    keyed("NetworkOutCallsAbandoned", "NwtOCallAbn", 60),
    keyed("NetworkOutCallsAbandonedDelay", "NwtOCllAbnD", 64),
    keyed("NetworkOutCallsAnswered", "NwtOCallAns", 68),
    keyed("NetworkOutCallsAnsweredDelay", "NwtOCllAnsD", 72),
    keyed("NetworkOutCallsWaiting", "NwtOCallWtn", 76),
    keyed("NetworkOutCallsRequested", "NwtOCallReq", 80),
};

constexpr DisplayLine kApplicationLines[] = {
    display_line(kApplicationFields,
                 "ApplctnId  =%d\tCallsAband =%d\tCallAbnAfTd=%d\tCallAbnDly =%d\tCallsAns   =%d\n",
                 {"ApplicationID", "CallsAbandoned", "CallsAbandonedAfterThreshold",
                  "CallsAbandonedDelay", "CallsAnswered"}),
    display_line(kApplicationFields,
                 "CallAnsAfTd=%d\tCallAnsDely=%d\tCallsWaitin=%d\tMaxWaitTime=%d\tWaitingTime=%d\n",
                 {"CallsAnsweredAfterThreshold", "CallsAnsweredDelay", "CallsWaiting",
                  "MaxWaitingTime", "WaitingTime"}),
    display_line(kApplicationFields,
                 "CallAnsDlyS=%d\tCallGvTerTr=%d\tCallsOffer =%d\tTmBfrItrflw=%d\tNwtOutCalls=%d\n",
                 {"CallsAnswerDelayAtSkillset", "CallsGivenTerminationTreatment", "CallsOffered",
                  "TimeBeforeInterflow", "NetworkOutCalls"}),
    display_line(
        kApplicationFields,
        "NwtOCallAbn=%d\tNwtOCllAbnD=%d\tNwtOCallAns=%d\tNwtOCllAnsD=%d\tNwtOCallWtn=%d\n",
        {"NetworkOutCallsAbandoned", "NetworkOutCallsAbandonedDelay", "NetworkOutCallsAnswered",
         "NetworkOutCallsAnsweredDelay", "NetworkOutCallsWaiting"}),
    display_line(kApplicationFields, "NwtOCallReq=%d\n", {"NetworkOutCallsRequested"}),
};

constexpr Field kSkillsetFields[] = {
    keyed("SkillsetID", "SkillsetId", 0),
    keyed("AgentsAvailable", "AgentAvail", 4),
    keyed("AgentsInService", "AgentInSrvc", 8),
    keyed("AgentsOnSkillsetCall", "AgtOnSklCal", 12),
    keyed("AgentsNotReady", "AgentNtRdy", 16),
    keyed("CallsWaiting", "CallWaiting", 20),
    keyed("LongestWaitingTimeSinceLastCall", "LngWaitTmLt", 24),
    keyed("MaxWaitingTime", "MaxWaitTime", 28),
    keyed("WaitingTime", "WaitingTime", 32),
    keyed("ExpectedWaitTime", "ExpWaitTime", 36),
    keyed("CallsAnsweredAfterThreshold", "CallAfThshd", 40),
    keyed("LongestWaitingTimeSinceLogin", "LngWaitTLog", 44),
    keyed("AgentsOnDNCalls", "AgtOnDNCall", 48),
    keyed("SkillsetState", "SkillState", 52),
    keyed("AgentsUnavailable", "AgentUnavil", 56),
    keyed("NetworkCallsWaiting", "NwtCallWait", 60),
    keyed("NetworkCallsAnswered", "NwtCallAns", 64),
    keyed("QueuedCallAnswered", "QudCallAns", 68),
    keyed("TotalCallsAnsweredDelay", "TotCallAnsD", 72),
    keyed("TotalCallsAnswered", "TotCallAns", 76),
    keyed("AgentOnNetworkSkillsetCall", "AgNwtSklCal", 80),
    keyed("AgentOnOtherSkillsetCall", "AgOtSklCall", 84),
    keyed("AgentOnACDDNCall", "AgtOnACDCal", 88),
    keyed("AgentOnNACDDNCall", "AgtOnNACDCl", 92),
    keyed("CallsOffered", "CallOffered", 96),
    keyed("SkillsetAbandoned", "SkllAband", 100),
    keyed("SkillsetAbandonedDelay", "SkllAbandDl", 104),
    keyed("SkillsetAbandonedAfterThreshold", "SklAbanAfTd", 108),
    keyed("NetworkCallsOffered", "NwtCallOffr", 112),
};

constexpr DisplayLine kSkillsetLines[] = {
    display_line(kSkillsetFields,
                 "SkillsetId =%d\tAgentAvail =%d\tAgentInSrvc=%d\tAgtOnSklCal=%d\tAgentNtRdy =%d\n",
                 {"SkillsetID", "AgentsAvailable", "AgentsInService", "AgentsOnSkillsetCall",
                  "AgentsNotReady"}),
    display_line(kSkillsetFields,
                 "CallWaiting=%d\tLngWaitTmLt=%d\tMaxWaitTime=%d\tWaitingTime=%d\tExpWaitTime=%d\n",
                 {"CallsWaiting", "LongestWaitingTimeSinceLastCall", "MaxWaitingTime",
                  "WaitingTime", "ExpectedWaitTime"}),
    display_line(kSkillsetFields,
                 "CallAfThshd=%d\tLngWaitTLog=%d\tAgtOnDNCall=%d\tSkillState =%d\tAgentUnavil=%d\n",
                 {"CallsAnsweredAfterThreshold", "LongestWaitingTimeSinceLogin", "AgentsOnDNCalls",
                  "SkillsetState", "AgentsUnavailable"}),
    display_line(kSkillsetFields,
                 "NwtCallWait=%d\tNwtCallAns =%d\tQudCallAns =%d\tTotCallAns =%d\tTotCallAnsD=%d\n",
                 {"NetworkCallsWaiting", "NetworkCallsAnswered", "QueuedCallAnswered",
                  "TotalCallsAnswered", "TotalCallsAnsweredDelay"}),
    display_line(kSkillsetFields,
                 "AgNwtSklCal=%d\tAgOtSklCall=%d\tAgtOnACDCal=%d\tAgtOnNACDCl=%d\tCallOffered=%d\n",
                 {"AgentOnNetworkSkillsetCall", "AgentOnOtherSkillsetCall", "AgentOnACDDNCall",
                  "AgentOnNACDDNCall", "CallsOffered"}),
    display_line(kSkillsetFields,
                 "SkllAband  =%d\tSkllAbandDl=%d\tSklAbanAfTd=%d\tNwtCallOffr=%d\n",
                 {"SkillsetAbandoned", "SkillsetAbandonedDelay", "SkillsetAbandonedAfterThreshold",
                  "NetworkCallsOffered"}),
};

// The full Agent layout; the 104-byte form is all of it but TimeInNRRC.
constexpr Field kAgentFields[] = {
    keyed("AgentID_High", "AgentId(Hi)", 0, kHex),
    keyed("AgentID", "AgentId(Lo)", 4, kHex),
    keyed("State", "State", 8),
    keyed("SupervisorID_High", "", 12, kHidden),
    keyed("SupervisorID", "SupverisrId", 16, kHex),
    keyed("TimeInState", "TimeInState", 20),
    keyed("AnsweringSkillset", "AnsSkillset", 24),
    keyed("DNInTimeInState", "DNInTmInSt", 28),
    keyed("DNOutTimeInState", "DNOutTmInSt", 32),
    {"SupervisorUserID", "", 36, 16, kBig, kHidden, true},
    keyed("PositionID", "PositionId", 52),
    shown_only("NotReadyReasonCode_High", 56, kHex),
    shown_only("NotReadyReasonCode_Low", 60, kHex),
    shown_only("DNOutCallNumber_High", 64, kHex),
    shown_only("DNOutCallNumber_Low", 68, kHex),
    shown_only("SkillsetCallsAnswer", 72, kDec),
    shown_only("DNInCallsAnswer", 76, kDec),
    shown_only("DNOutCallsMade", 80, kDec),
    shown_only("AnsweringApplication", 84, kDec),
    shown_only("AnsweringCDN_High", 88, kHex),
    shown_only("AnsweringCDN_Low", 92, kHex),
    shown_only("AnsweringDNIS_High", 96, kHex),
    shown_only("AnsweringDNIS_Low", 100, kHex),
    shown_only("TimeInNRRC", 104, kDec),
};

// The 108-byte layout's lines; the 104-byte layout's are all of them but the last.
constexpr DisplayLine kAgentLines[] = {
    display_line(kAgentFields,
                 "AgentId(Hi)=%Xh\nAgentId(Lo)=%Xh\nState =%d\nSupverisrId=%Xh\nTimeInState=%d\n",
                 {"AgentID_High", "AgentID", "State", "SupervisorID", "TimeInState"}),
    display_line(
        kAgentFields,
        "NotReadyReasonCode_High=%Xh\nNotReadyReasonCode_Low=%Xh\nDNOutCallNumber_High=%Xh\n"
        "DNOutCallNumber_Low=%Xh\n",
        {"NotReadyReasonCode_High", "NotReadyReasonCode_Low", "DNOutCallNumber_High",
         "DNOutCallNumber_Low"}),
    display_line(
        kAgentFields,
        "Cumulative Data:\nSkillsetCallsAnswer=%d\nDNInCallsAnswer=%d\nDNOutCallsMade=%d\n",
        {"SkillsetCallsAnswer", "DNInCallsAnswer", "DNOutCallsMade"}),
    display_line(kAgentFields, "AnsSkillset=%d\tDNInTmInSt =%d\tDNOutTmInSt=%d\tPositionId =%d\n",
                 {"AnsweringSkillset", "DNInTimeInState", "DNOutTimeInState", "PositionID"}),
    display_line(kAgentFields,
                 "AnsweringApplication = %d\nAnsweringCDN_High=%Xh\nAnsweringCDN_Low=%Xh\n"
                 "AnsweringDNIS_High=%Xh\nAnsweringDNIS_Low=%Xh\n",
                 {"AnsweringApplication", "AnsweringCDN_High", "AnsweringCDN_Low",
                  "AnsweringDNIS_High", "AnsweringDNIS_Low"}),
    display_line(kAgentFields, "TimeInNRRC = %d\n", {"TimeInNRRC"}),
};

constexpr Field kNodalFields[] = {
    keyed("DummyKey", "DummyKey", 0),
    keyed("CallsOffered", "CallOffered", 4),
    keyed("CallsAnswered", "CallsAnswer", 8),
    keyed("CallsWaiting", "CallWaiting", 12),
    keyed("NetworkCallsOffered", "NwCallOffer", 16),
    keyed("NetworkCallsAnswered", "NwtCallAns", 20),
    keyed("NetworkCallsWaiting", "NwtCallWait", 24),
};

constexpr DisplayLine kNodalLines[] = {
    display_line(
        kNodalFields,
        "DummyKey   =%d\tCallOffered=%d\tCallsAnswer=%d\tCallWaiting=%d\tNwCallOffer=%d\n",
        {"DummyKey", "CallsOffered", "CallsAnswered", "CallsWaiting", "NetworkCallsOffered"}),
    display_line(kNodalFields, "NwtCallAns =%d\tNwtCallWait=%d\n",
                 {"NetworkCallsAnswered", "NetworkCallsWaiting"}),
};

constexpr Field kIvrFields[] = {
    keyed("IVRQueueID", "IVRQueueId", 0, kHex),
    keyed("CallsWaiting", "CallWaiting", 4),
    keyed("CallsAnswered", "CallsAns", 8),
    keyed("CallsAnsweredDelay", "CallAnsDely", 12),
    keyed("CallsAnsweredAfterThreshold", "CallAnsAfTd", 16),
    keyed("CallsNotTreated", "CallNtTrtd", 20),
    keyed("CallsNotTreatedDelay", "CallNtTrDl", 24),
    keyed("CallsNotTreatedAfterThreshold", "CallNtTAfTh", 28),
};

constexpr DisplayLine kIvrLines[] = {
    display_line(kIvrFields,
                 "IVRQueueId =%X\tCallWaiting=%d\tCallsAns   =%d\tCallAnsDely=%d\tCallAnsAfTd=%d\n",
                 {"IVRQueueID", "CallsWaiting", "CallsAnswered", "CallsAnsweredDelay",
                  "CallsAnsweredAfterThreshold"}),
    display_line(kIvrFields, "CallNtTrtd =%d\tCallNtTrDl =%d\tCallNtTAfTh=%d\n",
                 {"CallsNotTreated", "CallsNotTreatedDelay", "CallsNotTreatedAfterThreshold"}),
};

constexpr Field kRouteFields[] = {
    keyed("RouteNumber", "RouteNumber", 0),
    {"AllTrunksBusy", "TrunksBusy", 4, 2, ByteOrder::kLittle, Shown::kHexFirstByte, true},
    keyed("AllTrunksBusyTime", "TrunkBusyTm", 6),
};

constexpr DisplayLine kRouteLines[] = {
    display_line(kRouteFields, "RouteNumber=%d\tTrunksBusy =%Xh\tTrunkBusyTm=%d\n",
                 {"RouteNumber", "AllTrunksBusy", "AllTrunksBusyTime"}),
};

}  // namespace

const RecordLayout kApplicationLayout{"Application Record", 84, kApplicationFields,
                                      kApplicationLines};
const RecordLayout kSkillsetLayout{"Skillset Record", 116, kSkillsetFields, kSkillsetLines};
const RecordLayout kAgentLayout{"Agent Record", 104,
                                std::span(kAgentFields).first(std::size(kAgentFields) - 1),
                                std::span(kAgentLines).first(std::size(kAgentLines) - 1)};
const RecordLayout kAgentLayoutWithNrrc{"Agent Record", 108, kAgentFields, kAgentLines};
const RecordLayout kNodalLayout{"Nodal Record", 28, kNodalFields, kNodalLines};
const RecordLayout kIvrLayout{"IVR Record", 32, kIvrFields, kIvrLines};
const RecordLayout kRouteLayout{"Route Record", 10, kRouteFields, kRouteLines};

void store_field(std::uint8_t* record, const Field& field, std::uint32_t value) {
  std::uint8_t* at = record + field.offset;
  if (field.order == ByteOrder::kLittle) {
    store_le16(at, value);
    return;
  }
  if (field.width > 4) std::memset(at, 0, field.width);
  store_be32(at, value);
}

std::uint32_t shown_value(const std::uint8_t* record, const Field& field) {
  if (field.shown == Shown::kHexFirstByte) return record[field.offset];
  return load_be32(record + field.offset);
}

}  // namespace packet
