# Shared by the Wine test scripts: a Wine prefix of the test's own under the build folder,
# whose wineserver is started (and ended) by the test itself, so that it runs where the test
# runs (inside a private network namespace, or with the test's own X display).
#   wine_setup PREFIX     makes or reuses the prefix, no wineserver left running from before
#   wine_teardown         ends the prefix's wineserver
: "${WINE:=wine}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

wine_setup() {
  export WINEPREFIX="$1"
  mkdir -p "$WINEPREFIX"
  wineserver -k 2>/dev/null || true  # one started elsewhere must not serve this test
  wineserver -w 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE" wineboot -i >/dev/null 2>&1 || true
  fi
}

wine_teardown() {
  wineserver -k 2>/dev/null || true
}

# A private X display for the programs that need one (Xvfb on a free display number):
#   start_xvfb    exports DISPLAY            stop_xvfb    ends that Xvfb
start_xvfb() {
  local n
  XVFB_PID=""
  for n in $(seq 120 159); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    kill "$XVFB_PID" 2>/dev/null || true
  done
  echo "no free X display"
  return 1
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# The window's look in a prefix: one desktop window of Wine's own of the given size, so that
# title bars and frames are drawn (no window manager runs on the private display); the dialog
# faces that Wine lacks, and Chinese glyphs linked to the faces that lack them.
#   wine_window_look [WIDTHxHEIGHT]
wine_window_look() {
  local subst link face
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${1:-1024x768}" /f >/dev/null 2>&1
  subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  "$WINE" reg add "$subst" /v "Times New Roman" /d "Liberation Serif" /f >/dev/null 2>&1
  "$WINE" reg add "$subst" /v "宋体" /d "Noto Serif CJK SC" /f >/dev/null 2>&1
  for face in "Liberation Serif" Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
    "$WINE" reg add "$link" /v "$face" /t REG_MULTI_SZ /d "NotoSansCJK-Regular.ttc,Noto Sans CJK SC" /f >/dev/null 2>&1
  done
}
