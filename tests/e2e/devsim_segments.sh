#!/usr/bin/env bash
# Two devices on two segments of one host, one sender on the first segment: only that
# segment's device gets the file; the other hears nothing at all and gives up with status 1.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 300000
start_device_on v1 a --timeout 20
start_device_on v3 b --timeout 4
sleep 0.3
"$CLI" send --adapter v0 --passes 2 "$T/up.bin" 2> "$T/send.txt" || fail "send ended with $?"
wait_device a || { cat "$T/a.txt"; fail "device a did not get the file"; }
cmp "$T/up.bin" "$T/a.bin" || fail "device a holds other bytes"
expect_in "$T/a.txt" "other interface     0"
expect_in "$T/a.txt" "streams seen        1"
expect_silent b
# IP_MULTICAST_ALL off: the system does not even hand it the other segment's datagrams.
expect_in "$T/b.txt" "other interface     0"
echo "PASS"
