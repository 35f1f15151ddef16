#!/usr/bin/env bash
# Makes the packages and checks them:
#   build/linux/packages/upgrade-tool-cli_VERSION-REV_amd64.deb   (command line, no Qt)
#   build/linux/packages/upgrade-tool_VERSION-REV_amd64.deb       (the window)
#   build/windows/packages/upgrade-tool-VERSION-windows-x64.zip   (when mingw-w64 and Wine are here)
# Each package's contents are listed; the .deb files go through lintian (any error fails this
# script; the warnings we keep are justified in packaging/lintian/) and the desktop entry
# through desktop-file-validate. Exit status 0 when every package was made and passed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
step() { printf '\n---- %s\n' "$*"; }

cmake --preset linux >/dev/null
cmake --build build/linux -j"$jobs" --target upgrade upgrade-cli upgrade-devsim upgrade-mkfile package_texts
rm -f build/linux/packages/*.deb
(cd build/linux && cpack -G DEB >/dev/null)
debs=(build/linux/packages/*.deb)

# The latest changelog entry names the packages' version.
want=$(dpkg-parsechangelog -l packaging/changelog -S Version)
for deb in "${debs[@]}"; do
  got=$(dpkg-deb -f "$deb" Version)
  [ "$got" = "$want" ] || { echo "package: $deb is version $got, packaging/changelog's latest entry $want" >&2; exit 1; }
done

step "desktop-file-validate"
desktop-file-validate packaging/upgrade-tool.desktop
echo "packaging/upgrade-tool.desktop: valid"

for deb in "${debs[@]}"; do
  step "$(basename "$deb")"
  dpkg-deb -f "$deb" Package Version Depends Recommends Installed-Size
  dpkg-deb -c "$deb" | awk '{ print $1, $3, $6 }'
done

step "lintian"
# --fail-on error: warnings are reported and kept (see packaging/lintian/ for each one's
# reason), errors fail the step. Overrides shipped in the packages are honoured.
lintian --fail-on error --display-info --tag-display-limit 0 "${debs[@]}"
echo "lintian: no errors"

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  step "Windows zip"
  cmake --preset windows >/dev/null
  cmake --build build/windows -j"$jobs" --target upgrade upgrade-cli upgrade-devsim upgrade-mkfile package_texts
  rm -f build/windows/packages/*.zip
  (cd build/windows && cpack -G ZIP >/dev/null)
  for zip in build/windows/packages/*.zip; do
    echo "$(basename "$zip"):"
    unzip -l "$zip" | sed -n '4,$p' | head -n -2
    # Every text in the zip has CRLF line ends.
    for t in $(unzip -Z1 "$zip" | grep '\.txt$'); do
      if unzip -p "$zip" "$t" | grep -q -v $'\r$'; then echo "package: $t has a line without CR" >&2; exit 1; fi
    done
  done
else
  echo "package: no mingw-w64 or Wine here; the Windows zip is not made" >&2
fi
