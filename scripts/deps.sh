#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (Debian 12, as root).
# One list for all; add a package here when the code starts to need it.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev zlib1g-dev
  clang libclang-rt-14-dev llvm
  iproute2 util-linux procps tshark tcpdump python3
  qt6-base-dev fonts-liberation fonts-noto-cjk fontconfig
  g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 xvfb xauth x11-utils imagemagick
)
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
