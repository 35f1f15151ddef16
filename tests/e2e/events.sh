#!/usr/bin/env bash
# The events of `send` on the test segment: the JSON lines of a run with an outage in it (the
# sender's adapter taken down, deleted and made again), read by a JSON parser; the log lines
# with their times when standard error is no terminal; and --passes auto, which sends the
# number of passes the planner gives.
source "$(dirname "$0")/lib.sh"
ISO='^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2}$'
make_file "$T/up.bin" 2000000   # 1954 datagrams: about 2 s a pass
make_file "$T/small.bin" 300000  # 293 chunks: 6 passes for 3 devices losing 10% at 99.9%

# --- --json, with an outage: standard output holds only the events ---------------------------
start_device a --timeout 40
sleep 0.3
"$CLI" send --adapter v0 --passes 3 --json "$T/up.bin" > "$T/events.json" 2> "$T/send.txt" & sender=$!
sleep 0.8
ip link set v0 down
sleep 1.2
"$(dirname "$0")/netns.sh" recreate-sender
wait $sender || { cat "$T/send.txt"; fail "send --json ended with $?"; }
wait_device a || { cat "$T/a.txt"; fail "the device did not get the file"; }
cmp "$T/up.bin" "$T/a.bin" || fail "the device holds other bytes"
# The analysis's trace went to standard error, as `inspect` prints it on standard output.
"$CLI" inspect "$T/up.bin" | head -n -1 > "$T/trace.txt"
[ -s "$T/trace.txt" ] || fail "the analysis printed no trace to compare with"
grep -qxFf "$T/trace.txt" "$T/send.txt" || fail "the analysis's trace is not on standard error"
stderr_outages=$(grep -c ": outage [0-9]*: nothing can be sent from adapter v0" "$T/send.txt")
python3 - "$T/events.json" "$ISO" "$stderr_outages" <<'PY' || { cat "$T/events.json"; fail "the JSON lines are not the run's events"; }
import json, re, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
events = [json.loads(line) for line in lines]          # every line one JSON object
iso, stderr_outages = re.compile(sys.argv[2]), int(sys.argv[3])
names = [e["event"] for e in events]
for e in events:
    assert iso.match(e["time"]), e
    for count in ("passes", "outages", "datagrams"):
        assert isinstance(e.get(count), int) and e[count] >= 0, e
# The order: started first, then passes and outages, the stop after the third pass, finished last.
assert names[0] == "started" and names[-2:] == ["stopped", "finished"], names
assert events[0]["scheduling"] in ("realtime", "realtime-rtkit", "normal-short-slice", "normal"), events[0]
assert set(names) <= {"started", "pass_complete", "outage_begun", "outage_ended", "stopped", "finished"}, names
start = events[0]
assert (start["adapter"], start["bytes"], start["chunks"], start["passes_wanted"]) == ("v0", 2000000, 1954, 3), start
assert start["file"].endswith("/up.bin") and start["planned"] is False, start
passes = [e for e in events if e["event"] == "pass_complete"]
assert [e["pass"] for e in passes] == [1, 2, 3], passes
for e in passes:
    # A pass of 1954 datagrams at 1 ms each, timed from its first datagram after an outage.
    assert 1.9 <= e["seconds"] < 6, e
    assert e["datagrams"] >= e["pass"] * 1954, e
# Outages come in pairs, numbered, each ended before the next begins; the one made here lasted
# at least the 1.2 s the link was down.
outages = [e for e in events if e["event"].startswith("outage_")]
assert outages and len(outages) % 2 == 0, names
for n, (begun, ended) in enumerate(zip(outages[::2], outages[1::2]), 1):
    assert (begun["event"], ended["event"], begun["outage"], ended["outage"]) == ("outage_begun", "outage_ended", n, n), outages
    assert begun["adapter"] == ended["adapter"] == "v0"
    assert ended["seconds"] > 0 and names.index("started") < events.index(begun), ended
assert max(e["seconds"] for e in outages[1::2]) >= 1.2, outages
# The counts never go back, and each event gives those of its moment.
for a, b in zip(events, events[1:]):
    assert b["passes"] >= a["passes"] and b["outages"] >= a["outages"] and b["datagrams"] >= a["datagrams"], (a, b)
stop, end = events[-2], events[-1]
assert stop["reason"] == "passes", stop
assert (end["status"], end["result"], end["passes"], end["outages"]) == (0, 0, 3, len(outages) // 2), end
assert end["outages"] == stderr_outages, (end, stderr_outages)
assert end["datagrams"] >= 3 * 1954 and end["seconds"] > 6, end
print(f"{len(events)} events, {end['outages']} outage(s), the longest {max(e['seconds'] for e in outages[1::2]):.1f} s")
PY
# The lines of standard error are the ones it always printed: no pass lines with --json.
expect_in "$T/send.txt" "3 complete pass(es) sent, $stderr_outages outage(s)"
grep -q "complete in" "$T/send.txt" && fail "log lines on standard error with --json"

# --- without --json, standard error a file: a line at each pass end and after 10 s -----------
make_file "$T/big.bin" 11000000   # 10743 datagrams: over 10 s a pass
"$CLI" send --adapter v0 --passes 1 "$T/big.bin" > /dev/null 2> "$T/log.txt" || { cat "$T/log.txt"; fail "send ended with $?"; }
stamp='^upgrade-cli: [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+[+-][0-9]{2}:[0-9]{2}: '
grep -E "${stamp}pass 1/1: datagram [0-9]+/10743 \([0-9]+%\), [0-9]+ datagrams/s, [0-9]+ s left in the pass$" "$T/log.txt" > /dev/null ||
  { cat "$T/log.txt"; fail "no progress line after 10 s"; }
grep -E "${stamp}pass 1/1 complete in [0-9]+\.[0-9] s, 10743 datagrams sent$" "$T/log.txt" > /dev/null ||
  { cat "$T/log.txt"; fail "no line at the pass's end"; }
grep -q $'\r' "$T/log.txt" && fail "the terminal's progress bar went to a file"
expect_in "$T/log.txt" "1 complete pass(es) sent, 0 outage(s)"
# An outage says every 10 s that it goes on (v1 has no address: nothing is ever sent from it).
check 1 "gave up after 11.0 s without adapter v1" "$CLI" send --adapter v1 --give-up-after 11 "$T/small.bin"
grep -E "${stamp}outage 1: nothing sent from adapter v1 for 1[0-9]\.[0-9] s$" "$T/out.txt" > /dev/null ||
  { cat "$T/out.txt"; fail "no line 10 s into the outage"; }

# --- --passes auto: the planned passes, the plan on standard error and as an event -----------
planned=$("$CLI" plan --json --loss 10% --devices 3 --confidence 0.999 "$T/small.bin" |
  python3 -c 'import json, sys; print(json.load(sys.stdin)["passes"])')
[ "$planned" = 6 ] || fail "plan gave $planned passes, not 6"
"$CLI" send --adapter v0 --passes auto --loss 10% --devices 3 --confidence 0.999 --json "$T/small.bin" \
  > "$T/auto.json" 2> "$T/auto.txt" || { cat "$T/auto.txt"; fail "send --passes auto ended with $?"; }
expect_in "$T/auto.txt" "upgrade-cli: plan: passes   6 (chance"
expect_in "$T/auto.txt" "6 complete pass(es) sent"
python3 - "$T/auto.json" <<'PY' || { cat "$T/auto.json"; fail "the events of --passes auto"; }
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
plan, start, end = events[0], events[1], events[-1]
assert (plan["event"], plan["passes"], plan["reachable"], plan["chunks"], plan["devices"]) == ("plan", 6, True, 293, 3), plan
assert (start["event"], start["passes_wanted"], start["planned"]) == ("started", 6, True), start
assert [e["pass"] for e in events if e["event"] == "pass_complete"] == [1, 2, 3, 4, 5, 6], events
assert (end["event"], end["status"], end["passes"]) == ("finished", 0, 6), end
PY
# Beyond reach: the plan, then nothing sent, status 1; the plan's figures without auto: usage.
check 1 "nothing was sent" "$CLI" send --adapter v0 --passes auto --loss 0.99 --devices 1000 "$T/small.bin"
expect_in "$T/out.txt" "passes   not reachable"
grep -q "started\|complete pass" "$T/out.txt" && fail "something was sent for a plan beyond reach"
status=0
"$CLI" send --adapter v0 --passes auto --loss 0.99 --devices 1000 --json "$T/small.bin" > "$T/far.json" 2> /dev/null || status=$?
[ $status -eq 1 ] || fail "send --json for a plan beyond reach ended with $status"
python3 -c '
import json, sys
names = [json.loads(line)["event"] for line in sys.stdin]
assert names == ["plan", "finished"], names' < "$T/far.json" || fail "the events of a plan beyond reach"
check 2 "give them with --passes auto" "$CLI" send --adapter v0 --passes 3 --loss 5% "$T/small.bin"
check 2 '"x" is not a whole number from 0 to 4294967294, nor auto' "$CLI" send --adapter v0 --passes x "$T/small.bin"
echo "PASS"
