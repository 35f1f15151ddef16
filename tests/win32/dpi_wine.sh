#!/usr/bin/env bash
# The window at 96, 144 and 192 DPI under Wine (the Win32 host test's banner case on a private
# X display): the banner scales with the dialog. Screenshots, win32_banner_<DPI>dpi.png, in
# OUTDIR.
#   dpi_wine.sh WIN32_WINDOW_TEST_EXE OUTDIR
set -euo pipefail
hosttest=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
command -v "$WINE" >/dev/null || { echo "SKIP: Wine is not installed"; exit 77; }
XVFB_SCREEN=1800x1200x24 start_xvfb
trap 'wine_teardown; stop_xvfb' EXIT
wine_setup "$out/wineprefix-dpi"
wine_window_look 1800x1200
shots=$(winepath -w "$out" 2>/dev/null)
for dpi in 96 144 192; do
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$WINE" "$hosttest" --gtest_filter='*TheBannerScalesWithTheDialog*' "$shots" || { echo "FAIL at $dpi DPI"; exit 1; }
  convert "$out/win32_banner_${dpi}dpi.bmp" "$out/win32_banner_${dpi}dpi.png" 2>/dev/null || true
done
echo "PASS: the banner scales with the dialog at 96, 144 and 192 DPI; screenshots in $out"
