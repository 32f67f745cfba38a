#!/usr/bin/env bash
# Remakes the bundled sample pictures, one per still format the program reads. Every picture is
# drawn here from gradients, noise and shapes. The committed files were made with this script;
# it is not part of the build.
set -euo pipefail
cd "$(dirname "$0")"
rm -f granite.bmp logo.png rose.gif wizard.tif netscape.pct
convert -seed 7 -size 480x360 plasma:tomato-steelblue -blur 0x1 -quality 85 -strip photo.jpg
convert -size 400x300 gradient:'#1e3c72-#f4a261' \
  -fill '#ffd166' -draw 'circle 300,110 300,150' \
  -fill '#2a9d8f' -draw 'polygon 0,300 0,220 90,170 190,230 280,180 400,240 400,300' \
  -fill '#264653' -draw 'polygon 0,300 0,260 120,215 240,270 400,250 400,300' -strip sunset.png
convert -size 280x184 xc:'#f1faee' \
  -fill '#e63946' -draw 'rectangle 20,20 120,120' \
  -fill '#457b9d' -draw 'circle 190,90 190,150' \
  -fill '#1d3557' -draw 'polygon 40,170 140,130 240,170' -strip shapes.gif
convert -size 200x150 pattern:checkerboard -fill '#8ecae6' -colorize 40 \
  -fill '#023047' -draw 'roundrectangle 40,35 160,115 15,15' -type TrueColor -strip BMP3:tiles.bmp
convert -size 240x320 gradient:'#caf0f8-#03045e' \
  -fill '#ffb703' -draw 'ellipse 120,120 60,80 0,360' \
  -fill '#fb8500' -draw 'rectangle 70,230 170,300' -compress lzw -strip tower.tif
convert -size 216x144 radial-gradient:'#ffffff-#6a4c93' \
  -fill '#1982c4' -draw 'rectangle 20,20 90,124' \
  -fill '#8ac926' -draw 'circle 150,72 150,112' -type TrueColor -strip flower.pct
ls -l photo.jpg sunset.png shapes.gif tiles.bmp tower.tif flower.pct
