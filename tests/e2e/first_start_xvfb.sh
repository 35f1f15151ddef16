#!/usr/bin/env bash
# The window's first start in a read-only folder, on a private X display with a window
# manager: the archive tool prompt (title bar on screen), the file dialog, a chosen file,
# one note naming the folder, then the main window. Then, with keys only: Open, an upgrade
# file, Space on Start (the focus went there) with no adapter to send from - the window
# waits without using the processor - and Space on Stop; Force Upgrade stays unticked.
# Escape ends it with status 0 and the folder stays as it was. Runs in a mount namespace of
# its own (the folder is bound read-only, so that not even root can write there) and a
# network namespace with no adapter, so nothing could ever be sent. Screenshots land in
# OUTDIR.
#   first_start_xvfb.sh UPGRADE MKFILE OUTDIR
set -euo pipefail
upgrade=$(realpath "$1") mkfile=$(realpath "$2") out=$(realpath -m "$3")
for tool in Xvfb xdotool twm unshare; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ "${FIRST_START_INNER:-}" != 1 ]; then
  unshare -m -n --propagation private true 2>/dev/null || { echo "SKIP: no namespaces here"; exit 77; }
  FIRST_START_INNER=1 exec unshare -m -n --propagation private "$0" "$@"
fi
mkdir -p "$out"
T=$(mktemp -d)
folder="$T/plant pc"
mkdir -p "$folder" "$T/run"
chmod 700 "$T/run"
mount --bind "$folder" "$folder"
mount -o remount,bind,ro "$folder"
export XDG_RUNTIME_DIR="$T/run"
fail() { echo "FAIL: $*" >&2; cat "$T/stderr.txt" >&2 2>/dev/null; import -window root "$out/first_start_failed.png" 2>/dev/null || true; exit 1; }

disp=""
for n in $(seq 121 149); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then disp=$n; break; fi
done
[ -n "$disp" ] || fail "no free X display"
Xvfb ":$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$disp"
pids=()
cleanup() {
  cd /
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  umount "$folder" 2>/dev/null || true
  rm -rf "$T"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done
# A window manager that draws title bars and keeps the place a program asks for.
# (Xvfb has only its built-in "fixed" font.)
printf 'RandomPlacement\nUsePPosition "on"\nDecorateTransients\nNoGrabServer\n' > "$T/twmrc"
for f in TitleFont ResizeFont MenuFont IconFont IconManagerFont; do echo "$f \"fixed\"" >> "$T/twmrc"; done
LC_ALL=C twm -f "$T/twmrc" >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

# The window manager's frame, title bar included, lies within the screen, and the window is
# centred across it.
expect_on_screen() {
  local id=$1 what=$2 x y w frame fy
  eval "$(xdotool getwindowgeometry --shell "$id")"
  x=$X y=$Y w=$WIDTH
  frame=$(xwininfo -children -id "$id" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  fy=$(xwininfo -id "$frame" | sed -n 's/.*Absolute upper-left Y: *\(-\?[0-9]*\).*/\1/p')
  [ "$fy" -ge 0 ] && [ "$y" -gt "$fy" ] || fail "$what: frame at y=$fy, window at y=$y: its title bar is not on screen"
  [ $(( (x + w / 2) - 640 )) -le 30 ] && [ $(( 640 - (x + w / 2) )) -le 30 ] ||
    fail "$what: not centred (x=$x, width $w)"
}
# Waits for a window of the program whose name matches; prints its id.
await() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --all --onlyvisible --pid "$app" --name "$1" 2>/dev/null | tail -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window \"$1\" came"
}

cd "$folder"
"$upgrade" 2> "$T/stderr.txt" &
app=$!
pids+=("$app")

prompt=$(await '^Notify$')
sleep 0.3
expect_on_screen "$prompt" "the archive tool prompt"
import -window root "$out/first_start_1_prompt.png"
# twm gives the focus to the window under the pointer: the pointer goes there first.
focus() { xdotool mousemove --window "$1" 20 20 && xdotool windowfocus --sync "$1" && sleep 0.2; }
press() { focus "$1" && xdotool key "$2"; }
press "$prompt" Return

dialog=$(await '.')
sleep 0.5
[ "$dialog" != "$prompt" ] || fail "the prompt did not close"
expect_on_screen "$dialog" "the file dialog"
import -window root "$out/first_start_2_file_dialog.png"
focus "$dialog"
xdotool type --delay 5 /usr/bin/env
xdotool key Return

note=$(await '^Notify$')
sleep 0.3
expect_on_screen "$note" "the note"
import -window root "$out/first_start_3_note.png"
press "$note" Return

main=$(await '^Upgrade Tool\(ZR880\)$')
sleep 0.5
import -window root "$out/first_start_4_main_window.png"
[ -z "$(xdotool search --all --onlyvisible --pid "$app" --name '^Notify$' 2>/dev/null)" ] || fail "a prompt came back"

# Keys only from here. Tab from the adapter box (the first tab stop) to Refresh, the path
# field is skipped, then Open; Space presses it.
"$mkfile" package --version "2.4.1" --unit ROUTER,info=1000 --size 1M "$T/upgrade.bin" >/dev/null
focus "$main"
xdotool key Tab Tab space
files=$(await '^Open$')
sleep 0.5
focus "$files"
xdotool type --delay 5 "$T/upgrade.bin"
xdotool key Return
sleep 1.5
import -window root "$out/first_start_5_file_chosen.png"
# The focus is on Start now: Space starts. With no adapter the worker waits for one.
cpu() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
xdotool key space
sleep 1
before=$(cpu)
sleep 3
after=$(cpu)
import -window root "$out/first_start_6_waiting.png"
ticks=$((after - before))
echo "processor time of the waiting window over 3 s: $ticks ticks of 1/$(getconf CLK_TCK) s"
[ "$ticks" -le 30 ] || fail "the waiting window used $ticks ticks in 3 s"
# The focus is on Stop: Space stops.
xdotool key space
sleep 0.5
import -window root "$out/first_start_7_stopped.png"
press "$main" Escape
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Escape did not end the window"
status=0
wait "$app" || status=$?
[ "$status" -eq 0 ] || fail "the window ended with status $status"
[ -z "$(ls -A "$folder")" ] || fail "something was written into the read-only folder"
grep -q . "$T/stderr.txt" && { cat "$T/stderr.txt" >&2; }
echo "first start in a read-only folder: prompt, file dialog, one note, main window"
