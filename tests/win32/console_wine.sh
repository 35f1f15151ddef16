#!/usr/bin/env bash
# upgrade-cli.exe's Chinese in a Windows console of code page 936 and in a redirected file
# (console_cp_test.exe). Wine gives a program a console only where it can draw one, so this
# runs on a private X display (Xvfb), in a Wine prefix of its own, in Wine's Simplified
# Chinese locale (LC_ALL=zh_CN.GBK: ANSI and console code page 936).
#   console_wine.sh CONSOLE_CP_TEST_EXE UPGRADE_CLI_EXE OUTDIR
set -euo pipefail
test=$1 cli=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
command -v "$WINE" >/dev/null || { echo "SKIP: Wine is not installed"; exit 77; }
start_xvfb
trap 'wine_teardown; stop_xvfb' EXIT
wine_setup "$out/wineprefix-console"
LC_ALL=zh_CN.GBK "$WINE" "$test" "$cli"
