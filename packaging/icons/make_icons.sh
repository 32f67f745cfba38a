#!/bin/sh
# Renders mirelo.svg into the hicolor PNG sizes committed beside it (ImageMagick, which hands
# SVG to rsvg-convert from librsvg2-bin). Run by hand after the drawing changes.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  convert -background none -density $((size * 96 / 64)) mirelo.svg -resize "${size}x${size}" \
    -strip -define png:exclude-chunks=date,time "PNG32:hicolor-${size}.png"
done
