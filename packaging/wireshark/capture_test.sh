#!/usr/bin/env bash
# The dissector on a capture made on the test segment: one pass sent by upgrade-cli and one
# datagram with a spoiled data byte, captured by tcpdump on the devices' side (v1), then
# read by tshark with upgstream.lua. Every field of every datagram is checked against what
# the file and the sender give, the file CRC and one header CRC against gzip's CRC-32.
#
#   netns.sh capture_test.sh UPGRADE-CLI UPGRADE-DEVSIM UPGRADE-MKFILE
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/../../tests/e2e/lib.sh"
LUA=$HERE/upgstream.lua
for tool in tcpdump tshark gzip; do
  command -v $tool > /dev/null || fail "$tool is missing (scripts/deps.sh installs it)"
done

make_file "$T/up.bin" 70000   # 69 chunks, the last of 368 bytes
tcpdump -i v1 --immediate-mode -U -w "$T/cap.pcap" udp port 13456 2> "$T/tcpdump.txt" &
tcpdump_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$T/tcpdump.txt" && break; sleep 0.05; done
expect_in "$T/tcpdump.txt" "listening on v1"
"$CLI" send --adapter v0 --passes 1 --force "$T/up.bin" > /dev/null 2> "$T/send.txt" || { cat "$T/send.txt"; fail "send ended with $?"; }

# The spoiled datagram: datagram 5 as it was captured, one data byte changed (its header,
# CRC included, stays as sent), sent to the group from v0 as a new datagram. A pcap record
# of one datagram is 16 + 1102 bytes.
frames() { echo $(( ($(stat -c %s "$T/cap.pcap") - 24) / 1118 )); }
for _ in $(seq 100); do [ "$(frames)" -ge 69 ] && break; sleep 0.05; done
[ "$(frames)" -eq 69 ] || fail "$(frames) datagrams captured, not 69"
tshark -r "$T/cap.pcap" -Y "frame.number == 6" -T fields -e udp.payload 2> /dev/null > "$T/good5.hex"
printf "$(sed 's/../\\x&/g' "$T/good5.hex")" > "$T/good5.bin"
[ "$(stat -c %s "$T/good5.bin")" -eq 1060 ] || fail "datagram 5 is not in the capture"
cp "$T/good5.bin" "$T/spoiled.bin"
byte=$(od -An -tu1 -j 136 -N 1 "$T/good5.bin" | tr -d ' ')
printf "\\x$(printf %02x $(( byte ^ 1 )))" | dd of="$T/spoiled.bin" bs=1 seek=136 conv=notrunc status=none
cmp -s "$T/good5.bin" "$T/spoiled.bin" && fail "the spoiled datagram equals the good one"
ip route add 224.0.0.0/4 dev v0   # this namespace only: the shell's socket has no interface of its own
cat "$T/spoiled.bin" > /dev/udp/224.0.0.119/13456
for _ in $(seq 100); do [ "$(frames)" -ge 70 ] && break; sleep 0.05; done
kill -INT $tcpdump_pid
wait $tcpdump_pid || true

fields=(upgstream.seq upgstream.count upgstream.length upgstream.total upgstream.crc.status upgstream.magic
        upgstream.type upgstream.policy upgstream.force upgstream.filecrc upgstream.crc _ws.col.Info)
tshark -X lua_script:"$LUA" -r "$T/cap.pcap" -T fields -E separator='|' $(printf -- '-e %s ' "${fields[@]}") \
  > "$T/fields.txt" 2> "$T/tshark.txt" || { cat "$T/tshark.txt"; fail "tshark ended with $?"; }
grep -qi "lua" "$T/tshark.txt" && { cat "$T/tshark.txt"; fail "the dissector did not load"; }

# What every datagram must show. The file CRC without final inversion is the bitwise NOT of
# the common CRC-32, which gzip keeps in its trailer (little-endian, bytes -8 .. -5).
crc32_of() { gzip -c | tail -c 8 | head -c 4 | od -An -tu4 | tr -d ' '; }
file_crc=$(printf '0x%08x' $(( 0xFFFFFFFF ^ $(crc32_of < "$T/up.bin") )))
# Datagram 5's header CRC covers bytes 4 .. 1059 (a full chunk).
hdr_crc=$(printf '0x%08x' $(( 0xFFFFFFFF ^ $(tail -c +5 "$T/good5.bin" | crc32_of) )))
[ "$(od -An -tx1 -N 4 "$T/good5.bin" | tr -d ' \n')" = "$(printf '%08x' $(( hdr_crc )) | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/')" ] ||
  fail "gzip's CRC of datagram 5 is not the CRC it carries"

[ "$(wc -l < "$T/fields.txt")" -eq 70 ] || { cat "$T/fields.txt"; fail "$(wc -l < "$T/fields.txt") datagrams, not 70"; }
n=0
while IFS='|' read -r seq count length total status magic type policy force filecrc crc info; do
  n=$((n + 1))
  want_len=1024; [ "$seq" = 68 ] && want_len=368
  want_status=good; [ $n -eq 70 ] && want_status=bad
  want_seq=$((n - 1)); [ $n -eq 70 ] && want_seq=5
  got="$seq $count $length $total $status $magic $type $policy $force $filecrc"
  want="$want_seq 69 $want_len 70000 $want_status 0xb0a555aa 1 1 1 $file_crc"
  [ "$got" = "$want" ] || fail "datagram $n shows \"$got\", not \"$want\""
  want_info="Chunk $want_seq/69 ($want_len bytes)"; [ $n -eq 70 ] && want_info="$want_info [BAD CRC]"
  [ "$info" = "$want_info" ] || fail "datagram $n: info \"$info\", not \"$want_info\""
  if [ "$want_seq" = 5 ]; then [ "$crc" = "$hdr_crc" ] || fail "datagram $n: CRC $crc, not $hdr_crc"; fi
done < "$T/fields.txt"

# The status is a filter: exactly the spoiled datagram is bad.
tshark -X lua_script:"$LUA" -r "$T/cap.pcap" -Y 'upgstream.crc.status == "bad"' -T fields -e frame.number \
  > "$T/bad.txt" 2> /dev/null
[ "$(cat "$T/bad.txt")" = 70 ] || fail "filter for bad CRCs gives frames: $(tr '\n' ' ' < "$T/bad.txt")"
echo "PASS"
