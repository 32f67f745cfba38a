#!/usr/bin/env bash
# Remakes the bundled sample pictures, one per still format the program reads. Every picture is
# drawn here from gradients, noise and shapes, and today's formats are written by their own
# encoders (heif-enc, avifenc, cwebp, cjxl) and by bench/make_dng.py. The committed files were made with this script;
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

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -seed 11 -size 480x320 plasma:'#0077b6-#caf0f8' -blur 0x2 \
  -fill '#fefae0' -draw 'polygon 120,230 200,120 200,230' -fill '#bc6c25' -draw 'rectangle 90,230 260,250' \
  -fill '#03045e' -draw 'rectangle 0,250 480,320' "$tmp/harbour.png"
heif-enc -q 60 "$tmp/harbour.png" -o harbour.heic >/dev/null
convert -size 400x300 gradient:'#ffb703-#fb8500' \
  -fill '#dda15e' -draw 'ellipse 120,300 220,90 180,360' -fill '#bc6c25' -draw 'ellipse 330,300 200,70 180,360' \
  "$tmp/dunes.png"
avifenc --min 20 --max 32 -s 8 "$tmp/dunes.png" dunes.avif >/dev/null
convert -size 300x300 xc:none -fill '#6a994e' -draw 'ellipse 150,150 70,130 0,360' \
  -stroke '#386641' -strokewidth 6 -draw 'line 150,30 150,280' "$tmp/leaf.png"
cwebp -quiet -q 80 -alpha_q 100 "$tmp/leaf.png" -o leaf.webp
convert -seed 5 -size 480x270 plasma:'#10002b-#2d6a4f' -blur 0x3 \
  -fill '#80ffdb' -draw 'bezier 0,160 160,40 320,200 480,90' "$tmp/aurora.png"
cjxl -d 1.5 "$tmp/aurora.png" aurora.jxl >/dev/null 2>&1
convert -size 320x240 gradient:'#a7c957-#386641' -fill '#f2e8cf' -draw 'circle 250,60 250,85' "$tmp/meadow.png"
python3 ../bench/make_dng.py "$tmp/meadow.png" meadow.dng
ls -l photo.jpg sunset.png shapes.gif tiles.bmp tower.tif flower.pct harbour.heic dunes.avif leaf.webp aurora.jxl \
  meadow.dng
