#!/usr/bin/env bash
# completion.sh UPGRADE_CLI COMPLETION_FILE: the bash completion of upgrade-cli, run inside the
# private test segment (tests/e2e/netns.sh), where the adapters are known: v0 (10.77.0.1), the
# bridge and the veth ends, and no loopback.
set -uo pipefail
prog=$1
# shellcheck source=/dev/null
source "$2"
fail=0
complete_line() { COMP_WORDS=("$prog" "$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _upgrade_cli; echo "${COMPREPLY[*]}"; }
expect() {  # description, expected (space-separated, any order), words...
  local what=$1 want=$2; shift 2
  local got; got=$(complete_line "$@" | tr ' ' '\n' | sort | xargs)
  want=$(echo "$want" | tr ' ' '\n' | sort | xargs)
  if [ "$got" = "$want" ]; then echo "ok   $what: $got"; else echo "FAIL $what: got [$got], want [$want]"; fail=1; fi
}
expect_includes() {  # description, words that must be among the offers, words...
  local what=$1 want=$2; shift 2
  local got; got=" $(complete_line "$@") "
  local w missing=""
  for w in $want; do [[ $got == *" $w "* ]] || missing+=" $w"; done
  if [ -z "$missing" ]; then echo "ok   $what:$got"; else echo "FAIL $what: [$got] lacks$missing"; fail=1; fi
}
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
touch "$dir/fw-a.bin" "$dir/fw-b.trx"

expect_includes "subcommands (new ones come from --help)" "adapters inspect send" ""
expect "subcommand by prefix" "send" "se"
expect_includes "options of send, from its --help" "--adapter --passes --force --lang --help" send --
expect "option names of send by prefix" "--passes" send --pa
expect "adapter names and addresses" "br0 v0 v0p v1 v1p 10.77.0.1" send --adapter ""
expect "adapter by prefix" "v0 v0p" send --passes 3 --adapter v0
expect "language values" "en zh" inspect --lang ""
expect "a flag is followed by a file" "$dir/fw-a.bin" send --force "$dir/fw-a"
expect "file after a value" "$dir/fw-a.bin $dir/fw-b.trx" send --adapter v0 "$dir/fw"
expect "nothing offered for a number" "" send --passes ""
exit $fail
