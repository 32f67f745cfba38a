#!/usr/bin/env bash
# Today's still formats, side by side in one run on the same files and the same box (160x120,
# fit inside, JPEG quality 75): 20 HEIC photos of 12 megapixels (10 with an embedded 320-pixel
# thumbnail, 10 without), 20 WebP and 20 JPEG XL photos of 12 megapixels, and camera RAW (DNGs of
# 12 megapixels with and without a full-size embedded preview).
# Tools: mirelo-batch (all cores), vipsthumbnail as one process and as two side by side, the
# formats' own decoders (heif-convert, dwebp, djxl; a full decode each, as a reference) and, for
# RAW, LibRaw's own dcraw_emu (half size) and its embedded-preview extraction (simple_dcraw -e).
#
# Usage: bench/modern_bench.sh     BENCH_RUNS=5 bench/modern_bench.sh
# Environment: MIRELO_BUILD_DIR (default build), BENCH_CORPUS (default <build>/bench-corpus),
# BENCH_RUNS (default 3; the table gives medians), BENCH_CORPUS_ONLY=1 (make the files and stop).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${MIRELO_BUILD_DIR:-build}
batch=$root/$build_dir/src/cli/mirelo-batch
corpus=${BENCH_CORPUS:-$root/$build_dir/bench-corpus}
runs=${BENCH_RUNS:-3}
work=$root/$build_dir/bench-work-modern
results=$root/$build_dir/bench-modern-results.txt

[ -x "$batch" ] || scripts/setup.sh "$build_dir"
for tool in vipsthumbnail /usr/bin/time heif-enc heif-convert cwebp dwebp cjxl djxl dcraw_emu simple_dcraw; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

bench/make_corpus.sh "$corpus"
mkdir -p "$corpus/heic" "$corpus/webp" "$corpus/jxl" "$corpus/dng"
# Sources: the 12-megapixel PNGs of the JPEG corpus, each twice (mirrored the second time).
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
for n in $(seq -w 1 20); do
  src=$corpus/png/photo$(printf %02d $(((10#$n - 1) % 10 + 1))).png
  if ((10#$n > 10)); then
    mirrored=$corpus/base/mirrored$n.png
    [ -s "$mirrored" ] || "$convert" "$src" -flop "$mirrored"
    src=$mirrored
  fi
  if [ ! -s "$corpus/heic/photo$n.heic" ]; then
    echo "corpus: HEIC $n" >&2
    thumb=()
    if ((10#$n % 2 == 0)); then thumb=(-t 320); fi
    heif-enc -q 85 "${thumb[@]}" -o "$corpus/heic/photo$n.heic" "$src" >/dev/null
  fi
  [ -s "$corpus/webp/photo$n.webp" ] || cwebp -quiet -q 85 "$src" -o "$corpus/webp/photo$n.webp"
  if [ ! -s "$corpus/jxl/photo$n.jxl" ]; then
    echo "corpus: JPEG XL $n" >&2
    cjxl --quiet -d 1 -e 5 "$src" "$corpus/jxl/photo$n.jxl" >/dev/null 2>&1
  fi
done
# DNGs: a 4000x3000 Bayer picture (16-bit CFA) made from the PNG, half of them with a full-size
# JPEG preview, written by bench/make_dng.py.
for n in $(seq -w 1 10); do
  out=$corpus/dng/photo$n.dng
  [ -s "$out" ] && continue
  echo "corpus: DNG $n" >&2
  preview=()
  if ((10#$n % 2 == 0)); then preview=(--preview); fi
  python3 bench/make_dng.py "${preview[@]}" "$corpus/png/photo$n.png" "$out"
done

if [ "${BENCH_CORPUS_ONLY:-0}" = 1 ]; then exit 0; fi

mapfile -t heics < <(ls "$corpus"/heic/*.heic)
mapfile -t webps < <(ls "$corpus"/webp/*.webp)
mapfile -t jxls < <(ls "$corpus"/jxl/*.jxl)
mapfile -t dngs < <(ls "$corpus"/dng/*.dng)
rm -rf "$work"
mkdir -p "$work"
raw=$work/raw.txt
: >"$raw"

priority=()
source bench/lib.sh

mirelo() {  # mirelo OUTDIR FILES...
  local out=$1
  shift
  "$batch" --config "$work/config" --quiet --set Output/Mode=1 --set "Output/Path=$out" --set FileName/Mode=0 \
    --set Thumbnail/Fit=1 --set Image/Mode=0 --set Image/Quality=75 --size 160x120 "$@"
}
own_decoder() {  # own_decoder KIND OUTDIR FILES...: a full decode of each file by the format's tool
  local kind=$1 out=$2 f
  shift 2
  for f in "$@"; do
    case $kind in
      heic) heif-convert -q 75 "$f" "$out/x.jpg" >/dev/null ;;
      webp) dwebp -quiet "$f" -ppm -o "$out/x.ppm" ;;
      jxl) djxl "$f" "$out/x.ppm" --quiet >/dev/null 2>&1 ;;
      dng) dcraw_emu -h -w -Z - "$f" >/dev/null ;;
      dng-preview) simple_dcraw -e "$f" >/dev/null && rm -f "$f".thumb.* ;;
    esac
  done
}
export -f mirelo vips_one vips_two own_decoder
export batch work

cat "${heics[@]}" "${webps[@]}" "${jxls[@]}" "${dngs[@]}" >/dev/null
mirelo "$(fresh)" "${webps[0]}" >/dev/null
echo "bench: $runs runs (load now: $(cut -d' ' -f1-3 /proc/loadavg))" >&2
for ((r = 1; r <= runs; r++)); do
  echo "bench: run $r of $runs" >&2
  for kind in heic webp jxl; do
    declare -n files=${kind}s
    measure "$kind:mirelo-batch" ${#files[@]} bash -c 'mirelo "$0" "$@"' "$(fresh)" "${files[@]}"
    measure "$kind:vipsthumbnail" ${#files[@]} bash -c 'vips_one "$0" "$@"' "$(fresh)" "${files[@]}"
    measure "$kind:vipsthumbnail-x2" ${#files[@]} bash -c 'vips_two "$0" "$@"' "$(fresh)" "${files[@]}"
    measure "$kind:own-decoder" ${#files[@]} bash -c 'own_decoder '"$kind"' "$0" "$@"' "$(fresh)" "${files[@]}"
    unset -n files
  done
  measure "dng:mirelo-batch" ${#dngs[@]} bash -c 'mirelo "$0" "$@"' "$(fresh)" "${dngs[@]}"
  measure "dng:own-decoder" ${#dngs[@]} bash -c 'own_decoder dng "$0" "$@"' "$(fresh)" "${dngs[@]}"
  measure "dng:own-preview" ${#dngs[@]} bash -c 'own_decoder dng-preview "$0" "$@"' "$(fresh)" "${dngs[@]}"
done

table=$(medians)

{
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'); load when done: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
  for kind in heic webp jxl dng; do
    printf '%-26s %5s %9s %12s %15s %9s\n' "$kind, 12 MP, 160x120 Q75" runs "wall s" "pictures/s" "CPU ms/picture" "peak MB"
    for l in mirelo-batch vipsthumbnail vipsthumbnail-x2 own-decoder own-preview; do
      [ -n "$(value "$kind:$l" 1)" ] || continue
      printf '%-26s %5s %9s %12s %15s %9s\n' "$l" "$(value "$kind:$l" 2)" "$(value "$kind:$l" 3)" \
        "$(value "$kind:$l" 4)" "$(value "$kind:$l" 5)" "$(value "$kind:$l" 6)"
    done
    echo
  done
  echo "mirelo-batch pictures/s over vipsthumbnail (one process) [goal >= 1.5], peak memory [goal < 150 MB]:"
  for kind in heic webp jxl; do
    echo "  $kind: $(ratio "$(value "$kind:mirelo-batch" 4)" "$(value "$kind:vipsthumbnail" 4)")," \
      "over two processes $(ratio "$(value "$kind:mirelo-batch" 4)" "$(value "$kind:vipsthumbnail-x2" 4)")," \
      "peak $(value "$kind:mirelo-batch" 6) MB"
  done
  echo "  dng: over dcraw_emu -h $(ratio "$(value dng:mirelo-batch 4)" "$(value dng:own-decoder 4)")," \
    "over simple_dcraw -e $(ratio "$(value dng:mirelo-batch 4)" "$(value dng:own-preview 4)"), peak $(value dng:mirelo-batch 6) MB"
} | tee "$results"
