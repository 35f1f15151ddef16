#!/usr/bin/env bash
# The pass planner from the command line: what it answers for bad figures and files, its
# JSON object, and a run on the test segment where devices losing datagrams on purpose all
# hold the file after the number of passes it planned.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 300000            # 293 chunks
: > "$T/empty.bin"
mkfifo "$T/fifo"
check 2 "from 0 up to but not including 1"   "$CLI" plan --loss 1 "$T/up.bin"
check 2 "from 0 up to but not including 1"   "$CLI" plan --loss 100% "$T/up.bin"
check 2 "from 0 up to but not including 1"   "$CLI" plan --loss -0.1 "$T/up.bin"
check 2 "above 0 and below 1"                "$CLI" plan --confidence 1 "$T/up.bin"
check 2 "above 0 and below 1"                "$CLI" plan --confidence 0% "$T/up.bin"
check 2 "from 1 to 4294967295"               "$CLI" plan --devices 0 "$T/up.bin"
check 2 "from 1 to 4294967295"               "$CLI" plan --devices 4294967296 "$T/up.bin"
check 2 ""                                   "$CLI" plan
check 1 "is not a regular file"              "$CLI" plan "$T"
check 1 "is not a regular file"              timeout 10 "$CLI" plan "$T/fifo"   # never blocks on a FIFO
check 1 "is empty"                           "$CLI" plan "$T/empty.bin"
check 1 "does not exist"                     "$CLI" plan "$T/missing.bin"
check 1 "not reachable"                      "$CLI" plan --loss 0.99 --devices 1000 "$T/up.bin"
check 0 "passes   1 (chance 100.00%)"        "$CLI" plan --loss 0 "$T/up.bin"
check 0 "300000 bytes, 293 chunks"           "$CLI" plan --loss 5% --devices 3 "$T/up.bin"
check 0 "--confidence"                       "$CLI" plan --help

# The JSON object: one line, the figures asked for, the plan.
"$CLI" plan --json --loss 10% --devices 3 --confidence 0.999 "$T/up.bin" > "$T/plan.json" || fail "plan --json ended with $?"
[ "$(wc -l < "$T/plan.json")" -eq 1 ] || fail "plan --json printed more than one line"
# Parsed by a JSON parser: every member with its type, the figures asked for given back.
python3 - "$T/plan.json" <<'PY' > "$T/plan.txt" || fail "plan --json is not the object expected: $(cat "$T/plan.json")"
import json, sys
plan = json.load(open(sys.argv[1]))
types = {"file": str, "bytes": int, "chunks": int, "loss": float, "devices": int, "confidence": float,
         "passes": int, "reachable": bool, "probability": float, "seconds": float}
for name, kind in types.items():
    assert isinstance(plan[name], kind), name
assert (plan["bytes"], plan["chunks"], plan["devices"]) == (300000, 293, 3), plan
assert (plan["loss"], plan["confidence"], plan["reachable"]) == (0.1, 0.999, True), plan
assert 0.999 <= plan["probability"] < 1, plan
print(plan["passes"], plan["seconds"])
PY
read -r passes seconds < "$T/plan.txt"
# 1 - (1 - 0.1^k)^(293 x 3) <= 0.001 first holds at k = 6 (0.1^5 x 879 = 0.0088).
[ "$passes" = 6 ] || fail "planned $passes passes, not 6"
awk -v s="$seconds" 'BEGIN { exit !(s > 1.5 && s < 2.0) }' || fail "$seconds s for 6 x 293 datagrams"

# A name with a quote, a backslash and a tab comes back whole from the JSON parser.
odd=$T/$'odd "name" \\ \t.bin'
cp "$T/up.bin" "$odd"
"$CLI" plan --json "$odd" | python3 -c 'import json, sys; assert json.load(sys.stdin)["file"] == sys.argv[1]' "$odd" ||
  fail "the JSON object does not give the file's name back"

# Three devices, each losing 10% of the datagrams on purpose, hold the file after the
# planned passes and not before the end: one pass is never enough (0.9^293).
for d in a b c; do start_device $d --drop 0.1 --seed $(( $(printf %d "'$d") )) --timeout 30; done
sleep 0.3
"$CLI" send --adapter v0 --passes "$passes" "$T/up.bin" > /dev/null 2> "$T/send.txt" || fail "send ended with $?"
expect_in "$T/send.txt" "$passes complete pass(es) sent"
for d in a b c; do
  wait_device $d || { cat "$T/$d.txt"; fail "device $d did not get the file within $passes passes"; }
  cmp "$T/up.bin" "$T/$d.bin" || fail "device $d holds other bytes"
  expect_in "$T/$d.txt" "CRC failures        0"
  dropped=$(sed -n 's/.*dropped on purpose *//p' "$T/$d.txt")
  [ "${dropped:-0}" -gt 20 ] || { cat "$T/$d.txt"; fail "device $d dropped only ${dropped:-0} datagrams"; }
  seen=$(sed -n 's/.*passes seen *//p' "$T/$d.txt")
  [ "$seen" -ge 2 ] && [ "$seen" -le "$passes" ] || { cat "$T/$d.txt"; fail "device $d saw $seen passes"; }
done
echo "PASS"
