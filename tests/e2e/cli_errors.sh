#!/usr/bin/env bash
# What the command line answers for what it cannot do.
source "$(dirname "$0")/lib.sh"
make_file "$T/up.bin" 5000
: > "$T/empty.bin"
check() {  # expected-status expected-text command...
  local want=$1 text=$2; shift 2
  local got=0
  "$@" > "$T/out.txt" 2>&1 || got=$?
  [ "$got" -eq "$want" ] || { cat "$T/out.txt"; fail "$* ended with $got, not $want"; }
  [ -z "$text" ] || expect_in "$T/out.txt" "$text"
}
check 1 'no adapter "eth9"'                        "$CLI" send --adapter eth9 "$T/up.bin"
check 1 'no adapter "7"'                           "$CLI" send --adapter 7 "$T/up.bin"
check 1 "Please make sure the file exist and it is readable!" "$CLI" send --adapter v0 "$T/missing.bin"
check 1 "请确认该文件存在并且可读!"                  "$CLI" send --adapter v0 --lang zh "$T/missing.bin"
check 1 "CRC error!"                               "$CLI" send --adapter v0 "$T/empty.bin"
check 2 ""                                         "$CLI" send --adapter v0 --lang fr "$T/up.bin"
check 2 ""                                         "$CLI" send
check 0 "--passes"                                 "$CLI" send --help
check 0 "10.77.0.1"                                "$CLI" adapters
echo "PASS"
