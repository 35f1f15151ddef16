#!/usr/bin/env bash
# The window program under Wine on a private X display (Xvfb): the first copy shows its
# window "Upgrade Tool(ZR880)" with its controls in their first state; a second copy shows
# "One instance of upgrade tool is running!" (in Chinese when the settings say so) and ends
# with status 0, leaving the first copy running; once the first copy has closed, a new start
# shows the window again. With the Windows fixture builder given, the first copy also opens a
# package in a folder named "固件 测试" through its Open button and the system's file dialog,
# and shows its version. Screenshots land in OUTDIR.
#   window_wine.sh UPGRADE_EXE WINPROBE_EXE OUTDIR [WIN32_WINDOW_TEST_EXE [MKFILE_EXE]]
set -euo pipefail
upgrade=$1 probe=$2 out=$3 hosttest=${4:-} mkfile=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
command -v "$WINE" >/dev/null || { echo "SKIP: Wine is not installed"; exit 77; }

# A free display number.
disp=""
for n in $(seq 91 119); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then disp=$n; break; fi
done
[ -n "$disp" ] || { echo "no free X display"; exit 1; }
Xvfb ":$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$disp"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wine_teardown
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done

# Wine keeps Linux file names in the locale's character set: UTF-8 here, as on any desktop.
export LC_ALL=C.UTF-8
wine_setup "$out/wineprefix-window"
wine_window_look

run="$out/window-run"
rm -rf "$run"
mkdir -p "$run"
cd "$run"
# The archive tool is found (any existing program), so no prompt comes before the window.
printf '[ip]\r\nrar=C:\\windows\\notepad.exe\r\nlanguage=0\r\n' > ip.bak
title="Upgrade Tool(ZR880)"
fail() { echo "FAIL: $*"; exit 1; }
shot() { import -window root "$out/$1" 2>/dev/null || xwd -root -silent > "$out/${1%.png}.xwd" || true; }

# The Win32 host in one process: places, system menu, About box, keys.
if [ -n "$hosttest" ]; then
  "$WINE" "$hosttest" "$(winepath -w "$out" 2>/dev/null)" || fail "the Win32 host test failed"
  for b in "$out"/win32_*.bmp; do [ -f "$b" ] && convert "$b" "${b%.bmp}.png" 2>/dev/null || true; done
fi

"$WINE" "$upgrade" & first=$!; pids+=("$first")
"$WINE" "$probe" wait "$title" 60 || fail "the first copy shows no window titled \"$title\""
sleep 1
"$WINE" "$probe" controls "$title" > controls.txt
echo "--- controls of the first copy"; cat controls.txt
grep -q '^1025 1 1 Button|Refresh$' controls.txt || fail "Refresh"
grep -q '^1000 1 1 Button|Open$' controls.txt || fail "Open"
grep -q '^1007 0 1 Button|Start$' controls.txt || fail "Start is not disabled"
grep -q '^1027 0 1 Button|Stop$' controls.txt || fail "Stop is not disabled"
grep -q '^1043 [01] 0 ComboBox|' controls.txt || fail "the policy box is not hidden"
grep -q '^1060 1 1 Button|YES$' controls.txt || fail "the force check box"
grep -q '^1006 1 1 msctls_progress32|' controls.txt || fail "the progress bar"
shot window_main.png

# Open, the system's file dialog, a package in a folder named in Chinese: the path and the
# version line show, and Start is enabled.
if [ -n "$mkfile" ]; then
  mkdir -p "固件 测试"
  "$WINE" "$mkfile" package --version "V3 测试" --unit ROUTER,info=1000 --unit BOOT,info=70000 "固件 测试/V3 固件.bin" \
    || fail "upgrade-mkfile.exe cannot write into \"固件 测试\""
  winfile=$(winepath -w "$run/固件 测试/V3 固件.bin" 2>/dev/null)
  "$WINE" "$probe" press "$title" 1000
  "$WINE" "$probe" wait "Open" 60 || fail "Open shows no file dialog"
  sleep 1
  # The dialog's file name box (cmb13), then its Open button (IDOK).
  "$WINE" "$probe" settext "Open" 1148 "$winfile" || fail "the file dialog has no file name box"
  "$WINE" "$probe" press "Open" 1
  "$WINE" "$probe" gone "Open" 30 || fail "the file dialog stays open"
  opened=""
  for _ in $(seq 100); do
    "$WINE" "$probe" controls "$title" > opened.txt
    grep -q '^1044 1 1 Static|.*V3 测试' opened.txt && { opened=1; break; }
    sleep 0.2
  done
  echo "--- controls after the Chinese path was opened"; cat opened.txt
  [ -n "$opened" ] || fail "no version line for the file in \"固件 测试\""
  grep "^1001 " opened.txt | grep -qF "$winfile" || fail "the path field does not show $winfile"
  grep -q '^1007 1 1 Button|Start$' opened.txt || fail "Start is not enabled for the opened file"
  shot window_chinese_path.png
fi

# A second copy, English.
"$WINE" "$upgrade" & second=$!; pids+=("$second")
"$WINE" "$probe" texts "Error" 60 > second.txt || fail "the second copy shows no box captioned Error"
echo "--- the second copy's box"; cat second.txt
grep -qx 'One instance of upgrade tool is running!' second.txt || fail "the second copy's text"
shot window_second_copy.png
"$WINE" "$probe" press "Error" 1
status=0; wait "$second" || status=$?
[ "$status" = 0 ] || fail "the second copy ended with status $status"
"$WINE" "$probe" wait "$title" 1 || fail "the first copy went away with the second"

# A second copy, Chinese: the stored language is read before the refusal.
printf '[ip]\r\nrar=C:\\windows\\notepad.exe\r\nlanguage=1\r\n' > ip.bak
"$WINE" "$upgrade" & third=$!; pids+=("$third")
"$WINE" "$probe" texts "错误" 60 > third.txt || fail "the Chinese box captioned 错误 did not come"
echo "--- the Chinese box"; cat third.txt
grep -qx '已经有一个升级工具的实例在运行!' third.txt || fail "the Chinese text"
shot window_second_copy_chinese.png
"$WINE" "$probe" press "错误" 1
status=0; wait "$third" || status=$?
[ "$status" = 0 ] || fail "the Chinese second copy ended with status $status"

# The first copy closes; the marker goes with it, and a new start shows the window.
"$WINE" "$probe" close "$title"
status=0; wait "$first" || status=$?
[ "$status" = 0 ] || fail "the first copy ended with status $status"
"$WINE" "$upgrade" & again=$!; pids+=("$again")
"$WINE" "$probe" wait "$title" 60 || fail "a new start after the first copy closed shows no window"
sleep 1
shot window_chinese.png
"$WINE" "$probe" close "$title"
status=0; wait "$again" || status=$?
[ "$status" = 0 ] || fail "the new start ended with status $status"
echo "window test passed; screenshots in $out"
