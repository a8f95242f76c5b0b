-- Wireshark dissector for the Statistics Packet that feedcast multicasts and
-- feedwatch prints: a 68-byte header, then a table of fixed-size records of
-- one of six kinds, plain or as one zlib stream.
--
-- Install it in Wireshark's Lua plugin directory (the package does), or load
-- it by hand:  tshark -X lua_script:feedstats.lua -r capture.pcapng
--
-- Filter names: feedstats.<HeaderField> for the header (feedstats.NumRecord)
-- and feedstats.<kind>.<KeyStem> for the records (feedstats.skillset.CallsWaiting),
-- the key stems being those of feedcast.ini.

local feedstats = Proto("feedstats", "Feed Statistics Packet")

-- The wire tables: the header's fields, the kinds with their record sizes
-- and layouts (the Agent's longer layout and the version that selects it),
-- the schemes and the Stat Port Table.  They are the C++ tables of
-- src/packet, written here by write_wire_tables (dissector/); after a change
-- there, `cmake --build build --target dissector_tables` writes them again,
-- and a test fails while they differ.  Header fields are shown as "text"
-- (UTF-16 up to the first zero unit), "named" (a number the catalogue
-- names), "time" (seconds since 1970) or as an unsigned big-endian number,
-- "decimal" or "hex" ("hidden" is shown here in hex).  Record fields are
-- shown by the monitor as signed "decimal", upper-case "hex",
-- "hex_first_byte" (the hex of the field's first byte alone) or not at all
-- ("hidden"); each field's label is the monitor's.
-- BEGIN wire tables
local WIRE = {
  header = {
    size = 68,
    identifier = "KEBO",
    fields = {
      { name = "HeaderId", offset = 0, width = 8, shown = "text" },
      { name = "PacketNumber", offset = 8, width = 1, shown = "decimal" },
      { name = "PacketCount", offset = 9, width = 1, shown = "decimal" },
      { name = "Reserved1", offset = 10, width = 1, shown = "hex" },
      { name = "Reserved2", offset = 11, width = 1, shown = "hex" },
      { name = "Encoding", offset = 12, width = 1, shown = "decimal" },
      { name = "ReleaseNumber", offset = 13, width = 1, shown = "decimal" },
      { name = "MinorVersion", offset = 14, width = 1, shown = "decimal" },
      { name = "BuildNumber", offset = 15, width = 1, shown = "decimal" },
      { name = "ServerName", offset = 16, width = 40, shown = "text" },
      { name = "NameTerminator", offset = 56, width = 2, shown = "hidden" },
      { name = "MessageType", offset = 58, width = 1, shown = "named" },
      { name = "StatScheme", offset = 59, width = 1, shown = "named" },
      { name = "Timestamp", offset = 60, width = 4, shown = "time" },
      { name = "NumRecord", offset = 64, width = 2, shown = "decimal" },
      { name = "RecordSize", offset = 66, width = 2, shown = "decimal" },
    },
  },
  monitor_buffer_size = 65536,
  schemes = {
    { stat_scheme = 0, name = "Interval to Date" },
    { stat_scheme = 1, name = "Moving Window" },
  },
  kinds = {
    {
      message_type = 1,
      name = "Application",
      title = "Application Statistics - ",
      record_size = 84,
      layout = {
        name = "Application Record",
        size = 84,
        fields = {
          { name = "ApplicationID", label = "ApplctnId", offset = 0, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAbandoned", label = "CallsAband", offset = 4, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAbandonedAfterThreshold", label = "CallAbnAfTd", offset = 8, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsAbandonedDelay", label = "CallAbnDly", offset = 12, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsAnswered", label = "CallsAns", offset = 16, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAnsweredAfterThreshold", label = "CallAnsAfTd", offset = 20, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsAnsweredDelay", label = "CallAnsDely", offset = 24, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsWaiting", label = "CallsWaitin", offset = 28, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "MaxWaitingTime", label = "MaxWaitTime", offset = 32, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "WaitingTime", label = "WaitingTime", offset = 36, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAnswerDelayAtSkillset", label = "CallAnsDlyS", offset = 40, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsGivenTerminationTreatment", label = "CallGvTerTr", offset = 44, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsOffered", label = "CallsOffer", offset = 48, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "TimeBeforeInterflow", label = "TmBfrItrflw", offset = 52, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkOutCalls", label = "NwtOutCalls", offset = 56, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "NetworkOutCallsAbandoned", label = "NwtOCallAbn", offset = 60, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkOutCallsAbandonedDelay", label = "NwtOCllAbnD", offset = 64, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkOutCallsAnswered", label = "NwtOCallAns", offset = 68, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkOutCallsAnsweredDelay", label = "NwtOCllAnsD", offset = 72, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkOutCallsWaiting", label = "NwtOCallWtn", offset = 76, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkOutCallsRequested", label = "NwtOCallReq", offset = 80, width = 4,
            order = "big", shown = "decimal", keyed = true },
        },
      },
    },
    {
      message_type = 2,
      name = "Skillset",
      title = "Skillset Statistics - ",
      record_size = 116,
      layout = {
        name = "Skillset Record",
        size = 116,
        fields = {
          { name = "SkillsetID", label = "SkillsetId", offset = 0, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AgentsAvailable", label = "AgentAvail", offset = 4, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AgentsInService", label = "AgentInSrvc", offset = 8, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AgentsOnSkillsetCall", label = "AgtOnSklCal", offset = 12, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "AgentsNotReady", label = "AgentNtRdy", offset = 16, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsWaiting", label = "CallWaiting", offset = 20, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "LongestWaitingTimeSinceLastCall", label = "LngWaitTmLt", offset = 24, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "MaxWaitingTime", label = "MaxWaitTime", offset = 28, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "WaitingTime", label = "WaitingTime", offset = 32, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "ExpectedWaitTime", label = "ExpWaitTime", offset = 36, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAnsweredAfterThreshold", label = "CallAfThshd", offset = 40, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "LongestWaitingTimeSinceLogin", label = "LngWaitTLog", offset = 44, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "AgentsOnDNCalls", label = "AgtOnDNCall", offset = 48, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "SkillsetState", label = "SkillState", offset = 52, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AgentsUnavailable", label = "AgentUnavil", offset = 56, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkCallsWaiting", label = "NwtCallWait", offset = 60, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkCallsAnswered", label = "NwtCallAns", offset = 64, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "QueuedCallAnswered", label = "QudCallAns", offset = 68, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "TotalCallsAnsweredDelay", label = "TotCallAnsD", offset = 72, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "TotalCallsAnswered", label = "TotCallAns", offset = 76, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "AgentOnNetworkSkillsetCall", label = "AgNwtSklCal", offset = 80, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "AgentOnOtherSkillsetCall", label = "AgOtSklCall", offset = 84, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "AgentOnACDDNCall", label = "AgtOnACDCal", offset = 88, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AgentOnNACDDNCall", label = "AgtOnNACDCl", offset = 92, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsOffered", label = "CallOffered", offset = 96, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "SkillsetAbandoned", label = "SkllAband", offset = 100, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "SkillsetAbandonedDelay", label = "SkllAbandDl", offset = 104, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "SkillsetAbandonedAfterThreshold", label = "SklAbanAfTd", offset = 108,
            width = 4, order = "big", shown = "decimal", keyed = true },
          { name = "NetworkCallsOffered", label = "NwtCallOffr", offset = 112, width = 4,
            order = "big", shown = "decimal", keyed = true },
        },
      },
    },
    {
      message_type = 3,
      name = "Agent",
      title = "Agent Statistics - ",
      record_size = 84,
      layout = {
        name = "Agent Record",
        size = 104,
        fields = {
          { name = "AgentID_High", label = "AgentId(Hi)", offset = 0, width = 4, order = "big",
            shown = "hex", keyed = true },
          { name = "AgentID", label = "AgentId(Lo)", offset = 4, width = 4, order = "big",
            shown = "hex", keyed = true },
          { name = "State", label = "State", offset = 8, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "SupervisorID_High", label = "", offset = 12, width = 4, order = "big",
            shown = "hidden", keyed = true },
          { name = "SupervisorID", label = "SupverisrId", offset = 16, width = 4, order = "big",
            shown = "hex", keyed = true },
          { name = "TimeInState", label = "TimeInState", offset = 20, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AnsweringSkillset", label = "AnsSkillset", offset = 24, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "DNInTimeInState", label = "DNInTmInSt", offset = 28, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "DNOutTimeInState", label = "DNOutTmInSt", offset = 32, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "SupervisorUserID", label = "", offset = 36, width = 16, order = "big",
            shown = "hidden", keyed = true },
          { name = "PositionID", label = "PositionId", offset = 52, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "NotReadyReasonCode_High", label = "NotReadyReasonCode_High", offset = 56,
            width = 4, order = "big", shown = "hex", keyed = false },
          { name = "NotReadyReasonCode_Low", label = "NotReadyReasonCode_Low", offset = 60,
            width = 4, order = "big", shown = "hex", keyed = false },
          { name = "DNOutCallNumber_High", label = "DNOutCallNumber_High", offset = 64, width = 4,
            order = "big", shown = "hex", keyed = false },
          { name = "DNOutCallNumber_Low", label = "DNOutCallNumber_Low", offset = 68, width = 4,
            order = "big", shown = "hex", keyed = false },
          { name = "SkillsetCallsAnswer", label = "SkillsetCallsAnswer", offset = 72, width = 4,
            order = "big", shown = "decimal", keyed = false },
          { name = "DNInCallsAnswer", label = "DNInCallsAnswer", offset = 76, width = 4,
            order = "big", shown = "decimal", keyed = false },
          { name = "DNOutCallsMade", label = "DNOutCallsMade", offset = 80, width = 4,
            order = "big", shown = "decimal", keyed = false },
          { name = "AnsweringApplication", label = "AnsweringApplication", offset = 84, width = 4,
            order = "big", shown = "decimal", keyed = false },
          { name = "AnsweringCDN_High", label = "AnsweringCDN_High", offset = 88, width = 4,
            order = "big", shown = "hex", keyed = false },
          { name = "AnsweringCDN_Low", label = "AnsweringCDN_Low", offset = 92, width = 4,
            order = "big", shown = "hex", keyed = false },
          { name = "AnsweringDNIS_High", label = "AnsweringDNIS_High", offset = 96, width = 4,
            order = "big", shown = "hex", keyed = false },
          { name = "AnsweringDNIS_Low", label = "AnsweringDNIS_Low", offset = 100, width = 4,
            order = "big", shown = "hex", keyed = false },
        },
      },
      version_layout = {
        release_number = 8,
        minor_version = 4,
        layout = {
          name = "Agent Record",
          size = 108,
          fields = {
            { name = "AgentID_High", label = "AgentId(Hi)", offset = 0, width = 4, order = "big",
              shown = "hex", keyed = true },
            { name = "AgentID", label = "AgentId(Lo)", offset = 4, width = 4, order = "big",
              shown = "hex", keyed = true },
            { name = "State", label = "State", offset = 8, width = 4, order = "big",
              shown = "decimal", keyed = true },
            { name = "SupervisorID_High", label = "", offset = 12, width = 4, order = "big",
              shown = "hidden", keyed = true },
            { name = "SupervisorID", label = "SupverisrId", offset = 16, width = 4, order = "big",
              shown = "hex", keyed = true },
            { name = "TimeInState", label = "TimeInState", offset = 20, width = 4, order = "big",
              shown = "decimal", keyed = true },
            { name = "AnsweringSkillset", label = "AnsSkillset", offset = 24, width = 4,
              order = "big", shown = "decimal", keyed = true },
            { name = "DNInTimeInState", label = "DNInTmInSt", offset = 28, width = 4, order = "big",
              shown = "decimal", keyed = true },
            { name = "DNOutTimeInState", label = "DNOutTmInSt", offset = 32, width = 4,
              order = "big", shown = "decimal", keyed = true },
            { name = "SupervisorUserID", label = "", offset = 36, width = 16, order = "big",
              shown = "hidden", keyed = true },
            { name = "PositionID", label = "PositionId", offset = 52, width = 4, order = "big",
              shown = "decimal", keyed = true },
            { name = "NotReadyReasonCode_High", label = "NotReadyReasonCode_High", offset = 56,
              width = 4, order = "big", shown = "hex", keyed = false },
            { name = "NotReadyReasonCode_Low", label = "NotReadyReasonCode_Low", offset = 60,
              width = 4, order = "big", shown = "hex", keyed = false },
            { name = "DNOutCallNumber_High", label = "DNOutCallNumber_High", offset = 64, width = 4,
              order = "big", shown = "hex", keyed = false },
            { name = "DNOutCallNumber_Low", label = "DNOutCallNumber_Low", offset = 68, width = 4,
              order = "big", shown = "hex", keyed = false },
            { name = "SkillsetCallsAnswer", label = "SkillsetCallsAnswer", offset = 72, width = 4,
              order = "big", shown = "decimal", keyed = false },
            { name = "DNInCallsAnswer", label = "DNInCallsAnswer", offset = 76, width = 4,
              order = "big", shown = "decimal", keyed = false },
            { name = "DNOutCallsMade", label = "DNOutCallsMade", offset = 80, width = 4,
              order = "big", shown = "decimal", keyed = false },
            { name = "AnsweringApplication", label = "AnsweringApplication", offset = 84, width = 4,
              order = "big", shown = "decimal", keyed = false },
            { name = "AnsweringCDN_High", label = "AnsweringCDN_High", offset = 88, width = 4,
              order = "big", shown = "hex", keyed = false },
            { name = "AnsweringCDN_Low", label = "AnsweringCDN_Low", offset = 92, width = 4,
              order = "big", shown = "hex", keyed = false },
            { name = "AnsweringDNIS_High", label = "AnsweringDNIS_High", offset = 96, width = 4,
              order = "big", shown = "hex", keyed = false },
            { name = "AnsweringDNIS_Low", label = "AnsweringDNIS_Low", offset = 100, width = 4,
              order = "big", shown = "hex", keyed = false },
            { name = "TimeInNRRC", label = "TimeInNRRC", offset = 104, width = 4, order = "big",
              shown = "decimal", keyed = false },
          },
        },
      },
    },
    {
      message_type = 4,
      name = "Nodal",
      title = "Nodal Statistics - ",
      record_size = 28,
      layout = {
        name = "Nodal Record",
        size = 28,
        fields = {
          { name = "DummyKey", label = "DummyKey", offset = 0, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsOffered", label = "CallOffered", offset = 4, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAnswered", label = "CallsAnswer", offset = 8, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsWaiting", label = "CallWaiting", offset = 12, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "NetworkCallsOffered", label = "NwCallOffer", offset = 16, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkCallsAnswered", label = "NwtCallAns", offset = 20, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "NetworkCallsWaiting", label = "NwtCallWait", offset = 24, width = 4,
            order = "big", shown = "decimal", keyed = true },
        },
      },
    },
    {
      message_type = 5,
      name = "IVR",
      title = "IVR Statistics - ",
      record_size = 32,
      layout = {
        name = "IVR Record",
        size = 32,
        fields = {
          { name = "IVRQueueID", label = "IVRQueueId", offset = 0, width = 4, order = "big",
            shown = "hex", keyed = true },
          { name = "CallsWaiting", label = "CallWaiting", offset = 4, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAnswered", label = "CallsAns", offset = 8, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsAnsweredDelay", label = "CallAnsDely", offset = 12, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsAnsweredAfterThreshold", label = "CallAnsAfTd", offset = 16, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsNotTreated", label = "CallNtTrtd", offset = 20, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "CallsNotTreatedDelay", label = "CallNtTrDl", offset = 24, width = 4,
            order = "big", shown = "decimal", keyed = true },
          { name = "CallsNotTreatedAfterThreshold", label = "CallNtTAfTh", offset = 28, width = 4,
            order = "big", shown = "decimal", keyed = true },
        },
      },
    },
    {
      message_type = 6,
      name = "Route",
      title = "Route Statistics - ",
      record_size = 10,
      layout = {
        name = "Route Record",
        size = 10,
        fields = {
          { name = "RouteNumber", label = "RouteNumber", offset = 0, width = 4, order = "big",
            shown = "decimal", keyed = true },
          { name = "AllTrunksBusy", label = "TrunksBusy", offset = 4, width = 2, order = "little",
            shown = "hex_first_byte", keyed = true },
          { name = "AllTrunksBusyTime", label = "TrunkBusyTm", offset = 6, width = 4, order = "big",
            shown = "decimal", keyed = true },
        },
      },
    },
  },
  stat_ports = {
    { message_type = 1, stat_scheme = 0, port = 6020 },
    { message_type = 1, stat_scheme = 1, port = 6030 },
    { message_type = 2, stat_scheme = 0, port = 6040 },
    { message_type = 2, stat_scheme = 1, port = 6050 },
    { message_type = 3, stat_scheme = 0, port = 6060 },
    { message_type = 3, stat_scheme = 1, port = 6070 },
    { message_type = 4, stat_scheme = 0, port = 6080 },
    { message_type = 4, stat_scheme = 1, port = 6090 },
    { message_type = 5, stat_scheme = 0, port = 6100 },
    { message_type = 5, stat_scheme = 1, port = 6110 },
    { message_type = 6, stat_scheme = 0, port = 6120 },
    { message_type = 6, stat_scheme = 1, port = 6130 },
  },
}
-- END wire tables

local HEADER_SIZE = WIRE.header.size
-- The monitor receives into a buffer of its own: the room behind the header.
local RECORD_ROOM = WIRE.monitor_buffer_size - HEADER_SIZE
local HEADER_ID = WIRE.header.identifier

local HEADER_FIELDS = WIRE.header.fields
local HEADER = {}
for _, f in ipairs(HEADER_FIELDS) do HEADER[f.name] = f end

-- The kinds by MessageType, each with its filter prefix; the names of the
-- kinds and schemes by value; the Stat Port Table by kind and scheme.
local KINDS, KIND_NAMES, SCHEME_NAMES, STAT_PORTS = {}, {}, {}, {}
for _, kind in ipairs(WIRE.kinds) do
  kind.prefix = kind.name:lower()
  KINDS[kind.message_type] = kind
  KIND_NAMES[kind.message_type] = kind.name
  STAT_PORTS[kind.message_type] = {}
end
for _, scheme in ipairs(WIRE.schemes) do SCHEME_NAMES[scheme.stat_scheme] = scheme.name end
for _, p in ipairs(WIRE.stat_ports) do STAT_PORTS[p.message_type][p.stat_scheme] = p.port end
local KIND_RANGE = WIRE.kinds[1].message_type .. " to " .. WIRE.kinds[#WIRE.kinds].message_type
local SCHEME_RANGE = WIRE.schemes[1].stat_scheme .. " or " .. WIRE.schemes[#WIRE.schemes].stat_scheme

-- Every layout of a kind: its own and the one it has for a version.
local function layouts(kind)
  if kind.version_layout then return { kind.layout, kind.version_layout.layout } end
  return { kind.layout }
end

------------------------------------------------------------------------------
-- Fields

-- The names of the values of some header fields.
local VALUE_NAMES = { Encoding = { [0] = "plain", [1] = "zlib stream" },
                      MessageType = KIND_NAMES, StatScheme = SCHEME_NAMES }

local hf = {
  Version = ProtoField.string("feedstats.Version", "Version"),
  Part = ProtoField.string("feedstats.Part", "Part"),
  PartFrame = ProtoField.framenum("feedstats.PartFrame", "Part in frame"),
  Records = ProtoField.bytes("feedstats.Records", "Record area"),
  Expanded = ProtoField.uint32("feedstats.ExpandedLength", "Expanded length", base.DEC),
  Record = ProtoField.uint16("feedstats.Record", "Record", base.DEC),
  TrunksBusyShown = ProtoField.uint8("feedstats.route.AllTrunksBusy.Shown",
                                     "AllTrunksBusy as the monitor shows it", base.HEX),
  SupervisorUserIDBytes = ProtoField.bytes("feedstats.agent.SupervisorUserID.Bytes",
                                           "SupervisorUserID bytes"),
}

-- One field per header field: feedstats.<HeaderField>.
for _, f in ipairs(HEADER_FIELDS) do
  local name, shown = f.name, f.shown
  local abbrev = "feedstats." .. name
  if shown == "text" then
    hf[name] = ProtoField.string(abbrev, name)
  elseif shown == "time" then
    hf[name] = ProtoField.absolute_time(abbrev, name, base.LOCAL)
  else
    local shown_base = (shown == "hex" or shown == "hidden") and base.HEX or base.DEC
    hf[name] = ProtoField["uint" .. 8 * f.width](abbrev, name, shown_base, VALUE_NAMES[name])
  end
end

-- One field per kind and key stem: feedstats.<kind>.<KeyStem>, described by
-- the monitor's label.  The monitor's decimal is signed, its hex unsigned;
-- the two fields it hides are shown here too: SupervisorID_High in hex like
-- its partner, SupervisorUserID as the number in its first four bytes.
local function record_field(kind, f)
  local abbrev = "feedstats." .. kind.prefix .. "." .. f.name
  local label = f.label ~= "" and "feedwatch shows it as " .. f.label or "feedwatch does not show it"
  if f.shown == "decimal" then
    return ProtoField.int32(abbrev, f.name, base.DEC, nil, nil, label)
  elseif f.shown == "hex_first_byte" then
    return ProtoField.uint16(abbrev, f.name, base.HEX, nil, nil, label)
  elseif f.shown == "hidden" and f.width > 4 then
    return ProtoField.uint32(abbrev, f.name, base.DEC, nil, nil, label)
  end
  return ProtoField.uint32(abbrev, f.name, base.HEX, nil, nil, label)
end

local record_hf = {}
for _, kind in pairs(KINDS) do
  local fields = {}
  for _, layout in ipairs(layouts(kind)) do
    for _, f in ipairs(layout.fields) do
      fields[f.name] = fields[f.name] or record_field(kind, f)
    end
  end
  record_hf[kind.prefix] = fields
end

local all_fields = {}
for _, field in pairs(hf) do all_fields[#all_fields + 1] = field end
for _, fields in pairs(record_hf) do
  for _, field in pairs(fields) do all_fields[#all_fields + 1] = field end
end
feedstats.fields = all_fields

local ef = {
  short_header = ProtoExpert.new("feedstats.short_header", "Datagram shorter than the header",
                                 expert.group.MALFORMED, expert.severity.ERROR),
  short_records = ProtoExpert.new("feedstats.short_records", "Fewer records than NumRecord",
                                  expert.group.MALFORMED, expert.severity.ERROR),
  no_expand = ProtoExpert.new("feedstats.no_expand", "Record area does not expand",
                              expert.group.MALFORMED, expert.severity.ERROR),
  expand_room = ProtoExpert.new("feedstats.expand_room", "Expands beyond the room the monitor allows",
                                expert.group.PROTOCOL, expert.severity.WARN),
  unknown_kind = ProtoExpert.new("feedstats.unknown_kind", "Unknown MessageType",
                                 expert.group.PROTOCOL, expert.severity.ERROR),
  unknown_scheme = ProtoExpert.new("feedstats.unknown_scheme", "Unknown StatScheme",
                                   expert.group.PROTOCOL, expert.severity.WARN),
  encoding = ProtoExpert.new("feedstats.encoding", "Encoding other than 0 or 1",
                             expert.group.PROTOCOL, expert.severity.WARN),
  header_id = ProtoExpert.new("feedstats.header_id", "HeaderId is not " .. HEADER_ID,
                              expert.group.PROTOCOL, expert.severity.WARN),
  record_size = ProtoExpert.new("feedstats.record_size", "RecordSize differs from the layout",
                                expert.group.PROTOCOL, expert.severity.WARN),
  short_layout = ProtoExpert.new("feedstats.short_layout", "Records shorter than the monitor's layout",
                                 expert.group.PROTOCOL, expert.severity.NOTE),
  port = ProtoExpert.new("feedstats.port", "Kind and scheme belong to another port",
                         expert.group.PROTOCOL, expert.severity.NOTE),
  monitor_room = ProtoExpert.new("feedstats.monitor_room", "Records beyond the monitor's buffer",
                                 expert.group.PROTOCOL, expert.severity.WARN),
  multipacket = ProtoExpert.new("feedstats.multipacket", "Part of a multi-packet message",
                                expert.group.SEQUENCE, expert.severity.CHAT),
}
feedstats.experts = { ef.short_header, ef.short_records, ef.no_expand, ef.expand_room,
                      ef.unknown_kind, ef.unknown_scheme, ef.encoding, ef.header_id,
                      ef.record_size, ef.short_layout, ef.port, ef.monitor_room, ef.multipacket }

-- The strides of the monitor that differ from a kind's RecordSize, in words.
local function other_strides()
  local words = {}
  for _, kind in ipairs(WIRE.kinds) do
    local v = kind.version_layout
    if v then
      words[#words + 1] = string.format("%s: %d, or %d for version %d.%d", kind.name,
                                        kind.layout.size, v.layout.size, v.release_number,
                                        v.minor_version)
    elseif kind.layout.size ~= kind.record_size then
      words[#words + 1] = string.format("%s: %d", kind.name, kind.layout.size)
    end
  end
  return table.concat(words, "; ")
end

feedstats.prefs.monitor_stride = Pref.bool(
  "Step through records like the monitor", false,
  string.format("Read record i at %d + i x the layout's size (%s) as feedwatch does, "
                .. "instead of at %d + i x RecordSize", HEADER_SIZE, other_strides(), HEADER_SIZE))

------------------------------------------------------------------------------
-- Helpers

-- The frames of each multi-packet message seen so far, by Timestamp.
local parts_by_timestamp = {}

function feedstats.init()
  parts_by_timestamp = {}
end

-- Adler-32 of a Lua string, the sums reduced every 3,800 bytes (well within
-- the exact range of Lua's numbers).
local function adler32(s)
  local a, b = 1, 0
  local n = #s
  local i = 1
  while i <= n do
    local last = math.min(i + 3799, n)
    for k = i, last do
      a = a + s:byte(k)
      b = b + a
    end
    a, b = a % 65521, b % 65521
    i = last + 1
  end
  return b * 65536 + a
end

local function be32_string(v)
  return string.char(math.floor(v / 16777216) % 256, math.floor(v / 65536) % 256,
                     math.floor(v / 256) % 256, v % 256)
end

-- True when the two bytes at the start of a range make a zlib stream header.
local function zlib_header_ok(range)
  if range:len() < 2 then return false end
  local cmf, flg = range:range(0, 1):uint(), range:range(1, 1):uint()
  return cmf % 16 == 8 and math.floor(cmf / 16) <= 7 and (cmf * 256 + flg) % 31 == 0
         and math.floor(flg / 32) % 2 == 0
end

-- Adds the fields of one record; `limit` is the record's length in the data.
local function add_record(tree, tvb, at, limit, kind, fields)
  local hfs = record_hf[kind.prefix]
  for _, f in ipairs(fields) do
    local name, offset, width = f.name, f.offset, f.width
    if offset + width <= limit then
      local range = tvb:range(at + offset, width)
      if f.order == "little" then
        local item = tree:add_le(hfs[name], range)
        if f.shown == "hex_first_byte" then
          item:add(hf.TrunksBusyShown, range:range(0, 1)):set_generated()
        end
      elseif width > 4 then
        local item = tree:add(hfs[name], range, range:range(0, 4):uint())
        item:add(hf.SupervisorUserIDBytes, range)
      else
        tree:add(hfs[name], range)
      end
    end
  end
end

-- Dissects up to `num` records from `length` bytes of `tvb` at `at`.
local function add_records(tree, tvb, at, length, kind, fields, stride, num)
  local room = math.min(length, RECORD_ROOM)
  local fit = math.floor(room / stride)
  local whole = math.floor(length / stride)
  local count = math.min(num, fit)
  for i = 0, count - 1 do
    local start = at + i * stride
    local record = tree:add(hf.Record, tvb:range(start, stride), i)
    record:set_text(string.format("%s Record %d", kind.name, i))
    add_record(record, tvb, start, stride, kind, fields)
  end
  if whole < num then
    tree:add_proto_expert_info(ef.short_records, string.format(
      "The record area holds %d whole record(s) of %d bytes; NumRecord is %d",
      whole, stride, num))
  elseif count < num then
    tree:add_proto_expert_info(ef.monitor_room, string.format(
      "Only %d of %d records fit the monitor's %d-byte buffer; the rest are not shown",
      count, num, RECORD_ROOM + HEADER_SIZE))
  end
end

-- Expands the zlib stream at byte 68.  Returns the data holding the expanded
-- records and their length, or nil with the failure flagged.
local function expand(tvb, tree, table_length)
  local area = tvb:range(HEADER_SIZE)
  local capacity = (table_length + math.floor(table_length / 1000) + 12) % 4294967296
  if not zlib_header_ok(area) then
    tree:add_proto_expert_info(ef.no_expand, "The record area is no zlib stream")
    return nil
  end
  local stream = area:bytes():raw()
  local expanded = area:uncompress("Expanded records")
  local raw = expanded and expanded:bytes():raw() or ""
  -- An empty table compresses to a stream of nothing: header, one empty
  -- block and the Adler-32 of no data.
  if #raw == 0 then
    if table_length == 0 and stream:find("\0\0\0\1", 3, true) then
      tree:add(hf.Expanded, area, 0):set_generated()
      return tvb, 0
    end
    tree:add_proto_expert_info(ef.no_expand, "The zlib stream does not expand")
    return nil
  end
  tree:add(hf.Expanded, area, #raw):set_generated()
  if not stream:find(be32_string(adler32(raw)), 3, true) then
    tree:add_proto_expert_info(ef.no_expand,
      "The zlib stream is damaged or incomplete (no matching Adler-32)")
  end
  if #raw > capacity then
    tree:add_proto_expert_info(ef.expand_room, string.format(
      "The stream expands to %d bytes, more than the monitor's expansion buffer of %d",
      #raw, capacity))
  end
  return expanded:tvb(), #raw
end

-- The value of a header field: a text field's units up to the first zero
-- unit, as the monitor reads them, or a number.
local function header_value(tvb, name)
  local f = HEADER[name]
  local offset, width = f.offset, f.width
  if f.shown ~= "text" then return tvb:range(offset, width):uint() end
  local units = 0
  while units < width / 2 and tvb:range(offset + 2 * units, 2):uint() ~= 0 do units = units + 1 end
  if units == 0 then return "" end
  return tvb:range(offset, 2 * units):ustring()
end

-- Adds every header field that lies within the data; returns the items by name.
local function add_header(tree, tvb)
  local items = {}
  for _, f in ipairs(HEADER_FIELDS) do
    local name = f.name
    if f.offset + f.width <= tvb:len() then
      local range = tvb:range(f.offset, f.width)
      if f.shown == "text" then
        items[name] = tree:add(hf[name], range, header_value(tvb, name))
      elseif f.shown == "time" then
        items[name] = tree:add_packet_field(hf[name], range, ENC_TIME_SECS + ENC_BIG_ENDIAN)
      else
        items[name] = tree:add(hf[name], range)
      end
    end
  end
  return items
end

local function mark_part(tree, pinfo, tvb, number, count, timestamp)
  local frames = parts_by_timestamp[timestamp]
  if not frames then
    frames = {}
    parts_by_timestamp[timestamp] = frames
  end
  if not pinfo.visited then frames[#frames + 1] = pinfo.number end
  local part = tree:add(hf.Part, tvb:range(HEADER.PacketNumber.offset, 2), string.format(
    "%d of %d (Timestamp %d)", number, count, timestamp))
  part:set_generated()
  part:add_proto_expert_info(ef.multipacket, string.format(
    "Part %d of %d of the message of Timestamp %d", number, count, timestamp))
  for _, frame in ipairs(frames) do
    if frame ~= pinfo.number then part:add(hf.PartFrame, frame):set_generated() end
  end
end

------------------------------------------------------------------------------
-- The dissector

function feedstats.dissector(tvb, pinfo, tree)
  local length = tvb:len()
  pinfo.cols.protocol = "FEEDSTATS"
  local root = tree:add(feedstats, tvb:range())

  if length < HEADER_SIZE then
    pinfo.cols.info = string.format("Truncated header (%d bytes)", length)
    root:add_proto_expert_info(ef.short_header, string.format(
      "The datagram has %d bytes; the header alone has %d", length, HEADER_SIZE))
    add_header(root, tvb)
    return length
  end

  local header = root:add(feedstats, tvb:range(0, HEADER_SIZE), "Packet Header")
  local items = add_header(header, tvb)
  local function value(name) return header_value(tvb, name) end
  if value("HeaderId") ~= HEADER_ID then items.HeaderId:add_proto_expert_info(ef.header_id) end

  local number, count = value("PacketNumber"), value("PacketCount")
  local encoding = value("Encoding")
  if encoding > 1 then
    items.Encoding:add_proto_expert_info(ef.encoding, string.format(
      "Encoding %d: feedcast compresses only under 1, the monitor expands under any nonzero value",
      encoding))
  end

  local release, minor, build = value("ReleaseNumber"), value("MinorVersion"), value("BuildNumber")
  header:add(hf.Version, tvb:range(HEADER.ReleaseNumber.offset, 3),
             string.format("%d.%d.%d", release, minor, build)):set_generated()
  local name = value("ServerName")

  local message_type, stat_scheme = value("MessageType"), value("StatScheme")
  local kind = KINDS[message_type]
  if not kind then
    items.MessageType:add_proto_expert_info(ef.unknown_kind, string.format(
      "MessageType %d is no kind (%s); the records cannot be read", message_type, KIND_RANGE))
  end
  if not SCHEME_NAMES[stat_scheme] then
    items.StatScheme:add_proto_expert_info(ef.unknown_scheme, string.format(
      "StatScheme %d is no scheme (%s)", stat_scheme, SCHEME_RANGE))
  end
  local port = kind and STAT_PORTS[message_type][stat_scheme]
  if port and pinfo.match_uint ~= 0 and pinfo.match_uint == pinfo.dst_port
      and pinfo.dst_port ~= port then
    items.StatScheme:add_proto_expert_info(ef.port, string.format(
      "%s, %s travels on port %d, this packet on %d", kind.name, SCHEME_NAMES[stat_scheme],
      port, pinfo.dst_port))
  end

  local timestamp = value("Timestamp")
  local num = value("NumRecord")
  local record_size = value("RecordSize")
  local size_item = items.RecordSize

  local kind_text = kind and kind.title or string.format("MessageType %d Statistics - ", message_type)
  local scheme_text = SCHEME_NAMES[stat_scheme] or string.format("StatScheme %d", stat_scheme)
  local info = string.format("%s%s, %d record(s)", kind_text, scheme_text, num)
  if encoding ~= 0 then info = info .. ", compressed" end
  if name ~= "" then info = info .. ", from " .. name end
  if count >= 2 then
    info = info .. string.format(" [part %d of %d]", number, count)
    mark_part(root, pinfo, tvb, number, count, timestamp)
  end
  pinfo.cols.info = info
  root:append_text(", " .. info)

  -- The record area.
  local area_length = length - HEADER_SIZE
  local area = root
  if area_length > 0 then area = root:add(hf.Records, tvb:range(HEADER_SIZE)) end
  if not kind then return length end

  -- The layout the monitor reads for this version.
  local v = kind.version_layout
  local layout = kind.layout
  if v and release == v.release_number and minor == v.minor_version then layout = v.layout end
  local layout_size, fields = layout.size, layout.fields
  local stride = record_size
  if feedstats.prefs.monitor_stride or record_size == 0 then stride = layout_size end
  local written = kind.record_size
  if record_size ~= layout_size and record_size ~= written then
    local sizes = tostring(layout_size)
    if written ~= layout_size then sizes = written .. " or " .. sizes end
    size_item:add_proto_expert_info(ef.record_size, string.format(
      "%s records are %s bytes; these are read every %d bytes", kind.name, sizes, stride))
  elseif stride < layout_size and num > 0 then
    size_item:add_proto_expert_info(ef.short_layout, string.format(
      "%d-byte records: the fields from offset %d of the %d-byte layout are not carried; "
      .. "the monitor steps by %d", stride, stride, layout_size, layout_size))
  end

  local table_length = (num * record_size) % 4294967296
  if encoding ~= 0 then
    local data, expanded_length = expand(tvb, area, table_length)
    if data then
      add_records(area, data, 0, expanded_length, kind, fields, stride, num)
      return length
    end
    if encoding == 1 then return length end
    area:add(string.format("Encoding %d: the records are read as plain data", encoding))
  end
  add_records(area, tvb, HEADER_SIZE, area_length, kind, fields, stride, num)
  return length
end

-- A packet of the feed on any other port, known by its identifier.
local function heuristic(tvb, pinfo, tree)
  if tvb:len() < HEADER_SIZE then return false end
  if header_value(tvb, "HeaderId") ~= HEADER_ID then return false end
  feedstats.dissector(tvb, pinfo, tree)
  return true
end

local udp_port = DissectorTable.get("udp.port")
for _, p in ipairs(WIRE.stat_ports) do udp_port:add(p.port, feedstats) end
feedstats:register_heuristic("udp", heuristic)
