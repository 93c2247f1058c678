#!/usr/bin/env bash
# Renders versequest.ico (16 to 256 pixels) from the PNG icons of
# packaging/icons, for the program's resources and the installer. Run it
# after changing the icons and commit the result. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
icons=../icons
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for size in 16 24 32; do
  convert "$icons/versequest-256.png" -resize "${size}x$size" -strip "$scratch/icon-$size.png"
done
convert "$scratch"/icon-{16,24,32}.png "$icons"/versequest-{48,64,128,256}.png -strip versequest.ico
