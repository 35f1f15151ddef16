#!/usr/bin/env bash
# desktop_start.sh START_SCRIPT: the menu entry's start script makes the configuration folder
# and starts the window inside it, passing its arguments on. The window is replaced by a stub
# that reports its folder and arguments.
set -uo pipefail
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
sed "s|/usr/bin/upgrade|$work/window|" "$1" > "$work/start"
printf '#!/bin/sh\necho "$PWD|$*"\n' > "$work/window"
chmod +x "$work/start" "$work/window"
fail=0
check() {  # description, expected output, env assignments...
  local what=$1 want=$2; shift 2
  local got; got=$(cd / && env -u XDG_CONFIG_HOME "$@" "$work/start" a "b c" 2>&1)
  if [ "$got" = "$want" ]; then echo "ok   $what"; else echo "FAIL $what: got [$got], want [$want]"; fail=1; fi
}
check "first start: ~/.config/upgrade-tool made" "$work/home one/.config/upgrade-tool|a b c" HOME="$work/home one"
check "second start: the same folder" "$work/home one/.config/upgrade-tool|a b c" HOME="$work/home one"
check "XDG_CONFIG_HOME is honoured" "$work/xdg/upgrade-tool|a b c" HOME="$work/home one" XDG_CONFIG_HOME="$work/xdg"
exit $fail
