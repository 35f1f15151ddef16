#!/usr/bin/env bash
# man_options.sh PROGRAM MANPAGE: the man page and the program's --help name the same options
# and subcommands. The program's options are compared with the page's OPTIONS section; each
# subcommand listed by --help must have a ".SS NAME" under COMMANDS whose items (.TP, the
# option named in bold on the next line) are that subcommand's options (-h/--help aside).
# A new option or subcommand therefore fails this test until the page describes it. The page
# must also format without a warning from man/groff.
set -euo pipefail
prog=$1 page=$2
fail=0

# --help of CLI11 (and the window's own text in the same form): two-space indented entries
# under "Options:" and "Subcommands:", each section ending at a blank line.
help_entries() {  # section, then the program's arguments
  local section=$1; shift
  "$prog" "$@" --help | awk -v want="$section:" '
    /^[^ ]/ { in_sec = ($0 == want); next }
    /^$/ { in_sec = 0; next }
    in_sec && /^  [^ ]/ { print $1 }'
}
help_options() { help_entries Options "$@" | tr ',' '\n' | sort -u; }

# The page's items: scope "main" in OPTIONS, the subcommand's name in a .SS under COMMANDS.
page_options() {  # scope
  awk -v want="$1" '
    /^\.SH/ { sec = $2; scope = (sec == "OPTIONS") ? "main" : ""; next }
    /^\.SS/ && sec == "COMMANDS" { scope = $2; gsub(/"/, "", scope); gsub(/\\-/, "-", scope); next }
    /^\.TP/ { item = 1; next }
    item { item = 0; if (scope != want) next
           line = $0; gsub(/\\-/, "-", line); gsub(/\\f[BIRP]/, "", line)
           n = split(line, tok, /[ ",]+/)
           for (i = 1; i <= n; i++) if (tok[i] ~ /^--?[A-Za-z0-9][A-Za-z0-9-]*$/) print tok[i] }' "$page" | sort -u
}
page_subcommands() {
  awk '/^\.SH/ { sec = $2; next }
       /^\.SS/ && sec == "COMMANDS" { s = $2; gsub(/"/, "", s); gsub(/\\-/, "-", s); print s }' "$page" | sort -u
}

compare() {  # what, help list, page list
  if [ "$2" != "$3" ]; then
    echo "FAIL $1"
    diff <(echo "$2") <(echo "$3") | sed -n 's/^< /  only in --help: /p; s/^> /  only in the man page: /p' | grep -v ': $' || true
    fail=1
  else
    echo "ok   $1: $(echo "$2" | tr '\n' ' ')"
  fi
}

compare "$(basename "$page") OPTIONS" "$(help_options)" "$(page_options main)"
subs=$(help_entries Subcommands | sort -u)
compare "$(basename "$page") COMMANDS" "$subs" "$(page_subcommands)"
for s in $subs; do
  compare "$(basename "$page") COMMANDS/$s" "$(help_options "$s" | grep -vx -e -h -e --help || true)" "$(page_options "$s")"
done

if command -v man >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || true)
  if [ -n "$warnings" ]; then echo "FAIL $(basename "$page") formats with warnings:"; echo "$warnings"; fail=1; fi
fi
exit $fail
