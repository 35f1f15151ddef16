#!/usr/bin/env bash
# The pace of the Windows build under Wine beside the Linux build, one after the other on the
# same private test segment: each upgrade-cli sends one pass of a package of 5000 datagrams
# from v0, and bench_pacing --listen times the arrivals on v1 with kernel timestamps and reads
# the sender's processor time (for Wine: the program and the prefix's wineserver).
#   tests/e2e/netns.sh bench/pacing_wine.sh build/linux build/windows
set -euo pipefail
lin=$(cd "$1" && pwd) win=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/win32/wine_env.sh"
ip -o addr show dev v0 2>/dev/null | grep -q '10\.77\.0\.1/' || { echo "run it inside tests/e2e/netns.sh" >&2; exit 2; }
# The prefix's wineserver starts here, inside the namespace, so Wine sees only the segment.
wine_setup "$win/wineprefix-bench"
work=$(mktemp -d)
trap 'wine_teardown; rm -rf "$work"' EXIT
chmod 755 "$work"
cd "$work"
"$lin/tools/mkfile/upgrade-mkfile" package --version BENCH --unit ROUTER,info=1000 --unit BOOT,info=5118000 pk.bin
chmod 644 pk.bin
echo "package of $(stat -c %s pk.bin) bytes: $(( ($(stat -c %s pk.bin) + 1023) / 1024 )) datagrams; load: $(uptime)"
"$WINE" "$win/cli/upgrade-cli.exe" --version >/dev/null 2>&1 || true  # starts the prefix's programs once

# run LABEL COMMAND...: the listener first, then the sender; the rate line goes to LABEL.txt.
run() {
  local label=$1
  shift
  : > pids
  "$lin/bench/bench_pacing" --listen 4990 pids > "$label.txt" &
  local listener=$!
  sleep 0.3
  "$@" > "$label.log" 2>&1 &
  local sender=$!
  echo "$sender" > pids
  for p in $(pgrep -x wineserver || true); do
    if tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then echo "$p" >> pids; fi
  done
  wait "$sender" || { cat "$label.log"; echo "$label: the sender failed" >&2; }
  wait "$listener" || true
  echo "$label ($(uptime | sed 's/.*load/load/')):"
  cat "$label.txt"
}
run linux "$lin/cli/upgrade-cli" send --adapter 10.77.0.1 --passes 1 pk.bin
run linux-normal setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --rtprio=0 \
  "$lin/cli/upgrade-cli" send --adapter 10.77.0.1 --passes 1 pk.bin
run wine "$WINE" "$win/cli/upgrade-cli.exe" send --adapter 10.77.0.1 --passes 1 pk.bin
rate() { sed -n 's/.* \([0-9.]*\) datagrams\/s.*/\1/p' "$1.txt"; }
awk -v w="$(rate wine)" -v l="$(rate linux)" -v n="$(rate linux-normal)" 'BEGIN {
  printf "Wine %.1f/s; Linux (real time) %.1f/s, ratio %.3f; Linux (normal priority) %.1f/s, ratio %.3f\n", w, l, w / l, n, w / n }'
