#!/usr/bin/env bash
# Ctrl-C in the middle of a pass is Stop: nothing more is sent, the sender ends with 0 and
# a device sees only part of the file.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 4000000   # 3907 datagrams: about 4 s a pass
start_device a --timeout 3
sleep 0.3
"$CLI" send --adapter v0 --force "$T/up.bin" 2> "$T/send.txt" & sender=$!
sleep 0.8
kill -INT $sender
start=$(date +%s%N)
wait $sender || fail "send ended with $? after Ctrl-C"
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed_ms" -lt 1000 ] || fail "send took $elapsed_ms ms to stop"
expect_in "$T/send.txt" "0 complete pass(es) sent"
if wait_device a; then fail "the device got the whole file from a stopped pass"; fi
expect_in "$T/a.txt" "file incomplete"
expect_in "$T/a.txt" "force flag          1"
chunks=$(sed -n 's/^  chunks *\([0-9]*\) of 3907.*/\1/p' "$T/a.txt")
[ -n "$chunks" ] && [ "$chunks" -gt 100 ] && [ "$chunks" -lt 3000 ] || fail "device holds $chunks chunks"
echo "PASS ($chunks of 3907 chunks before the stop, stopped in $elapsed_ms ms)"
