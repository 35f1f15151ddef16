#!/usr/bin/env bash
# Streams no sender sends, each datagram with its CRC right: an empty one (count 0, length 0,
# file CRC 0xFFFFFFFF), one whose count is more than its total length gives and one whose
# total length is more than its count gives. No device takes any of them; the device on
# the other segment hears nothing. A good stream sent to this host's own address instead of
# the group arrives by another interface (lo): it is counted apart and never taken.
source "$(dirname "$0")/lib.sh"
: > "$T/empty.bin"
head -c 3000 /dev/urandom > "$T/small.bin"   # 3 datagrams
start_device_on v1 a --timeout 3
start_device_on v3 b --timeout 3
sleep 0.3
"$EMIT" --from 10.77.0.1 "$T/empty.bin" --passes 20 > /dev/null
"$EMIT" --from 10.77.0.1 "$T/small.bin" --count 5 --passes 5 > /dev/null
"$EMIT" --from 10.77.0.1 "$T/small.bin" --total 5000 --passes 5 > /dev/null
"$EMIT" --from 10.77.0.1 --to 10.77.0.1 "$T/small.bin" --passes 2 > /dev/null
status=0; wait_device a || status=$?
[ $status -eq 1 ] || { cat "$T/a.txt"; fail "device a ended with $status"; }
expect_in "$T/a.txt" "file incomplete"
expect_in "$T/a.txt" "datagrams checked   60"
expect_in "$T/a.txt" "inconsistent        60 (stream 60, number 0, data length 0)"
expect_in "$T/a.txt" "CRC failures        0"
expect_in "$T/a.txt" "streams seen        0"
[ ! -e "$T/a.bin" ] || fail "device a wrote a file"
expect_silent b
# The unicast datagrams reach one of the two sockets that share the port.
other() { sed -n 's/^  other interface *\([0-9]*\).*/\1/p' "$T/$1.txt"; }
[ $(( $(other a) + $(other b) )) -eq 6 ] || fail "other interface: a $(other a), b $(other b), not 6 in all"
echo "PASS"
