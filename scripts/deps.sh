#!/usr/bin/env bash
# Installs the Debian packages one purpose needs (Debian 12, as root), and nothing more:
#   deps.sh demo     the demo: compiler, CMake with Ninja, CLI11, and the network namespace tools
#   deps.sh window   the demo's and the Linux window's (Qt 6 and the fonts its texts need)
#   deps.sh tests    everything scripts/test.sh runs: the window, GoogleTest, the sanitizer and
#                    fuzzing toolchain, the Windows cross build with Wine, the package checks
# Without an argument: tests. Add a package to the list of the purpose that needs it.
set -euo pipefail
DEMO=(
  build-essential cmake ninja-build              # compiler, CMake presets (Ninja)
  libcli11-dev                                   # the command line's parser
  iproute2 procps util-linux                     # ip, sysctl, unshare: the private test segment
)
WINDOW=(
  qt6-base-dev pkg-config                        # the Linux window
  qt6-translations-l10n                          # Qt's own texts in Chinese (standard buttons, file dialog)
  fonts-liberation fonts-noto-cjk fontconfig     # the dialog font and the Chinese texts
)
TESTS=(
  googletest libgtest-dev libgmock-dev zlib1g-dev
  clang libclang-rt-14-dev llvm                  # fuzzing (libFuzzer) and the sanitizers
  g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 xvfb xauth x11-utils imagemagick   # Windows build and its tests
  xdotool twm                                    # the window's first start under a private X server
  tshark tcpdump python3                         # the dissector's tests, captures, JSON read by the e2e tests
  dbus-daemon libsystemd-dev                     # RealtimeKit's test: a private bus, the stand-in service (sd-bus)
  file groff-base unzip lintian desktop-file-utils   # packages: CPack's library scan, man pages as text, checks
)
purpose=${1:-tests}
case "$purpose" in
  demo) PACKAGES=("${DEMO[@]}") ;;
  window) PACKAGES=("${DEMO[@]}" "${WINDOW[@]}") ;;
  tests) PACKAGES=("${DEMO[@]}" "${WINDOW[@]}" "${TESTS[@]}") ;;
  *) echo "usage: deps.sh [demo|window|tests]" >&2; exit 2 ;;
esac
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages (${missing[*]}); run as root or install them" >&2
    exit 1
  fi
  echo "deps: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
