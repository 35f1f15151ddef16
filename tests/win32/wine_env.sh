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
