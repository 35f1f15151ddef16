#!/usr/bin/env bash
# Stray datagrams of an old stream. One heard before the new stream begins is the device's
# first stream, so the new stream, which keeps arriving, takes its place; one heard amid the
# new stream is counted and ignored: no switch, and the new file arrives byte for byte.
source "$(dirname "$0")/lib.sh"
make_file "$T/old.bin" 70000
make_file "$T/new.bin" 2000000   # 1954 datagrams: about 2 s a pass
start_device_on v1 a --timeout 30
start_device_on v3 b --timeout 6
sleep 0.3
"$EMIT" --from 10.77.0.1 "$T/old.bin" --first 3 --last 3 > /dev/null
"$CLI" send --adapter v0 --passes 2 "$T/new.bin" 2> "$T/send.txt" & sender=$!
sleep 0.6
"$EMIT" --from 10.77.0.1 "$T/old.bin" --first 5 --last 5 > /dev/null
wait $sender || fail "send ended with $?"
wait_device a || { cat "$T/a.txt"; fail "device a did not get the new file"; }
cmp "$T/new.bin" "$T/a.bin" || fail "device a holds other bytes"
expect_in "$T/a.txt" "switches            1"
old_crc=$(sed -n 's/.*70000 bytes, 69 datagrams, file CRC \(0x[0-9A-F]*\): 2 valid datagram(s), taken$/\1/p' "$T/a.txt")
[ -n "$old_crc" ] || { cat "$T/a.txt"; fail "the old stream was not heard twice"; }
expect_silent b
echo "PASS"
