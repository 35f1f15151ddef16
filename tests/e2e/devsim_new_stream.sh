#!/usr/bin/env bash
# The operator stops an old file half way and sends a new one: the device that was
# listening starts over on the new stream, says so, and gets the new file byte for byte.
source "$(dirname "$0")/lib.sh"
make_file "$T/old.bin" 2000000   # 1954 datagrams: about 2 s a pass
make_file "$T/new.bin" 300000
start_device_on v1 a --timeout 30
start_device_on v3 b --timeout 6
sleep 0.3
"$CLI" send --adapter v0 "$T/old.bin" 2> /dev/null & sender=$!
sleep 1
kill -INT $sender
wait $sender || fail "the old send ended with $?"
"$CLI" send --adapter v0 --passes 2 "$T/new.bin" 2> "$T/send.txt" || fail "send ended with $?"
wait_device a || { cat "$T/a.txt"; fail "device a did not get the new file"; }
cmp "$T/new.bin" "$T/a.bin" || fail "device a holds other bytes"
expect_in "$T/a.txt" "another stream keeps arriving (300000 bytes, 293 datagrams"
expect_in "$T/a.txt" "switches            1"
expect_in "$T/a.txt" "streams seen        2"
expect_silent b
echo "PASS"
