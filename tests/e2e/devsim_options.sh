#!/usr/bin/env bash
# What the device simulator answers for options it cannot use: status 2 and one line, at
# once, before it listens; an --out it cannot write is found before the reception, not after.
source "$(dirname "$0")/lib.sh"
mkfifo "$T/fifo"
check() {  # expected-status expected-text args...
  local want=$1 text=$2; shift 2
  local got=0 start; start=$(date +%s%N)
  timeout 10 "$DEVSIM" "$@" > "$T/out.txt" 2>&1 || got=$?
  local ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$got" -eq "$want" ] || { cat "$T/out.txt"; fail "devsim $* ended with $got, not $want"; }
  [ "$ms" -lt 2000 ] || fail "devsim $* took $ms ms"
  [ -z "$text" ] || expect_in "$T/out.txt" "$text"
  [ "$want" -ne 2 ] || [ "$(wc -l < "$T/out.txt")" -eq 1 ] || { cat "$T/out.txt"; fail "devsim $*: not one line"; }
}
for t in 0 -1 1e10 1e300 nan inf 86401 abc ""; do
  check 2 "--timeout" -i v1 --timeout "$t"
done
for d in -0.1 1.5 nan; do check 2 "--drop" -i v1 --drop "$d"; done
check 2 "--interface is required"         --timeout 1
check 2 'no interface "v9"'               -i v9
check 2 "no folder"                       -i v1 -o "$T/missing/out.bin"
check 2 "not a regular file"              -i v1 -o "$T/fifo"
check 2 "not a regular file"              -i v1 -o "$T"
check 2 ""                                -i v1 --bogus
check 0 "--json"                          --help
# A run that hears nothing: status 1, and neither the file nor a temporary file is left.
check 1 "file incomplete"                 -i v1 --timeout 0.2 -o "$T/none.bin"
[ "$(ls "$T")" = "$(printf 'fifo\nout.txt')" ] || { ls -la "$T"; fail "files left behind"; }
check 1 '"verdict":"file incomplete"'     -i v1 --timeout 0.2 --json
echo "PASS"
