#!/usr/bin/env bash
# Renders the PNG icons (48, 64, 128 and 256 pixels) from versequest.svg.
# Run it after changing the SVG and commit the results; the build uses the
# committed files. Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" versequest.svg --output "versequest-$size.png"
done
