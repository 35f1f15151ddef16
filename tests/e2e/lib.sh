# Helpers for the end-to-end tests; sourced inside the private test segment of netns.sh.
# Every test gets its own scratch folder, removed at the end.
set -euo pipefail
CLI=$1
DEVSIM=$2
T=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$T"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
# A file of N bytes with reproducible contents.
make_file() { head -c "$2" /dev/zero | openssl enc -aes-128-ctr -nosalt -pass pass:"$2" 2>/dev/null > "$1"; }
# Starts a device on v1; its summary goes to $T/NAME.txt, the file to $T/NAME.bin.
start_device() {
  local name=$1; shift
  "$DEVSIM" -i v1 --name "$name" -o "$T/$name.bin" "$@" > "$T/$name.txt" 2>&1 &
  eval "pid_$name=$!"
}
wait_device() { local p; eval "p=\$pid_$1"; wait "$p"; }
expect_in() { grep -qF -- "$2" "$1" || { cat "$1" >&2; fail "\"$2\" not in $1"; }; }
