-- Wireshark dissector for the firmware upgrade stream: 1060-byte UDP datagrams to
-- 224.0.0.119:13456, a 36-byte header (every field little-endian) and one 1024-byte chunk.
--
--   offset 0  CRC        CRC-32 without final inversion of bytes 4 .. 35 + data length
--          4  magic      0xB0A555AA
--          8  type       image type (1: plain image)
--          9  policy     upgrade policy (1)
--         10  force      force-upgrade flag, 16 bits
--         12  seq        datagram number within the pass, from 0
--         16  count      datagrams per pass
--         20  length     file bytes in this datagram (1024, less in the last one)
--         24  total      file bytes per pass
--         28  filecrc    CRC-32 without final inversion of the whole file
--         32  reserved   0
--         36  data       the chunk, zeros after `length` bytes
--
-- Use: tshark -X lua_script:upgstream.lua -r capture.pcap, or copy this file into
-- Wireshark's plugin folder. Filter bad datagrams with  upgstream.crc.status == "bad".

local HEADER_SIZE = 36
local CHUNK_SIZE = 1024
local DATAGRAM_SIZE = HEADER_SIZE + CHUNK_SIZE
local MAGIC = 0xB0A555AA
local PORT = 13456

local proto = Proto("upgstream", "Firmware upgrade stream")

local f = {
  crc = ProtoField.uint32("upgstream.crc", "Header CRC", base.HEX),
  crc_status = ProtoField.string("upgstream.crc.status", "Header CRC status"),
  crc_computed = ProtoField.uint32("upgstream.crc.computed", "Computed header CRC", base.HEX),
  magic = ProtoField.uint32("upgstream.magic", "Magic", base.HEX),
  type = ProtoField.uint8("upgstream.type", "Image type", base.DEC, { [1] = "plain image" }),
  policy = ProtoField.uint8("upgstream.policy", "Upgrade policy", base.DEC),
  force = ProtoField.uint16("upgstream.force", "Force upgrade", base.DEC, { [0] = "no", [1] = "yes" }),
  seq = ProtoField.uint32("upgstream.seq", "Datagram number", base.DEC),
  count = ProtoField.uint32("upgstream.count", "Datagrams per pass", base.DEC),
  length = ProtoField.uint32("upgstream.length", "Data length", base.DEC),
  total = ProtoField.uint32("upgstream.total", "Total length", base.DEC),
  filecrc = ProtoField.uint32("upgstream.filecrc", "File CRC", base.HEX),
  reserved = ProtoField.uint32("upgstream.reserved", "Reserved", base.HEX),
  data = ProtoField.bytes("upgstream.data", "Chunk data"),
  padding = ProtoField.bytes("upgstream.padding", "Padding"),
}
proto.fields = { f.crc, f.crc_status, f.crc_computed, f.magic, f.type, f.policy, f.force, f.seq, f.count,
                 f.length, f.total, f.filecrc, f.reserved, f.data, f.padding }

local e_bad_crc = ProtoExpert.new("upgstream.crc.bad", "Header CRC wrong", expert.group.CHECKSUM, expert.severity.ERROR)
local e_magic = ProtoExpert.new("upgstream.magic.unknown", "Not the upgrade stream's magic", expert.group.MALFORMED,
                                expert.severity.WARN)
local e_size = ProtoExpert.new("upgstream.size", "Not 1060 bytes", expert.group.MALFORMED, expert.severity.WARN)
local e_length = ProtoExpert.new("upgstream.length.toolong", "Data length above 1024", expert.group.MALFORMED,
                                 expert.severity.WARN)
proto.experts = { e_bad_crc, e_magic, e_size, e_length }

-- 32-bit operations: bit32 (Lua 5.2), Wireshark's own bit library (signed results, made
-- unsigned here), or the operators of Lua 5.3 and later (compiled only there; checked by hand
-- with Lua 5.4 against the CRC check value 0x340BC6D9 of "123456789").
local band, bxor, rshift
if bit32 then
  band, bxor, rshift = bit32.band, bit32.bxor, bit32.rshift
elseif bit then
  band = function(a, b) return bit.band(a, b) % 4294967296 end
  bxor = function(a, b) return bit.bxor(a, b) % 4294967296 end
  rshift = function(a, n) return bit.rshift(a, n) % 4294967296 end
else
  band = load("return function(a, b) return a & b end")()
  bxor = load("return function(a, b) return a ~ b end")()
  rshift = load("return function(a, n) return a >> n end")()
end

-- The reflected CRC-32 table of polynomial 0xEDB88320.
local crc_table = {}
for n = 0, 255 do
  local c = n
  for _ = 1, 8 do
    if band(c, 1) == 1 then c = bxor(rshift(c, 1), 0xEDB88320) else c = rshift(c, 1) end
  end
  crc_table[n] = c
end

-- CRC-32 without final inversion (register from 0xFFFFFFFF) of `len` bytes of `bytes`
-- (a ByteArray) from `offset`.
local function crc32_no_final_xor(bytes, offset, len)
  local crc = 0xFFFFFFFF
  for i = offset, offset + len - 1 do
    crc = bxor(rshift(crc, 8), crc_table[band(bxor(crc, bytes:get_index(i)), 0xFF)])
  end
  return crc
end

function proto.dissector(tvb, pinfo, tree)
  local size = tvb:reported_length_remaining()
  if size < HEADER_SIZE then return 0 end
  pinfo.cols.protocol = "UPGSTREAM"
  local root = tree:add(proto, tvb(0, math.min(size, DATAGRAM_SIZE)))
  if size ~= DATAGRAM_SIZE then root:add_proto_expert_info(e_size, "Datagram of " .. size .. " bytes, not 1060") end

  local seq = tvb(12, 4):le_uint()
  local count = tvb(16, 4):le_uint()
  local length = tvb(20, 4):le_uint()

  -- The CRC covers the header from byte 4 and the data bytes in use, as the sender builds it.
  local covered = math.min(length, CHUNK_SIZE)
  local crc_item = root:add_le(f.crc, tvb(0, 4))
  local have = tvb:captured_len()
  local status
  if HEADER_SIZE + covered <= have then
    local computed = crc32_no_final_xor(tvb:bytes(), 4, covered + 32)
    status = (computed == tvb(0, 4):le_uint()) and "good" or "bad"
    crc_item:add(f.crc_computed, computed):set_generated()
  else
    status = "unknown"  -- the capture cut the datagram short
  end
  crc_item:add(f.crc_status, status):set_generated()
  if status == "bad" then crc_item:add_proto_expert_info(e_bad_crc) end

  local magic_item = root:add_le(f.magic, tvb(4, 4))
  if tvb(4, 4):le_uint() ~= MAGIC then magic_item:add_proto_expert_info(e_magic) end
  root:add(f.type, tvb(8, 1))
  root:add(f.policy, tvb(9, 1))
  root:add_le(f.force, tvb(10, 2))
  root:add_le(f.seq, tvb(12, 4))
  root:add_le(f.count, tvb(16, 4))
  local length_item = root:add_le(f.length, tvb(20, 4))
  if length > CHUNK_SIZE then length_item:add_proto_expert_info(e_length) end
  root:add_le(f.total, tvb(24, 4))
  root:add_le(f.filecrc, tvb(28, 4))
  root:add_le(f.reserved, tvb(32, 4))
  local data_len = math.min(covered, size - HEADER_SIZE)
  if data_len > 0 then root:add(f.data, tvb(HEADER_SIZE, data_len)) end
  local pad = math.min(size, DATAGRAM_SIZE) - HEADER_SIZE - data_len
  if pad > 0 then root:add(f.padding, tvb(HEADER_SIZE + data_len, pad)) end

  root:append_text(string.format(", Chunk %u/%u", seq, count))
  local info = string.format("Chunk %u/%u (%u bytes)", seq, count, length)
  if status == "bad" then info = info .. " [BAD CRC]" end
  pinfo.cols.info = info
  return size
end

DissectorTable.get("udp.port"):add(PORT, proto)
