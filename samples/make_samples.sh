#!/usr/bin/env bash
# Remakes the bundled sample pictures with ImageMagick's built-in images, one per still format
# the program reads. The committed files were made with this script; it is not part of the build.
set -euo pipefail
cd "$(dirname "$0")"
convert -seed 7 -size 480x360 plasma:tomato-steelblue -blur 0x1 -quality 85 -strip photo.jpg
convert logo: -resize 400x300 -strip logo.png
convert rose: -scale 280x184 -strip rose.gif
convert granite: -resize 200x150! -type TrueColor -strip BMP3:granite.bmp
convert wizard: -resize 240x -compress lzw -strip wizard.tif
convert netscape: -resize 216x144 -type TrueColor -strip netscape.pct
ls -l photo.jpg logo.png rose.gif granite.bmp wizard.tif netscape.pct
