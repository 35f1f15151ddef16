# Helpers for the end-to-end tests; sourced inside the private test segment of netns.sh.
# Every test gets its own scratch folder, removed at the end.
set -euo pipefail
CLI=$1
DEVSIM=$2
MKFILE=$3
EMIT=${4:-}  # tests/e2e/emit.cpp: hand-made datagrams
T=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$T"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
# An upgrade package of N bytes (N at least 64 KiB) that the analysis accepts: a small
# ROUTER unit made by the fixture builder, then reproducible pseudo-random bytes, so that a
# chunk in the wrong place shows.
make_file() {
  "$MKFILE" package --version "E2E $2" --unit ROUTER,info=1000 "$1"
  local have; have=$(stat -c %s "$1")
  head -c $(( $2 - have )) /dev/zero | openssl enc -aes-128-ctr -nosalt -pass pass:"$2" 2>/dev/null >> "$1"
  [ "$(stat -c %s "$1")" -eq "$2" ] || fail "could not make a package of $2 bytes"
}
# Starts a device on v1 (start_device_on: on the named interface); its summary goes to
# $T/NAME.txt, the file to $T/NAME.bin.
start_device() { start_device_on v1 "$@"; }
start_device_on() {
  local iface=$1 name=$2; shift 2
  "$DEVSIM" -i "$iface" --name "$name" -o "$T/$name.bin" "$@" > "$T/$name.txt" 2>&1 &
  eval "pid_$name=$!"
}
# A device that must end with status 1 having checked no datagram at all: one on a segment
# where nothing was sent.
expect_silent() {
  local status=0
  wait_device "$1" || status=$?
  [ "$status" -eq 1 ] || { cat "$T/$1.txt" >&2; fail "device $1 ended with $status, not 1"; }
  expect_in "$T/$1.txt" "file incomplete"
  expect_in "$T/$1.txt" "datagrams checked   0"
  [ ! -e "$T/$1.bin" ] || fail "device $1 wrote a file"
}
wait_device() { local p; eval "p=\$pid_$1"; wait "$p"; }
expect_in() { grep -qF -- "$2" "$1" || { cat "$1" >&2; fail "\"$2\" not in $1"; }; }
# Runs a command and checks its exit status and, unless the text is empty, that its output
# (standard output and error) holds the text:  check STATUS TEXT COMMAND [ARG...]
check() {
  local want=$1 text=$2; shift 2
  local got=0
  "$@" > "$T/out.txt" 2>&1 || got=$?
  [ "$got" -eq "$want" ] || { cat "$T/out.txt"; fail "$* ended with $got, not $want"; }
  [ -z "$text" ] || expect_in "$T/out.txt" "$text"
}
