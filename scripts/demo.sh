#!/usr/bin/env bash
# The main job on bundled samples: mirelo-batch makes one thumbnail of each sample picture
# (samples/: JPEG, PNG, GIF, BMP, TIFF, PICT, HEIC, AVIF, WebP, JPEG XL, DNG) and one of each of two
# short clips made here with ffmpeg (an AVI, and an MP4 filmed upright as phones store it: landscape
# frames with a quarter-turn rotation), with a fresh configuration, into build/demo-output/.
# MIRELO_BUILD_DIR picks another build folder; MIRELO_DEMO_SKIP_BUILD=1 uses it as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${MIRELO_BUILD_DIR:-build}
if [ "${MIRELO_DEMO_SKIP_BUILD:-0}" != 1 ]; then
  scripts/setup.sh "$build_dir"
fi
batch=$build_dir/src/cli/mirelo-batch

# A five-second test clip; its thumbnail is taken at second 2. The phone clip's at second 1.
clip=$build_dir/samples/clip.avi
if [ ! -s "$clip" ]; then
  mkdir -p "$(dirname "$clip")"
  ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -t 5 -c:v mpeg4 -q:v 4 "$clip" </dev/null
fi
phone=$build_dir/samples/phone.mp4
if [ ! -s "$phone" ]; then
  mkdir -p "$(dirname "$phone")"
  ffmpeg -v error -y -f lavfi -i testsrc=size=320x180:rate=30 -t 3 -c:v libx264 -pix_fmt yuv420p \
    "$phone.tmp.mp4" </dev/null
  # The rotation is a tag of the stream: set when copying it.
  ffmpeg -v error -y -i "$phone.tmp.mp4" -c copy -metadata:s:v:0 rotate=90 "$phone" </dev/null
  rm -f "$phone.tmp.mp4"
fi

config=$build_dir/demo-config
out=$PWD/$build_dir/demo-output
rm -rf "$config" "$out"
mkdir -p "$out"

echo "mirelo-batch: 160x120 thumbnails (fit inside, JPEG quality 80) of samples/, $clip and $phone"
"$batch" --config "$config" \
  --set Output/Mode=1 --set "Output/Path=$out" \
  --set FileName/Mode=2 --set FileName/Text=_thum \
  --set Thumbnail/Fit=1 --set Image/Quality=80 \
  --preset 160x120 \
  samples --scene 2 "$clip" --scene 1 "$phone" >"$build_dir/demo-written.txt"

echo
echo "Written:"
while IFS= read -r file; do
  printf '  %-50s %s\n' "$file" "$(identify -format '%m %wx%h' "$file" 2>/dev/null || echo '?')"
done <"$build_dir/demo-written.txt"
echo
echo "The thumbnails are in $out"

# A contact sheet of what was written, each thumbnail labelled with its name.
sheet=$build_dir/demo-sheet.png
if command -v montage >/dev/null 2>&1; then
  mapfile -t written <"$build_dir/demo-written.txt"
  montage -font DejaVu-Sans -pointsize 11 -label '%f' "${written[@]}" -tile 4x -geometry 160x120+8+6 \
    -background '#f4f4f4' "$sheet"
  echo "Contact sheet: $sheet"
fi

# `make demo GUI=1` then opens the desktop program on the same build, with the samples and the
# clip in its list.
if [ "${GUI:-0}" = 1 ]; then
  gui=$build_dir/src/app/window/mirelo
  inputs=()
  for f in samples/*; do
    case $f in *.sh) ;; *) inputs+=("$PWD/$f") ;; esac
  done
  inputs+=("$PWD/$clip" "$PWD/$phone")
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the desktop program: $gui"
    exec "$gui" "${inputs[@]}"
  else
    echo "No display: the desktop program needs one (try: xvfb-run -a $gui FILE..., or make screenshot)."
  fi
else
  echo "The desktop program: $build_dir/src/app/window/mirelo (or: make demo GUI=1)"
fi
