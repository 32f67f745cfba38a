#!/usr/bin/env bash
# Builds the benchmark corpus with ImageMagick: 40 JPEG photos of 12 to 24 megapixels and 10 PNG
# photos of 12 megapixels. Four noisy plasma pictures are drawn once; the others are shifted,
# mirrored and re-encoded copies of them, so every file decodes differently.
# Usage: bench/make_corpus.sh DIR   (files already there are kept)
set -euo pipefail
dir=${1:?usage: make_corpus.sh DIR}
mkdir -p "$dir/base" "$dir/jpg" "$dir/png"
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

sizes=(4000x3000 4896x3264 5472x3648 6000x4000)  # 12, 16, 20 and 24 megapixels
for i in "${!sizes[@]}"; do
  base=$dir/base/base$i.jpg
  [ -s "$base" ] && continue
  echo "corpus: drawing ${sizes[$i]}" >&2
  "$convert" -seed $((i + 11)) -size "${sizes[$i]}" plasma:fractal -blur 0x2 -attenuate 0.3 +noise Gaussian \
    -quality 95 "$base"
done

for n in $(seq -w 1 40); do
  out=$dir/jpg/photo$n.jpg
  [ -s "$out" ] && continue
  i=$((10#$n % 4))
  flip=()
  if ((10#$n % 3 == 0)); then flip=(-flop); fi
  "$convert" "$dir/base/base$i.jpg" -roll +$((10#$n * 97))+$((10#$n * 61)) "${flip[@]}" \
    -quality $((85 + 10#$n % 11)) "$out"
done

for n in $(seq -w 1 10); do
  out=$dir/png/photo$n.png
  [ -s "$out" ] && continue
  "$convert" "$dir/base/base0.jpg" -roll +$((10#$n * 131))+$((10#$n * 83)) "$out"
done
echo "corpus: $(ls "$dir/jpg" | wc -l) JPEG, $(ls "$dir/png" | wc -l) PNG in $dir" >&2
