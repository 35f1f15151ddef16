#!/usr/bin/env bash
# Renders the PNG icons of the desktop launcher from upgrade-tool.svg (needs rsvg-convert,
# Debian package librsvg2-bin). The PNGs are committed, so a build does not need this.
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" upgrade-tool.svg -o "upgrade-tool-$size.png"
done
