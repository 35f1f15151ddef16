#!/usr/bin/env bash
# Sending under Wine on the private test segment (run inside tests/e2e/netns.sh): the Windows
# upgrade-mkfile.exe makes a package, the Windows upgrade-cli.exe sends it for two passes from
# v0 (10.77.0.1), and the Linux device simulator on v1 receives it whole and verified; then
# the same for a file named "Prüfung.bin" in a folder named "固件 测试".
#   send_wine_netns.sh UPGRADE_CLI_EXE UPGRADE_MKFILE_EXE LINUX_DEVSIM OUTDIR
set -euo pipefail
cli=$1 mkfile=$2 devsim=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
ip -o addr show dev v0 2>/dev/null | grep -q '10\.77\.0\.1/' || { echo "FAIL: not inside the test segment"; exit 1; }
[ -x "$devsim" ] || { echo "SKIP: the Linux device simulator $devsim is not built"; exit 77; }
command -v "$WINE" >/dev/null || { echo "SKIP: Wine is not installed"; exit 77; }

# Wine keeps Linux file names in the locale's character set: UTF-8 here, as on any desktop.
export LC_ALL=C.UTF-8
# The prefix's wineserver starts here, inside the namespace: Wine's adapter list is then this
# namespace's, and nothing can reach the machine's own interfaces.
wine_setup "$out/wineprefix-netns"
run="$out/netns-run"
rm -rf "$run"
mkdir -p "$run"
cd "$run"
trap 'kill $(jobs -p) 2>/dev/null || true; wine_teardown' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Paths stay relative: the Windows programs take a leading '/' for an option.
"$WINE" "$mkfile" package --version "WINE E2E" --unit ROUTER,info=1000 --unit BOOT,info=150000 up.bin \
  || fail "upgrade-mkfile.exe failed"
size=$(stat -c %s up.bin)
echo "package of $size bytes"
"$WINE" "$cli" adapters > adapters.txt || fail "upgrade-cli.exe adapters failed"
cat adapters.txt
grep -q '10\.77\.0\.1' adapters.txt || fail "Wine's adapter list has no 10.77.0.1"
# An adapter without an address is named by the adapter box's text, never by its GUID.
bare=$(grep -m1 'IP:0\.0\.0\.0' adapters.txt | tr -d '\r') || fail "no adapter without an address"
"$WINE" "$cli" send --adapter "${bare%%$'\t'*}" missing.bin 2> bare.txt && fail "send of a missing file succeeded"
grep -qF "adapter ${bare#*$'\t'} has no IPv4 address" bare.txt || { cat bare.txt; fail "the adapter without an address"; }

"$devsim" -i v1 --name wine -o received.bin --timeout 40 > device.txt 2>&1 &
device=$!
sleep 0.5
status=0
"$WINE" "$cli" send --adapter 10.77.0.1 --passes 2 up.bin > send_out.txt 2> send.txt || status=$?
[ $status -eq 0 ] || { cat send.txt; fail "send ended with $status"; }
cat send.txt
grep -qF "2 complete pass(es) sent" send.txt || fail "the sender did not report two passes"
wait "$device" || { cat device.txt; fail "the device did not get the file"; }
cat device.txt
cmp up.bin received.bin || fail "the device holds other bytes"
grep -qF "CRC failures        0" device.txt || fail "CRC failures"
grep -qF "inconsistent        0" device.txt || fail "inconsistent datagrams"
echo "PASS: $size bytes received whole from upgrade-cli.exe under Wine"

# A name in other scripts, on the command line of both Windows programs.
mkdir -p "固件 测试"
file="固件 测试/Prüfung.bin"
"$WINE" "$mkfile" package --version "WINE 测试" --unit BOOT,info=70000 "$file" || fail "upgrade-mkfile.exe: $file"
"$devsim" -i v1 --name wine-unicode -o received-unicode.bin --timeout 40 > device-unicode.txt 2>&1 &
device=$!
sleep 0.5
status=0
"$WINE" "$cli" send --adapter 10.77.0.1 --passes 1 --lang zh "$file" > send-unicode_out.txt 2> send-unicode.txt || status=$?
[ $status -eq 0 ] || { cat send-unicode.txt; fail "send of $file ended with $status"; }
grep -qF "1 complete pass(es) sent" send-unicode.txt || fail "the sender did not report one pass of $file"
wait "$device" || { cat device-unicode.txt; fail "the device did not get $file"; }
cmp "$file" received-unicode.bin || fail "the device holds other bytes than $file"
echo "PASS: $file received whole"
