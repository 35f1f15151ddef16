#!/usr/bin/env bash
# Faults under the sender, on three segments: the test segment of netns.sh (v0 -- br0 -- v1)
# and two more, A (a0 10.1.0.1 -- brA -- da) and B (b0 10.2.0.1 -- brB -- db). The sender is
# told to use a0; what arrives on every segment is captured at its device side (da, db, v1).
#   - a0 deleted while sending: nothing goes out on B or the test segment, the wait is calm,
#     and a new a0 (same name, new index) carries the stream again within 2 s;
#   - the same with only a0's address taken away and given back;
#   - Stop while waiting ends with status 1;
#   - the file cut short, replaced, or written in place (same length, ahead of the sender)
#     under the sender: status 1, and no datagram of the changed file goes out under the
#     old header;
#   - a second sender on the same adapter is refused; one on another adapter is not.
source "$(dirname "$0")/lib.sh"
WIRE="python3 $(dirname "$0")/wire.py"

segment() {  # BRIDGE DEVICE: a switch with a device's interface on it
  ip link add "$1" type bridge; ip link set "$1" up
  ip link add "$2" type veth peer name "$2p"
  ip link set "$2p" master "$1"; ip link set "$2p" up; ip link set "$2" up
}
sender_on() {  # IFACE ADDRESS BRIDGE: a sender's adapter on that switch
  ip link add "$1" type veth peer name "$1p"
  ip link set "$1p" master "$3"; ip link set "$1p" up
  ip addr add "$2/24" dev "$1"; ip link set "$1" up
}
segment brA da; segment brB db
sender_on a0 10.1.0.1 brA; sender_on b0 10.2.0.1 brB

capture_start() {  # NAME: captures the stream on da, db and v1 into $T/NAME-{da,db,v1}.pcap
  local i
  for i in da db v1; do
    tcpdump -i "$i" -U -n -w "$T/$1-$i.pcap" udp port 13456 2>/dev/null & eval "cap_$i=$!"
  done
  sleep 1
}
capture_stop() {
  sleep 0.2
  kill "$cap_da" "$cap_db" "$cap_v1"; wait "$cap_da" "$cap_db" "$cap_v1" 2>/dev/null || true
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The sender's share of one core over 3 s, in percent (one decimal).
cpu_share() {
  local a b; a=$(cpu_ticks "$1"); sleep 3; b=$(cpu_ticks "$1")
  awk -v t=$((b - a)) -v hz="$(getconf CLK_TCK)" 'BEGIN {printf "%.1f", t * 100 / hz / 3}'
}
none_on_other_segments() {  # NAME
  local n
  for i in db v1; do
    n=$($WIRE count "$T/$1-$i.pcap")
    [ "$n" -eq 0 ] || fail "$1: $n datagram(s) of the stream arrived on $i's segment"
  done
}

make_file "$T/up.bin" 2000000

# --- a0 deleted while sending, then made again under the same name --------------------------
capture_start gone
"$CLI" send --adapter a0 "$T/up.bin" 2> "$T/gone.txt" & pid=$!
sleep 1
ip link del a0
sleep 0.5
expect_in "$T/gone.txt" "outage 1: nothing can be sent from adapter a0"
share=$(cpu_share $pid)
awk -v s="$share" 'BEGIN {exit !(s < 5)}' || fail "the waiting sender took $share% of a core"
back_at=$(date +%s.%N)
sender_on a0 10.1.0.1 brA
sleep 2.5
kill -TERM $pid; status=0; wait $pid || status=$?
capture_stop
[ $status -eq 0 ] || fail "send stopped while sending ended with $status"
none_on_other_segments gone
after=$(tcpdump -tt -n -r "$T/gone-da.pcap" 2>/dev/null | awk -v t="$back_at" '$1 > t && !x {print $1; x = 1}')
[ -n "$after" ] || fail "the stream did not come back on a0"
delay=$(awk -v a="$after" -v b="$back_at" 'BEGIN {printf "%.3f", a - b}')
awk -v d="$delay" 'BEGIN {exit !(d < 2)}' || fail "the stream came back $delay s after a0"
expect_in "$T/gone.txt" "sending again from adapter a0 after an outage of"
echo "a0 deleted: waiting at $share% of a core, back $delay s after a0 returned"

# --- only a0's address taken away and given back ----------------------------------------
capture_start addr
"$CLI" send --adapter a0 "$T/up.bin" 2> "$T/addr.txt" & pid=$!
sleep 1
ip addr del 10.1.0.1/24 dev a0
sleep 0.5
expect_in "$T/addr.txt" "outage 1:"
share=$(cpu_share $pid)
awk -v s="$share" 'BEGIN {exit !(s < 5)}' || fail "the waiting sender took $share% of a core"
back_at=$(date +%s.%N)
ip addr add 10.1.0.1/24 dev a0
sleep 2.5
# --- Stop while waiting: status 1 -------------------------------------------------------
ip link set a0 down
sleep 0.5
kill -TERM $pid; status=0; wait $pid || status=$?
capture_stop
[ $status -eq 1 ] || fail "send stopped while waiting ended with $status, not 1"
expect_in "$T/addr.txt" "stopped while the adapter could not be set up"
none_on_other_segments addr
after=$(tcpdump -tt -n -r "$T/addr-da.pcap" 2>/dev/null | awk -v t="$back_at" '$1 > t && !x {print $1; x = 1}')
[ -n "$after" ] || fail "the stream did not come back when a0 had its address again"
delay=$(awk -v a="$after" -v b="$back_at" 'BEGIN {printf "%.3f", a - b}')
awk -v d="$delay" 'BEGIN {exit !(d < 2)}' || fail "the stream came back $delay s after the address"
echo "address removed: waiting at $share% of a core, back $delay s after the address returned"
ip link set a0 up

# --- the file cut short, replaced, or written in place, under the sender ---------------------
for how in cut replaced written; do
  cp "$T/up.bin" "$T/$how.bin"; cp "$T/up.bin" "$T/$how-original.bin"
  capture_start $how
  "$CLI" send --adapter a0 "$T/$how.bin" 2> "$T/$how.txt" & pid=$!
  sleep 1
  case $how in
    cut) truncate -s 1000000 "$T/$how.bin" ;;
    replaced) head -c 1500000 "$T/up.bin" > "$T/new.bin"; mv "$T/new.bin" "$T/$how.bin" ;;
    # 4 KiB at 1.6 MB, which the sender reaches about 0.6 s later: it must not send them.
    written) head -c 4096 /dev/urandom | dd of="$T/$how.bin" bs=4096 seek=390 conv=notrunc status=none ;;
  esac
  status=0; wait $pid || status=$?
  capture_stop
  [ $status -eq 1 ] || fail "send of a file $how under it ended with $status"
  expect_in "$T/$how.txt" "$T/$how.bin: The package file has been changed since it was checked."
  sent=$($WIRE check "$T/$how-da.pcap" "$T/$how-original.bin") ||
    fail "a datagram of the $how file went out under the old header"
  [ "$sent" -gt 0 ] || fail "nothing was sent before the file was $how"
  echo "file $how: stopped with status 1 after $sent datagram(s), all of the checked file"
done

# --- one sender per adapter ---------------------------------------------------------------
"$CLI" send --adapter a0 "$T/up.bin" 2> "$T/first.txt" & pid=$!
sleep 0.5
status=0; "$CLI" send --adapter a0 --passes 1 "$T/up.bin" 2> "$T/second.txt" || status=$?
[ $status -eq 1 ] || fail "a second sender on a0 ended with $status, not 1"
expect_in "$T/second.txt" "another program is sending on adapter a0"
"$CLI" send --adapter b0 --passes 1 "$T/up.bin" 2> "$T/other.txt" || fail "a sender on b0 beside the one on a0 failed"
kill -TERM $pid; wait $pid || fail "the first sender ended with $?"
echo "PASS"
