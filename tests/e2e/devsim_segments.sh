#!/usr/bin/env bash
# Two devices on two segments of one host, one sender on the first segment: only that
# segment's device gets the file; the other hears nothing at all and gives up with status 1.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 300000
start_device_on v1 a --timeout 20
start_device_on v3 b --timeout 4
# A third device on the first segment reports as one JSON object, its name awkward on purpose.
"$DEVSIM" -i v1 --name $'c "1"\\\t' -o "$T/c.bin" --timeout 20 --json > "$T/c.json" 2> "$T/c.err" & pid_c=$!
sleep 0.3
"$CLI" send --adapter v0 --passes 2 "$T/up.bin" 2> "$T/send.txt" || fail "send ended with $?"
wait_device a || { cat "$T/a.txt"; fail "device a did not get the file"; }
cmp "$T/up.bin" "$T/a.bin" || fail "device a holds other bytes"
expect_in "$T/a.txt" "other interface     0"
expect_in "$T/a.txt" "streams seen        1"
wait_device c || { cat "$T/c.json" "$T/c.err"; fail "device c did not get the file"; }
cmp "$T/up.bin" "$T/c.bin" || fail "device c holds other bytes"
python3 - "$T/c.json" "$T/c.bin" <<'PY' || fail "device c's JSON summary is not what it saw"
import json, sys
s = json.load(open(sys.argv[1]))
assert s["name"] == 'c "1"\\\t', s["name"]
assert s["complete"] and s["crc_right"] and s["written"] == sys.argv[2], s
assert s["count"] == 293 and s["chunks"] == 293 and s["total_length"] == 300000, s
assert s["other_interface"] == 0 and s["other_stream"] == 0 and s["switches"] == 0, s
assert len(s["streams"]) == 1 and s["streams"][0]["taken"], s
assert s["passes"] == len(s["lost_per_pass"]) >= 1 and s["time_to_file_s"] > 0, s
PY
expect_silent b
# IP_MULTICAST_ALL off: the system does not even hand it the other segment's datagrams.
expect_in "$T/b.txt" "other interface     0"
echo "PASS"
