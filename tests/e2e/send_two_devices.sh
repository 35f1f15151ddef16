#!/usr/bin/env bash
# Two devices receive a file sent for two passes whole and verified; the sender stops by
# itself after the second pass.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 300000
start_device a --timeout 20
start_device b --timeout 20
sleep 0.3
"$CLI" send --adapter v0 --passes 2 "$T/up.bin" 2> "$T/send.txt" || fail "send ended with $?"
expect_in "$T/send.txt" "2 complete pass(es) sent"
for d in a b; do
  wait_device $d || { cat "$T/$d.txt"; fail "device $d did not get the file"; }
  cmp "$T/up.bin" "$T/$d.bin" || fail "device $d holds other bytes"
  expect_in "$T/$d.txt" "CRC failures        0"
  expect_in "$T/$d.txt" "inconsistent        0 "
  expect_in "$T/$d.txt" "policy              1"
done
echo "PASS"
