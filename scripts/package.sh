#!/usr/bin/env bash
# Makes the packages: build/windows/packages/upgrade-tool-1.0.0.1-windows-x64.zip (the four
# Windows programs and a README) and build/linux/packages/upgrade-tool_1.0.0.1_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
cmake --preset linux >/dev/null
cmake --build build/linux -j"$jobs" --target upgrade upgrade-cli upgrade-devsim upgrade-mkfile
(cd build/linux && cpack -G DEB)
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  cmake --preset windows >/dev/null
  cmake --build build/windows -j"$jobs" --target upgrade upgrade-cli upgrade-devsim upgrade-mkfile
  (cd build/windows && cpack -G ZIP)
else
  echo "package: no mingw-w64 or Wine here; the Windows zip is not made" >&2
fi
ls -l build/linux/packages/*.deb build/windows/packages/*.zip 2>/dev/null
