-- SPDX-License-Identifier: LGPL-2.1-or-later
-- Wireshark dissector for the norvo PLC link: the ASCII-hex request/answer
-- frames between a panel (the host) and a PLC, over TCP or in capture files
-- of any link written by `norvo --pcap` and `norvo-sim --pcap`.
--
-- Install: copy into a folder Wireshark loads Lua plug-ins from (Help >
-- About > Folders), or run `tshark -X lua_script:norvo.lua ...`.
--
-- Frames, all numbers as upper-case hex digits (offsets in bytes):
--
--   request   0 STX (0x02) | 1 station (2) | 3 command (2) | 5 body | checksum (2) | ETX (0x03)
--     "44" read bits       body: count (2), area (1), element (4 decimal digits)
--     "46" read registers  body: count (2), area (2), element (4)
--     "47" write registers body: count (2), area (2), element (4), 4 digits per register
--   answer    0 STX | 1 station (2) | 3 command (2) | 5 error code (1, "0": none) | data | checksum (2) | ETX
--     data: read bits one digit per bit, read registers 4 digits per register, write none
--
-- The checksum is the sum of every byte before it, modulo 256.
--
-- Answers carry no address: each answer is paired with the oldest request of
-- its conversation still waiting that it fits (station, command, length), as
-- the PLC answers in order. An answer whose request the host had given up on
-- (a later request went out first, or it came after the time-out) is late;
-- one that no request waits for is unowed. The host drops both.

local norvo = Proto("norvo", "Norvo PLC link")

local STX, ETX = 0x02, 0x03
-- The longest frame: a write of 255 registers, 16 + 4 * 255 bytes.
local LONGEST_FRAME = 1036
-- Link type of the capture files (DLT_USER0) and their record header.
local CAPTURE_HEADER = 4

local commands = {
    [0x44] = "read bits",
    [0x46] = "read registers",
    [0x47] = "write registers",
}

-- The error codes norvo-sim answers with and what they mean there, as
-- norvo --trace shows them: a real PLC may mean others by them. Kept equal
-- to protocol/SimulatorErrors.h by a test (tests/protocol).
local errors = {
    [0] = "no error",
    [1] = "norvo-sim: the request's checksum was wrong",
    [2] = "norvo-sim: unknown command",
    [3] = "norvo-sim: malformed request",
    [4] = "norvo-sim: unknown area",
    [5] = "norvo-sim: elements past 9999",
    [6] = "norvo-sim: busy",
}

-- Register areas by their two characters, and the label prefix the norvo
-- command line writes for them; word areas hold 16 bits per register. Kept
-- equal to protocol/Areas.h by a test, as are the bit areas.
local register_areas = {
    RT = { prefix = "TMR", step = 1 },
    RC = { prefix = "CTR", step = 1 },
    R0 = { prefix = "R", step = 1 },
    D0 = { prefix = "D", step = 1 },
    WX = { prefix = "X", step = 16 },
    WY = { prefix = "Y", step = 16 },
    WM = { prefix = "M", step = 16 },
    WS = { prefix = "S", step = 16 },
    WT = { prefix = "T", step = 16 },
    WC = { prefix = "C", step = 16 },
}
local bit_areas = { X = true, Y = true, M = true, S = true, T = true, C = true }

local pf = {
    direction = ProtoField.uint8("norvo.direction", "Direction", base.DEC,
        { [0] = "request (host to PLC)", [1] = "answer (PLC to host)" }),
    station = ProtoField.uint8("norvo.station", "Station", base.DEC),
    command = ProtoField.uint8("norvo.command", "Command", base.HEX, commands),
    count = ProtoField.uint8("norvo.count", "Count", base.DEC),
    area = ProtoField.string("norvo.area", "Area"),
    element = ProtoField.uint16("norvo.element", "Element", base.DEC),
    label = ProtoField.string("norvo.label", "Label"),
    error = ProtoField.uint8("norvo.error", "PLC error", base.DEC, errors),
    register = ProtoField.uint16("norvo.register", "Register", base.HEX),
    bit = ProtoField.uint8("norvo.bit", "Bit", base.DEC),
    checksum = ProtoField.uint8("norvo.checksum", "Checksum", base.HEX),
    checksum_ok = ProtoField.bool("norvo.checksum_ok", "Checksum right"),
    request_in = ProtoField.framenum("norvo.request_in", "Request in"),
    response_in = ProtoField.framenum("norvo.response_in", "Answer in"),
    response_time = ProtoField.relative_time("norvo.response_time", "Response time"),
    late = ProtoField.bool("norvo.late", "Late answer (the host had given up)"),
    unowed = ProtoField.bool("norvo.unowed", "Unowed answer (no request waits for it)"),
    noise = ProtoField.bytes("norvo.noise", "Bytes outside a frame"),
    piece = ProtoField.bytes("norvo.piece", "Piece of a frame"),
    pieces = ProtoField.string("norvo.pieces", "Frame in pieces"),
    cap_link = ProtoField.uint8("norvo.capture.link", "Link", base.DEC, { [1] = "TCP", [2] = "serial line" }),
    cap_connection = ProtoField.uint16("norvo.capture.connection", "Connection", base.DEC),
}
norvo.fields = pf

-- Expert infos: name, summary, group, severity.
local expert_rows = {
    checksum = { "norvo.checksum_bad", "Wrong checksum", "CHECKSUM", "ERROR" },
    malformed = { "norvo.malformed", "Malformed frame", "MALFORMED", "ERROR" },
    noise = { "norvo.noise_bytes", "Bytes outside a frame", "MALFORMED", "WARN" },
    plc_error = { "norvo.plc_error", "The PLC refused the request", "RESPONSE_CODE", "NOTE" },
    late = { "norvo.late_answer", "Late answer: the host had given up on its request", "SEQUENCE", "WARN" },
    unowed = { "norvo.unowed_answer", "Answer that no request waits for", "SEQUENCE", "WARN" },
    mismatch = { "norvo.answer_mismatch", "Answer does not fit its request", "PROTOCOL", "WARN" },
    unanswered = { "norvo.unanswered", "Request without an answer", "SEQUENCE", "NOTE" },
}
local ex = {}
local expert_list = {}
for key, row in pairs(expert_rows) do
    ex[key] = ProtoExpert.new(row[1], row[2], expert.group[row[3]], expert.severity[row[4]])
    expert_list[#expert_list + 1] = ex[key]
end
norvo.experts = expert_list

norvo.prefs.tcp_port = Pref.uint("TCP port", 0, "TCP port of the PLC (0: found by the heuristic only)")
norvo.prefs.timeout_ms = Pref.uint("Answer time-out (ms)", 360,
    "An answer that comes later than this after its request is one the host had given up on")

-- ---------------------------------------------------------------------------
-- Text helpers (frames as Lua strings, 1-based)

local function hex_digit(byte)
    if byte == nil then return nil end
    if byte >= 0x30 and byte <= 0x39 then return byte - 0x30 end
    if byte >= 0x41 and byte <= 0x46 then return byte - 0x41 + 10 end
    return nil
end

-- The value of `n` upper-case hex digits at position `at`, or nil.
local function hex_field(s, at, n)
    if at + n - 1 > #s then return nil end
    local value = 0
    for i = at, at + n - 1 do
        local d = hex_digit(s:byte(i))
        if d == nil then return nil end
        value = value * 16 + d
    end
    return value
end

local function decimal_field(s, at, n)
    local text = s:sub(at, at + n - 1)
    if #text ~= n or not text:match("^%d+$") then return nil end
    return tonumber(text)
end

local function checksum_of(s, n)
    local sum = 0
    for i = 1, n do sum = sum + s:byte(i) end
    return sum % 256
end

local function printable(text)
    return (text:gsub("[^\32-\126]", "?"))
end

-- ---------------------------------------------------------------------------
-- Cutting a byte stream into frames: from a start byte to the next end
-- byte. A start byte before any end byte cuts the frame short there.
--
-- Returns kind, length: "frame", "noise" (no start byte), "truncated"
-- (another start byte came first), "overlong" (no end byte within the
-- longest frame) or "incomplete" (more bytes needed).

local function cut(s, at)
    if s:byte(at) ~= STX then
        local next_start = s:find("\2", at, true)
        return "noise", (next_start or (#s + 1)) - at
    end
    local stop = s:find("[\2\3]", at + 1)
    if stop == nil then
        if #s - at + 1 > LONGEST_FRAME then return "overlong", #s - at + 1 end
        return "incomplete", #s - at + 1
    end
    if stop - at + 1 > LONGEST_FRAME then return "overlong", stop - at end
    if s:byte(stop) == STX then return "truncated", stop - at end
    return "frame", stop - at + 1
end

-- ---------------------------------------------------------------------------
-- Conversations: requests waiting for answers, and what the first pass
-- found out about each frame (kept for later passes, the GUI re-dissects).

local conversations = {}
local verdicts = {}   -- key: "packet:offset:length" -> pairing of that frame
local records = {}    -- capture-file packet number -> frames completed in it
local streams = {}    -- capture-file stream (connection, direction) -> pending bytes

local function reset_state()
    conversations, verdicts, records, streams = {}, {}, {}, {}
end

function norvo.init()
    reset_state()
end

local function conversation(key)
    local c = conversations[key]
    if c == nil then
        c = { waiting = {}, requests = 0, host = nil }
        conversations[key] = c
    end
    return c
end

local function timeout_s()
    return norvo.prefs.timeout_ms / 1000
end

-- The data characters a good answer to `request` carries.
local function answer_data_chars(request)
    if request.count == nil then return nil end
    if request.command == 0x44 then return request.count end
    if request.command == 0x46 then return 4 * request.count end
    if request.command == 0x47 then return 0 end
    return nil
end

local function fits(request, answer)
    if request.station ~= answer.station or request.command ~= answer.command then
        return false
    end
    if answer.error ~= 0 then return true end
    local want = answer_data_chars(request)
    return want == nil or want == answer.data_chars
end

-- First pass: the request joins the queue of its conversation.
local function note_request(c, request, pinfo)
    c.requests = c.requests + 1
    request.seq = c.requests
    request.packet = pinfo.number
    request.time = pinfo.abs_ts
    table.insert(c.waiting, request)
    return { request = request }
end

-- First pass: the answer takes the oldest waiting request it fits; those
-- before it got no answer of their own.
local function note_answer(c, answer, pinfo)
    local verdict = { unowed = true }
    for i, request in ipairs(c.waiting) do
        if fits(request, answer) then
            for _ = 1, i do table.remove(c.waiting, 1) end
            local elapsed = pinfo.abs_ts - request.time
            request.answer_packet = pinfo.number
            verdict = {
                request = request,
                response_time = elapsed,
                late = request.seq ~= c.requests or elapsed > timeout_s(),
            }
            break
        end
    end
    return verdict
end

-- ---------------------------------------------------------------------------
-- One frame into the tree

local function label_text(prefix, number, step, index)
    if prefix == nil or number == nil then return nil end
    return prefix .. tostring(number + step * index)
end

-- A register under its label, in hex and decimal (signed too when it
-- reads negative); returns its hex for the Info column.
local function add_register(tree, range, value, label)
    tree:add(pf.register, range, value):set_text(
        string.format("%s: 0x%04X (%d%s)", label or "register", value, value,
            value >= 0x8000 and (", " .. (value - 0x10000)) or ""))
    return string.format("0x%04X", value)
end

-- The request body: count, area, element and label; what a write carries.
local function request_body(s, tvb, tree, info, f)
    local area_chars = f.command == 0x44 and 1 or 2
    local count = hex_field(s, 6, 2)
    if count ~= nil then
        tree:add(pf.count, tvb(5, 2), count)
        f.count = count
    end
    local area = s:sub(8, 7 + area_chars)
    local number = decimal_field(s, 8 + area_chars, 4)
    if #area == area_chars then tree:add(pf.area, tvb(7, area_chars), printable(area)) end
    if number ~= nil then tree:add(pf.element, tvb(7 + area_chars, 4), number) end
    local prefix, step
    if area_chars == 1 then
        prefix, step = bit_areas[area] and area or nil, 1
    elseif register_areas[area] then
        prefix, step = register_areas[area].prefix, register_areas[area].step
    end
    f.prefix, f.number, f.step = prefix, number, step
    f.label = label_text(prefix, number, step, 0)
    if f.label then
        tree:add(pf.label, tvb(7, area_chars + 4), f.label)
    else
        tree:add_proto_expert_info(ex.malformed, "No area or element the PLC knows")
    end

    local body_end = #s - 3           -- last body position
    local data_at = 12 + area_chars   -- first data position of a write
    local want = data_at - 1
    if f.command == 0x47 and count ~= nil then
        want = want + 4 * count
        local registers = {}
        for i = 0, count - 1 do
            local at = data_at + 4 * i
            if at + 3 > body_end then break end
            local value = hex_field(s, at, 4)
            if value ~= nil then
                registers[#registers + 1] = add_register(tree, tvb(at - 1, 4), value,
                    label_text(prefix, number, step, i))
            end
        end
        info[#info + 1] = table.concat(registers, " ")
    end
    if body_end ~= want or count == nil or number == nil then
        tree:add_proto_expert_info(ex.malformed, "The body does not fit the command")
    end
end

-- The answer's error code and data, judged against its request when known.
local function answer_body(s, tvb, tree, info, f, request)
    local code = hex_digit(s:byte(6))
    if code == nil then
        tree:add_proto_expert_info(ex.malformed, "No error code")
        return
    end
    f.error = code
    local item = tree:add(pf.error, tvb(5, 1), code)
    local data_chars = #s - 9
    f.data_chars = data_chars
    if code ~= 0 then
        item:add_proto_expert_info(ex.plc_error,
            "PLC error code " .. code .. " (" .. (errors[code] or "no known meaning") .. ")")
        info[#info + 1] = "error " .. code .. " (" .. (errors[code] or "?") .. ")"
        return
    end
    local prefix, number, step = nil, nil, 1
    if request then prefix, number, step = request.prefix, request.number, request.step end
    local values = {}
    if f.command == 0x44 then
        for i = 0, data_chars - 1 do
            local c = s:byte(7 + i)
            local bit = (c == 0x30 and 0) or (c == 0x31 and 1) or nil
            if bit == nil then
                tree:add_proto_expert_info(ex.malformed, "A bit that is neither 0 nor 1")
                break
            end
            tree:add(pf.bit, tvb(6 + i, 1), bit):set_text(
                string.format("%s: %d", label_text(prefix, number, 1, i) or "bit", bit))
            values[#values + 1] = tostring(bit)
        end
    elseif f.command == 0x46 then
        if data_chars % 4 ~= 0 then
            tree:add_proto_expert_info(ex.malformed, "Register data not in groups of four digits")
        end
        for i = 0, math.floor(data_chars / 4) - 1 do
            local value = hex_field(s, 7 + 4 * i, 4)
            if value == nil then
                tree:add_proto_expert_info(ex.malformed, "A register that is not four hex digits")
                break
            end
            values[#values + 1] = add_register(tree, tvb(6 + 4 * i, 4), value,
                label_text(prefix, number, step, i))
        end
    end
    if #values > 0 then info[#info + 1] = table.concat(values, " ") end
    local want = request and answer_data_chars(request)
    if want and want ~= data_chars then
        tree:add_proto_expert_info(ex.mismatch,
            string.format("%d data characters, the request asks for %d", data_chars, want))
    end
end

-- Dissects one frame (from its start byte to its end byte) at `tvb`
-- offset 0. `role`: 0 request, 1 answer, nil to judge by the frame.
local function dissect_frame(tvb, pinfo, tree, c, key, role, first_piece)
    local s = tvb:raw(0, tvb:len())
    local item = tree:add(norvo, tvb())
    if first_piece then
        item:add(pf.pieces, string.format("from packet %d to packet %d", first_piece, pinfo.number)):set_generated()
    end
    local f = {}
    local info = {}

    if #s < 8 then
        item:add_proto_expert_info(ex.malformed, "A frame of " .. #s .. " bytes is too short")
        item:append_text(": too short")
        return "malformed frame"
    end
    f.station = hex_field(s, 2, 2)
    f.command = hex_field(s, 4, 2)
    if role == nil then
        -- A request's body starts with a count and an area letter; an
        -- answer's with an error code. Request lengths: 15 (bits),
        -- 16 (registers), 16 + 4n (write); answers: 9 + data.
        local len = #s
        local looks_request = (f.command == 0x44 and len == 15 and bit_areas[s:sub(8, 8)] ~= nil)
            or (f.command == 0x46 and len == 16)
            or (f.command == 0x47 and len >= 20 and (len - 16) % 4 == 0)
        role = looks_request and 0 or 1
    end
    item:add(pf.direction, role):set_generated()
    if f.station ~= nil then item:add(pf.station, tvb(1, 2), f.station)
    else item:add_proto_expert_info(ex.malformed, "Station is not two hex digits") end
    if f.command ~= nil then item:add(pf.command, tvb(3, 2), f.command)
    else item:add_proto_expert_info(ex.malformed, "Command is not two hex digits") end

    local verdict = verdicts[key]
    if role == 0 then
        if f.command ~= nil and commands[f.command] then
            request_body(s, tvb, item, info, f)
        elseif #s > 8 then
            item:add_proto_expert_info(ex.malformed, "Unknown command " .. printable(s:sub(4, 5)))
        end
        if verdict == nil and not pinfo.visited then
            verdict = note_request(c, f, pinfo)
            verdicts[key] = verdict
        end
        if verdict and verdict.request.answer_packet then
            item:add(pf.response_in, verdict.request.answer_packet):set_generated()
        elseif verdict and pinfo.visited then
            item:add_proto_expert_info(ex.unanswered)
        end
    else
        if #s < 9 then
            item:add_proto_expert_info(ex.malformed, "An answer of " .. #s .. " bytes is too short")
        else
            f.error = hex_digit(s:byte(6))
            f.data_chars = #s - 9
            if verdict == nil and not pinfo.visited and f.station and f.command and f.error then
                verdict = note_answer(c, f, pinfo)
                verdicts[key] = verdict
            end
            local request = verdict and verdict.request
            if request then
                if request.label then item:add(pf.label, request.label):set_generated() end
                if request.count then item:add(pf.count, request.count):set_generated() end
            end
            answer_body(s, tvb, item, info, f, request)
            if request then
                item:add(pf.request_in, request.packet):set_generated()
                local secs = math.floor(verdict.response_time)
                local nsecs = math.floor((verdict.response_time - secs) * 1e9 + 0.5)
                item:add(pf.response_time, NSTime.new(secs, nsecs)):set_generated()
                local late = item:add(pf.late, verdict.late)
                late:set_generated()
                if verdict.late then late:add_proto_expert_info(ex.late) end
                f.label = request.label
            elseif verdict then
                local unowed = item:add(pf.unowed, true)
                unowed:set_generated()
                unowed:add_proto_expert_info(ex.unowed)
            end
        end
    end

    -- Checksum: the sum of every byte before it.
    local sent = hex_field(s, #s - 2, 2)
    local right = checksum_of(s, #s - 3)
    local ok = sent == right
    if sent ~= nil then
        item:add(pf.checksum, tvb(#s - 3, 2), sent)
    end
    local check = item:add(pf.checksum_ok, tvb(#s - 3, 2), ok)
    check:set_generated()
    if not ok then
        check:add_proto_expert_info(ex.checksum,
            string.format("Wrong checksum %s, should be %02X", printable(s:sub(#s - 2, #s - 1)), right))
    end

    local summary = string.format("%s %s, station %s%s",
        role == 0 and "Request" or "Answer",
        f.command and (commands[f.command] or string.format("command %02X", f.command)) or "?",
        f.station and tostring(f.station) or "?",
        f.label and (", " .. f.label) or "")
    if f.count and role == 0 then summary = summary .. ", count " .. f.count end
    if #info > 0 then summary = summary .. ": " .. table.concat(info, "; ") end
    if not ok then summary = summary .. " [wrong checksum]" end
    if verdict and verdict.late then summary = summary .. " [late]" end
    if verdict and verdict.unowed then summary = summary .. " [unowed]" end
    item:append_text(", " .. summary)
    return summary
end

-- A stretch of bytes that is no frame, or a frame cut short.
local function dissect_broken(tvb, tree, kind)
    local item = tree:add(norvo, tvb())
    if kind == "noise" then
        item:add(pf.noise, tvb())
        item:add_proto_expert_info(ex.noise)
        item:append_text(", bytes outside a frame")
        return "bytes outside a frame"
    end
    local why = kind == "truncated" and "a frame cut short by the next start byte"
        or "no end byte within the longest frame"
    item:add(pf.piece, tvb())
    item:add_proto_expert_info(ex.malformed, "Malformed frame: " .. why)
    item:append_text(", malformed: " .. why)
    return "malformed frame"
end

local function set_info(pinfo, texts)
    if #texts == 0 then return end
    pinfo.cols.protocol = "NORVO"
    pinfo.cols.info = table.concat(texts, " | ")
end

-- ---------------------------------------------------------------------------
-- TCP: frames cut from the byte stream, reassembled across segments by TCP.

local function endpoint(address, port)
    return tostring(address) .. "/" .. tostring(port)
end

local function dissect_tcp(tvb, pinfo, tree)
    local s = tvb:raw(0, tvb:len())
    local src = endpoint(pinfo.src, pinfo.src_port)
    local dst = endpoint(pinfo.dst, pinfo.dst_port)
    local c = conversation(src < dst and (src .. "-" .. dst) or (dst .. "-" .. src))
    local port = norvo.prefs.tcp_port
    local texts = {}
    local at = 1
    while at <= #s do
        local kind, n = cut(s, at)
        if kind == "incomplete" then
            pinfo.desegment_offset = at - 1
            pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
            break
        end
        local part = tvb(at - 1, n):tvb()
        if kind == "frame" then
            -- Who is the host: the port preference, else the side that sent
            -- the first request seen, else the frame's own shape.
            local role
            if port ~= 0 and pinfo.dst_port == port then role = 0
            elseif port ~= 0 and pinfo.src_port == port then role = 1
            elseif c.host then role = (c.host == src) and 0 or 1 end
            local key = pinfo.number .. ":" .. (at - 1) .. ":" .. n
            texts[#texts + 1] = dissect_frame(part, pinfo, tree, c, key, role)
            if c.host == nil and verdicts[key] and verdicts[key].request and verdicts[key].request.packet == pinfo.number then
                c.host = src
            end
        else
            texts[#texts + 1] = dissect_broken(part, tree, kind)
        end
        at = at + n
    end
    set_info(pinfo, texts)
    return tvb:len()
end

norvo.dissector = dissect_tcp

local function looks_like_norvo(tvb)
    if tvb:len() < 5 then return false end
    local s = tvb:raw(0, 5)
    return s:byte(1) == STX and hex_field(s, 2, 2) ~= nil
        and commands[hex_field(s, 4, 2) or -1] ~= nil
end

local function heuristic(tvb, pinfo, tree)
    if not looks_like_norvo(tvb) then return false end
    pinfo.conversation = norvo
    dissect_tcp(tvb, pinfo, tree)
    return true
end
norvo:register_heuristic("tcp", heuristic)

local tcp_ports = DissectorTable.get("tcp.port")
tcp_ports:add_for_decode_as(norvo)
local registered_port = 0
function norvo.prefs_changed()
    if registered_port ~= 0 then tcp_ports:remove(registered_port, norvo) end
    registered_port = norvo.prefs.tcp_port
    if registered_port ~= 0 then tcp_ports:add(registered_port, norvo) end
end

-- ---------------------------------------------------------------------------
-- Capture files of any link (DLT_USER0): one record per piece as it went
-- over the line, after a 4-byte header (who sent it, link, connection).
-- Frames that came in pieces are put together here, shown in the record
-- that completes them.

local capture = Proto("norvo_capture", "Norvo link capture")

local function dissect_capture(tvb, pinfo, tree)
    pinfo.cols.protocol = "NORVO"
    local head = tree:add(capture, tvb(0, math.min(tvb:len(), CAPTURE_HEADER)))
    if tvb:len() < CAPTURE_HEADER then
        head:add_proto_expert_info(ex.malformed, "Record shorter than its header")
        pinfo.cols.info = "malformed record"
        return tvb:len()
    end
    local from = tvb(0, 1):uint()
    local connection = tvb(2, 2):uint()
    head:add(pf.direction, tvb(0, 1))
    head:add(pf.cap_link, tvb(1, 1))
    head:add(pf.cap_connection, tvb(2, 2))
    pinfo.cols.src = from == 0 and "host" or "PLC"
    pinfo.cols.dst = from == 0 and "PLC" or "host"
    local role = from == 0 and 0 or 1
    local c = conversation("capture/" .. connection)
    local payload = tvb:len() > CAPTURE_HEADER and tvb:raw(CAPTURE_HEADER, tvb:len() - CAPTURE_HEADER) or ""

    -- First pass: the record's bytes join what its stream holds; complete
    -- frames (and stretches that are none) are noted on this record.
    if not pinfo.visited and records[pinfo.number] == nil then
        local stream_key = connection .. "/" .. from
        local stream = streams[stream_key] or { bytes = "", since = nil }
        local held = #stream.bytes
        local s = stream.bytes .. payload
        local done = {}
        local at = 1
        while at <= #s do
            local kind, n = cut(s, at)
            if kind == "incomplete" then break end
            done[#done + 1] = {
                kind = kind,
                bytes = s:sub(at, at + n - 1),
                -- Where it lies in this record's bytes, when wholly inside.
                offset = at > held and (at - 1 - held) or nil,
                since = at <= held and stream.since or nil,
            }
            at = at + n
        end
        local rest = s:sub(at)
        streams[stream_key] = { bytes = rest, since = (#rest > 0) and ((at <= held) and stream.since or pinfo.number) or nil }
        records[pinfo.number] = { frames = done, holds = #rest > 0 }
    end

    local record = records[pinfo.number] or { frames = {} }
    local texts = {}
    for i, frame in ipairs(record.frames) do
        local part
        if frame.offset then
            part = tvb(CAPTURE_HEADER + frame.offset, #frame.bytes):tvb()
        else
            part = ByteArray.new(frame.bytes, true):tvb("Frame in pieces")
        end
        if frame.kind == "frame" then
            texts[#texts + 1] = dissect_frame(part, pinfo, tree, c, pinfo.number .. ":" .. i, role,
                frame.offset == nil and (frame.since or pinfo.number) or nil)
        else
            texts[#texts + 1] = dissect_broken(part, tree, frame.kind)
        end
    end
    if record.holds then
        tree:add(pf.piece, tvb(CAPTURE_HEADER)):set_text("Piece of a frame, completed by a later record")
        texts[#texts + 1] = "piece of a frame"
    end
    set_info(pinfo, texts)
    if #texts == 0 then pinfo.cols.info = "empty record" end
    return tvb:len()
end
capture.dissector = dissect_capture

local encaps = wtap_encaps or wtap
DissectorTable.get("wtap_encap"):add(encaps.USER0, capture)
