#!/usr/bin/env bash
# The sender sets up again when datagrams cannot be sent: after the link goes down and up
# during a pass, and after its interface is deleted and made again (with a new index). Each
# outage is reported when it begins and when it ends; the device still gets the whole file.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 2000000   # 1954 datagrams: about 2 s a pass
start_device a --timeout 30
sleep 0.3
"$CLI" send --adapter v0 --passes 3 "$T/up.bin" 2> "$T/send.txt" & sender=$!
sleep 0.6
ip link set v0 down; sleep 0.3; ip link set v0 up
sleep 0.2
grep -q "outage 1: nothing can be sent from adapter v0" "$T/send.txt" || fail "no outage reported after the link went down"
old_index=$(ip -o link show v0 | cut -d: -f1)
"$(dirname "$0")/netns.sh" recreate-sender
new_index=$(ip -o link show v0 | cut -d: -f1)
[ "$old_index" != "$new_index" ] || fail "v0 kept its index"
wait $sender || fail "send ended with $?"
reconnects=$(grep -c "sending again from adapter v0 after an outage of" "$T/send.txt")
[ "$reconnects" -ge 2 ] || fail "only $reconnects return(s) after an outage reported"
outages=$(grep -c ": outage [0-9]*: nothing can be sent" "$T/send.txt")
expect_in "$T/send.txt" "3 complete pass(es) sent, $outages outage(s)"
# Every line of the night carries its local time.
grep -E "outage|sending again" "$T/send.txt" | grep -qvE "^upgrade-cli: [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+[+-][0-9]{2}:[0-9]{2}: " &&
  fail "a report line without its time"
wait_device a || { cat "$T/a.txt"; fail "the device did not get the file"; }
cmp "$T/up.bin" "$T/a.bin" || fail "the device holds other bytes"
echo "PASS ($reconnects reconnects reported)"
