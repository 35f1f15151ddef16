#!/usr/bin/env bash
# What the command line answers for what it cannot do.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 70000
: > "$T/empty.bin"
head -c 100000 /dev/zero > "$T/zeros.bin"
cp "$T/up.bin" "$T/up.txt"
"$MKFILE" trx "$T/fw.trx"
# Adapters it cannot tell: usage errors that name what there is.
check 2 'no adapter "eth9"; the adapters are: br0 (0.0.0.0), v1 (0.0.0.0)' "$CLI" send --adapter eth9 "$T/up.bin"
check 2 'no adapter with index 7'                  "$CLI" send --adapter 7 "$T/up.bin"
check 2 '"v" fits 4 adapters; name one of them: v1 (0.0.0.0), v1p (0.0.0.0), v0 (10.77.0.1)' "$CLI" send --adapter v "$T/up.bin"
check 0 "1 complete pass(es) sent"                  "$CLI" send --passes 1 "$T/up.bin"   # v0: the one with an address
check 0 "1 complete pass(es) sent"                  "$CLI" send --adapter 10.77.0.1 --passes 1 "$T/up.bin"
# -v says how the sending thread is scheduled: real time for root, the fall-back for an
# unprivileged user without RLIMIT_RTPRIO (and no RealtimeKit: the system bus leads nowhere).
check 0 "sending from adapter v0; the sending thread's scheduling: realtime" "$CLI" send -v --adapter v0 --passes 1 "$T/up.bin"
chmod 755 "$T"; chmod 644 "$T/up.bin"
check 0 "the sending thread's scheduling: normal" env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus \
  setpriv --reuid=65534 --regid=65534 --clear-groups "$CLI" send -v --adapter v0 --passes 1 "$T/up.bin"
check 2 '"1e3" is not a whole number from 0 to 4294967294' "$CLI" send --passes 1e3 "$T/up.bin"
check 2 '"-5" is not a number of seconds from 0 to' "$CLI" send --give-up-after -5 "$T/up.bin"
check 2 'unknown command "sned"'                   "$CLI" sned "$T/up.bin"
# Names that are not regular files are refused at once, never waited on.
mkfifo "$T/pipe.bin" "$T/pipe.trx"
check 1 "Please make sure the file exist and it is readable!" timeout 5 "$CLI" send --adapter v0 "$T/pipe.bin"
check 1 "Analyse file version failed!"              timeout 5 "$CLI" inspect "$T/pipe.bin"
check 1 "Analyse file version failed!"              timeout 5 "$CLI" inspect "$T/pipe.trx"
check 1 "Please make sure the file exist and it is readable!" timeout 5 "$CLI" send --adapter v0 /dev/zero
check 1 "Please make sure the file exist and it is readable!" "$CLI" send --adapter v0 "$T/missing.bin"
check 1 "请确认该文件存在并且可读!"                  "$CLI" send --adapter v0 --lang zh "$T/missing.bin"
# Files the window would not send: refused with what it shows, nothing sent.
check 1 "The size of firmware file seems wrong!"   "$CLI" send --adapter v0 "$T/empty.bin"
check 1 "Analyse file version failed! Please check your file!" "$CLI" send --adapter v0 "$T/zeros.bin"
check 1 "Analyse file version failed! Please check your file!" "$CLI" send --adapter v0 "$T/up.txt"
check 1 "Parsing the file failed, maybe caused by unmatched upgrade policy!" "$CLI" send --adapter v0 "$T/fw.trx"
check 1 "解析映像文件失败，可能原因是升级文件和升级策略不匹配!" "$CLI" send --adapter v0 --lang zh "$T/fw.trx"
# Stopped (SIGTERM) before what was asked was done: an adapter without an address never gets
# a socket; a run of many passes is cut short.
check 1 "stopped while the adapter could not be set up" timeout --preserve-status 1 "$CLI" send --adapter v1 "$T/up.bin"
check 1 "gave up after 0.5 s without adapter v1"    "$CLI" send --adapter v1 --passes 2 --give-up-after 0.5 "$T/up.bin"
check 1 "stopped before the 100000 pass(es)"        timeout --preserve-status 1 "$CLI" send --adapter v0 --passes 100000 "$T/up.bin"
check 0 "2 complete pass(es) sent"                  "$CLI" send --adapter v0 --passes 2 "$T/up.bin"
check 2 ""                                         "$CLI" send --adapter v0 --lang fr "$T/up.bin"
check 2 ""                                         "$CLI" send
check 0 "--passes"                                 "$CLI" send --help
check 0 "10.77.0.1"                                "$CLI" adapters
echo "PASS"
