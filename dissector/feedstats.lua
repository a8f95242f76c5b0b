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

local HEADER_SIZE = 68
-- The monitor receives into 65,536 bytes: the room behind the header.
local RECORD_ROOM = 65536 - HEADER_SIZE
local HEADER_ID = "KEBO"

-- Byte orders and the ways a field is shown.
local BE, LE = "BE", "LE"
local DEC, HEX, HEXBYTE, HIDDEN = "DEC", "HEX", "HEXBYTE", "HIDDEN"
local TEXT, NAMED, TIME = "TEXT", "NAMED", "TIME"

-- The Packet Header, mirroring src/packet/header.h: name, offset, width,
-- shown as.  TEXT is UTF-16 text up to the first zero unit, NAMED a number
-- that the message catalogue names, TIME seconds since 1970; every other
-- field is an unsigned big-endian number, DEC or HEX, and HIDDEN is shown here
-- in hex.
local HEADER_FIELDS = {
  { "HeaderId", 0, 8, TEXT },
  { "PacketNumber", 8, 1, DEC },
  { "PacketCount", 9, 1, DEC },
  { "Reserved1", 10, 1, HEX },
  { "Reserved2", 11, 1, HEX },
  { "Encoding", 12, 1, DEC },
  { "ReleaseNumber", 13, 1, DEC },
  { "MinorVersion", 14, 1, DEC },
  { "BuildNumber", 15, 1, DEC },
  { "ServerName", 16, 40, TEXT },
  { "NameTerminator", 56, 2, HIDDEN },
  { "MessageType", 58, 1, NAMED },
  { "StatScheme", 59, 1, NAMED },
  { "Timestamp", 60, 4, TIME },
  { "NumRecord", 64, 2, DEC },
  { "RecordSize", 66, 2, DEC },
}
local HEADER = {}
for _, f in ipairs(HEADER_FIELDS) do HEADER[f[1]] = f end

-- The six record layouts, one table per kind, mirroring
-- src/packet/record_layouts.cpp: key stem, offset, width, byte order, shown as.
-- DEC is signed decimal, HEX upper-case hexadecimal, HEXBYTE the hex of the
-- field's first byte alone, HIDDEN not shown by the monitor.
local APPLICATION_FIELDS = {
  { "ApplicationID", 0, 4, BE, DEC },
  { "CallsAbandoned", 4, 4, BE, DEC },
  { "CallsAbandonedAfterThreshold", 8, 4, BE, DEC },
  { "CallsAbandonedDelay", 12, 4, BE, DEC },
  { "CallsAnswered", 16, 4, BE, DEC },
  { "CallsAnsweredAfterThreshold", 20, 4, BE, DEC },
  { "CallsAnsweredDelay", 24, 4, BE, DEC },
  { "CallsWaiting", 28, 4, BE, DEC },
  { "MaxWaitingTime", 32, 4, BE, DEC },
  { "WaitingTime", 36, 4, BE, DEC },
  { "CallsAnswerDelayAtSkillset", 40, 4, BE, DEC },
  { "CallsGivenTerminationTreatment", 44, 4, BE, DEC },
  { "CallsOffered", 48, 4, BE, DEC },
  { "TimeBeforeInterflow", 52, 4, BE, DEC },
  { "NetworkOutCalls", 56, 4, BE, DEC },
  { "NetworkOutCallsAbandoned", 60, 4, BE, DEC },
  { "NetworkOutCallsAbandonedDelay", 64, 4, BE, DEC },
  { "NetworkOutCallsAnswered", 68, 4, BE, DEC },
  { "NetworkOutCallsAnsweredDelay", 72, 4, BE, DEC },
  { "NetworkOutCallsWaiting", 76, 4, BE, DEC },
  { "NetworkOutCallsRequested", 80, 4, BE, DEC },
}

local SKILLSET_FIELDS = {
  { "SkillsetID", 0, 4, BE, DEC },
  { "AgentsAvailable", 4, 4, BE, DEC },
  { "AgentsInService", 8, 4, BE, DEC },
  { "AgentsOnSkillsetCall", 12, 4, BE, DEC },
  { "AgentsNotReady", 16, 4, BE, DEC },
  { "CallsWaiting", 20, 4, BE, DEC },
  { "LongestWaitingTimeSinceLastCall", 24, 4, BE, DEC },
  { "MaxWaitingTime", 28, 4, BE, DEC },
  { "WaitingTime", 32, 4, BE, DEC },
  { "ExpectedWaitTime", 36, 4, BE, DEC },
  { "CallsAnsweredAfterThreshold", 40, 4, BE, DEC },
  { "LongestWaitingTimeSinceLogin", 44, 4, BE, DEC },
  { "AgentsOnDNCalls", 48, 4, BE, DEC },
  { "SkillsetState", 52, 4, BE, DEC },
  { "AgentsUnavailable", 56, 4, BE, DEC },
  { "NetworkCallsWaiting", 60, 4, BE, DEC },
  { "NetworkCallsAnswered", 64, 4, BE, DEC },
  { "QueuedCallAnswered", 68, 4, BE, DEC },
  { "TotalCallsAnsweredDelay", 72, 4, BE, DEC },
  { "TotalCallsAnswered", 76, 4, BE, DEC },
  { "AgentOnNetworkSkillsetCall", 80, 4, BE, DEC },
  { "AgentOnOtherSkillsetCall", 84, 4, BE, DEC },
  { "AgentOnACDDNCall", 88, 4, BE, DEC },
  { "AgentOnNACDDNCall", 92, 4, BE, DEC },
  { "CallsOffered", 96, 4, BE, DEC },
  { "SkillsetAbandoned", 100, 4, BE, DEC },
  { "SkillsetAbandonedDelay", 104, 4, BE, DEC },
  { "SkillsetAbandonedAfterThreshold", 108, 4, BE, DEC },
  { "NetworkCallsOffered", 112, 4, BE, DEC },
}

-- The full Agent layout; the 104-byte form is all of it but TimeInNRRC.
local AGENT_FIELDS = {
  { "AgentID_High", 0, 4, BE, HEX },
  { "AgentID", 4, 4, BE, HEX },
  { "State", 8, 4, BE, DEC },
  { "SupervisorID_High", 12, 4, BE, HIDDEN },
  { "SupervisorID", 16, 4, BE, HEX },
  { "TimeInState", 20, 4, BE, DEC },
  { "AnsweringSkillset", 24, 4, BE, DEC },
  { "DNInTimeInState", 28, 4, BE, DEC },
  { "DNOutTimeInState", 32, 4, BE, DEC },
  { "SupervisorUserID", 36, 16, BE, HIDDEN },
  { "PositionID", 52, 4, BE, DEC },
  { "NotReadyReasonCode_High", 56, 4, BE, HEX },
  { "NotReadyReasonCode_Low", 60, 4, BE, HEX },
  { "DNOutCallNumber_High", 64, 4, BE, HEX },
  { "DNOutCallNumber_Low", 68, 4, BE, HEX },
  { "SkillsetCallsAnswer", 72, 4, BE, DEC },
  { "DNInCallsAnswer", 76, 4, BE, DEC },
  { "DNOutCallsMade", 80, 4, BE, DEC },
  { "AnsweringApplication", 84, 4, BE, DEC },
  { "AnsweringCDN_High", 88, 4, BE, HEX },
  { "AnsweringCDN_Low", 92, 4, BE, HEX },
  { "AnsweringDNIS_High", 96, 4, BE, HEX },
  { "AnsweringDNIS_Low", 100, 4, BE, HEX },
  { "TimeInNRRC", 104, 4, BE, DEC },
}

local NODAL_FIELDS = {
  { "DummyKey", 0, 4, BE, DEC },
  { "CallsOffered", 4, 4, BE, DEC },
  { "CallsAnswered", 8, 4, BE, DEC },
  { "CallsWaiting", 12, 4, BE, DEC },
  { "NetworkCallsOffered", 16, 4, BE, DEC },
  { "NetworkCallsAnswered", 20, 4, BE, DEC },
  { "NetworkCallsWaiting", 24, 4, BE, DEC },
}

local IVR_FIELDS = {
  { "IVRQueueID", 0, 4, BE, HEX },
  { "CallsWaiting", 4, 4, BE, DEC },
  { "CallsAnswered", 8, 4, BE, DEC },
  { "CallsAnsweredDelay", 12, 4, BE, DEC },
  { "CallsAnsweredAfterThreshold", 16, 4, BE, DEC },
  { "CallsNotTreated", 20, 4, BE, DEC },
  { "CallsNotTreatedDelay", 24, 4, BE, DEC },
  { "CallsNotTreatedAfterThreshold", 28, 4, BE, DEC },
}

local ROUTE_FIELDS = {
  { "RouteNumber", 0, 4, BE, DEC },
  { "AllTrunksBusy", 4, 2, LE, HEXBYTE },
  { "AllTrunksBusyTime", 6, 4, BE, DEC },
}

-- The kinds by MessageType: section name, filter prefix, the monitor's
-- record size (the stride it steps by), the size feedcast writes, the fields,
-- and the longer layout the monitor reads for one version.
local KINDS = {
  [1] = { name = "Application", prefix = "application", size = 84, written = 84, fields = APPLICATION_FIELDS },
  [2] = { name = "Skillset", prefix = "skillset", size = 116, written = 116, fields = SKILLSET_FIELDS },
  [3] = { name = "Agent", prefix = "agent", size = 104, written = 84, fields = AGENT_FIELDS,
          long_layout = { release = 8, minor = 4, size = 108 } },
  [4] = { name = "Nodal", prefix = "nodal", size = 28, written = 28, fields = NODAL_FIELDS },
  [5] = { name = "IVR", prefix = "ivr", size = 32, written = 32, fields = IVR_FIELDS },
  [6] = { name = "Route", prefix = "route", size = 10, written = 10, fields = ROUTE_FIELDS },
}

local KIND_NAMES, SCHEME_NAMES = {}, { [0] = "Interval to Date", [1] = "Moving Window" }
for type, kind in pairs(KINDS) do KIND_NAMES[type] = kind.name end

-- The Stat Port Table.
local function stat_port(message_type, stat_scheme)
  return 6020 + 20 * (message_type - 1) + 10 * stat_scheme
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
  local name, width, shown = f[1], f[3], f[4]
  local abbrev = "feedstats." .. name
  if shown == TEXT then
    hf[name] = ProtoField.string(abbrev, name)
  elseif shown == TIME then
    hf[name] = ProtoField.absolute_time(abbrev, name, base.LOCAL)
  else
    local shown_base = (shown == HEX or shown == HIDDEN) and base.HEX or base.DEC
    hf[name] = ProtoField["uint" .. 8 * width](abbrev, name, shown_base, VALUE_NAMES[name])
  end
end

-- One field per kind and key stem: feedstats.<kind>.<KeyStem>.  The monitor's
-- decimal is signed, its hex unsigned; the two fields it hides are shown
-- here too: SupervisorID_High in hex like its partner, SupervisorUserID as
-- the number in its first four bytes.
local record_hf = {}
for _, kind in pairs(KINDS) do
  record_hf[kind.prefix] = {}
  for _, f in ipairs(kind.fields) do
    local name, width, shown = f[1], f[3], f[5]
    local abbrev = "feedstats." .. kind.prefix .. "." .. name
    local field
    if shown == DEC then
      field = ProtoField.int32(abbrev, name, base.DEC)
    elseif shown == HEXBYTE then
      field = ProtoField.uint16(abbrev, name, base.HEX)
    elseif shown == HIDDEN and width > 4 then
      field = ProtoField.uint32(abbrev, name, base.DEC)
    else
      field = ProtoField.uint32(abbrev, name, base.HEX)
    end
    record_hf[kind.prefix][name] = field
  end
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
  header_id = ProtoExpert.new("feedstats.header_id", "HeaderId is not KEBO",
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

feedstats.prefs.monitor_stride = Pref.bool(
  "Step through records like the monitor", false,
  "Read record i at 68 + i x the layout's size (Agent: 104, or 108 for version 8.4) "
  .. "as feedwatch does, instead of at 68 + i x RecordSize")

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
    local name, offset, width, order, shown = f[1], f[2], f[3], f[4], f[5]
    if offset + width <= limit then
      local range = tvb:range(at + offset, width)
      if order == LE then
        local item = tree:add_le(hfs[name], range)
        if shown == HEXBYTE then
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
  local offset, width, shown = f[2], f[3], f[4]
  if shown ~= TEXT then return tvb:range(offset, width):uint() end
  local units = 0
  while units < width / 2 and tvb:range(offset + 2 * units, 2):uint() ~= 0 do units = units + 1 end
  if units == 0 then return "" end
  return tvb:range(offset, 2 * units):ustring()
end

-- Adds every header field that lies within the data; returns the items by name.
local function add_header(tree, tvb)
  local items = {}
  for _, f in ipairs(HEADER_FIELDS) do
    local name, offset, width, shown = f[1], f[2], f[3], f[4]
    if offset + width <= tvb:len() then
      local range = tvb:range(offset, width)
      if shown == TEXT then
        items[name] = tree:add(hf[name], range, header_value(tvb, name))
      elseif shown == TIME then
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
  local part = tree:add(hf.Part, tvb:range(HEADER.PacketNumber[2], 2), string.format(
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
  header:add(hf.Version, tvb:range(HEADER.ReleaseNumber[2], 3),
             string.format("%d.%d.%d", release, minor, build)):set_generated()
  local name = value("ServerName")

  local message_type, stat_scheme = value("MessageType"), value("StatScheme")
  local kind = KINDS[message_type]
  if not kind then
    items.MessageType:add_proto_expert_info(ef.unknown_kind, string.format(
      "MessageType %d is no kind (1 to 6); the records cannot be read", message_type))
  end
  if not SCHEME_NAMES[stat_scheme] then
    items.StatScheme:add_proto_expert_info(ef.unknown_scheme, string.format(
      "StatScheme %d is no scheme (0 or 1)", stat_scheme))
  end
  if kind and SCHEME_NAMES[stat_scheme] and pinfo.match_uint ~= 0
      and pinfo.match_uint == pinfo.dst_port
      and pinfo.dst_port ~= stat_port(message_type, stat_scheme) then
    items.StatScheme:add_proto_expert_info(ef.port, string.format(
      "%s, %s travels on port %d, this packet on %d", kind.name, SCHEME_NAMES[stat_scheme],
      stat_port(message_type, stat_scheme), pinfo.dst_port))
  end

  local timestamp = value("Timestamp")
  local num = value("NumRecord")
  local record_size = value("RecordSize")
  local size_item = items.RecordSize

  local kind_text = kind and kind.name or string.format("MessageType %d", message_type)
  local scheme_text = SCHEME_NAMES[stat_scheme] or string.format("StatScheme %d", stat_scheme)
  local info = string.format("%s Statistics - %s, %d record(s)", kind_text, scheme_text, num)
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

  local long_layout = kind.long_layout
  local long = long_layout and release == long_layout.release and minor == long_layout.minor
  local layout_size = long and long_layout.size or kind.size
  local fields = kind.fields
  if long_layout and not long then
    fields = {}
    for _, f in ipairs(kind.fields) do
      if f[2] + f[3] <= layout_size then fields[#fields + 1] = f end
    end
  end
  local stride = record_size
  if feedstats.prefs.monitor_stride or record_size == 0 then stride = layout_size end
  if record_size ~= layout_size and record_size ~= kind.written then
    local sizes = tostring(layout_size)
    if kind.written ~= layout_size then sizes = kind.written .. " or " .. sizes end
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
for message_type = 1, 6 do
  for stat_scheme = 0, 1 do
    udp_port:add(stat_port(message_type, stat_scheme), feedstats)
  end
end
feedstats:register_heuristic("udp", heuristic)
