#!/usr/bin/env bash
# Times mirelo-batch against vipsthumbnail and ImageMagick's convert on the same pictures and the
# same box (160x120, fit inside, JPEG quality 75), all measured side by side in one run, plus the
# 1/8-scale libjpeg-turbo decode floor; then video capture (bench/video_capture_bench.sh).
#
# Usage: bench/run.sh            BENCH_RUNS=5 bench/run.sh
# Environment: MIRELO_BUILD_DIR (default build), BENCH_CORPUS (default <build>/bench-corpus),
# BENCH_RUNS (repetitions, default 3; the table gives medians), BENCH_CONVERT_RUNS (default 1),
# BENCH_NICE (e.g. -20 as root: the timed tools get the CPU ahead of other work on a shared
# machine), BENCH_VIDEO=0 (skip the video capture part).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${MIRELO_BUILD_DIR:-build}
batch=$root/$build_dir/src/cli/mirelo-batch
corpus=${BENCH_CORPUS:-$root/$build_dir/bench-corpus}
runs=${BENCH_RUNS:-3}
convert_runs=${BENCH_CONVERT_RUNS:-1}
priority=()
if [ -n "${BENCH_NICE:-}" ]; then priority=(nice -n "$BENCH_NICE"); fi
work=$root/$build_dir/bench-work
results=$root/$build_dir/bench-results.txt

[ -x "$batch" ] || scripts/setup.sh "$build_dir"
for tool in vipsthumbnail /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)

bench/make_corpus.sh "$corpus"
mapfile -t jpegs < <(ls "$corpus"/jpg/*.jpg)
mapfile -t pngs < <(ls "$corpus"/png/*.png)
rm -rf "$work"
mkdir -p "$work"
raw=$work/raw.txt
: >"$raw"

# The decode floor: djpeg when libjpeg-turbo-progs is installed, else the same decode by a
# small program built against the libjpeg-turbo the project links.
if command -v djpeg >/dev/null; then
  floor_name="djpeg -scale 1/8"
  floor() { for f in "$@"; do djpeg -scale 1/8 -outfile /dev/null "$f"; done; }
else
  floor_name="libjpeg-turbo 1/8 decode (bench/jpeg_floor.c)"
  cc -O2 -o "$work/jpeg_floor" bench/jpeg_floor.c -ljpeg
  floor() { "$work/jpeg_floor" "$@"; }
fi

source bench/lib.sh

mirelo() {  # mirelo OUTDIR JOBS FILES...
  local out=$1 jobs=$2
  shift 2
  "$batch" --config "$work/config" --quiet --jobs "$jobs" \
    --set Output/Mode=1 --set "Output/Path=$out" --set FileName/Mode=0 \
    --set Thumbnail/Fit=1 --set Image/Mode=0 --set Image/Quality=75 --size 160x120 "$@"
}
magick() {  # magick OUTDIR FILES...: one convert per file, as a script would
  local out=$1 f
  shift
  for f in "$@"; do "$convert" "$f" -thumbnail 160x120 -quality 75 "$out/$(basename "${f%.*}")_c.jpg"; done
}
export -f mirelo vips_one vips_two magick
export batch work convert

jobs_all=$(nproc)
echo "bench: $runs runs over ${#jpegs[@]} JPEG and ${#pngs[@]} PNG photos (load now: $(cut -d' ' -f1-3 /proc/loadavg))" >&2
# Warm the page cache and the configuration once.
cat "${jpegs[@]}" "${pngs[@]}" >/dev/null
mirelo "$(fresh)" 1 "${jpegs[0]}" >/dev/null

for ((r = 1; r <= runs; r++)); do
  echo "bench: run $r of $runs" >&2
  measure "jpeg:mirelo-batch" ${#jpegs[@]} bash -c 'mirelo "$0" '"$jobs_all"' "$@"' "$(fresh)" "${jpegs[@]}"
  measure "jpeg:mirelo-batch-jobs1" ${#jpegs[@]} bash -c 'mirelo "$0" 1 "$@"' "$(fresh)" "${jpegs[@]}"
  measure "jpeg:vipsthumbnail" ${#jpegs[@]} bash -c 'vips_one "$0" "$@"' "$(fresh)" "${jpegs[@]}"
  measure "jpeg:vipsthumbnail-x2" ${#jpegs[@]} bash -c 'vips_two "$0" "$@"' "$(fresh)" "${jpegs[@]}"
  measure "jpeg:floor" ${#jpegs[@]} bash -c "$(declare -f floor); floor \"\$@\"" _ "${jpegs[@]}"
  if ((r <= convert_runs)); then
    measure "jpeg:convert" ${#jpegs[@]} bash -c 'magick "$0" "$@"' "$(fresh)" "${jpegs[@]}"
  fi
  measure "png:mirelo-batch" ${#pngs[@]} bash -c 'mirelo "$0" '"$jobs_all"' "$@"' "$(fresh)" "${pngs[@]}"
  measure "png:vipsthumbnail" ${#pngs[@]} bash -c 'vips_one "$0" "$@"' "$(fresh)" "${pngs[@]}"
  measure "png:vipsthumbnail-x2" ${#pngs[@]} bash -c 'vips_two "$0" "$@"' "$(fresh)" "${pngs[@]}"
done

# Medians per label: pictures/s from wall time, CPU ms per picture, peak MB.
table=$(medians)


{
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)"
  echo "Load average when done: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine slows every tool alike)"
  echo "mirelo-batch jobs: $jobs_all; floor: $floor_name; medians of the runs given${BENCH_NICE:+; run at nice $BENCH_NICE}"
  echo
  printf '%-28s %5s %9s %12s %15s %9s\n' "JPEG, 12-24 MP, 160x120 Q75" runs "wall s" "pictures/s" "CPU ms/picture" "peak MB"
  for l in mirelo-batch mirelo-batch-jobs1 vipsthumbnail vipsthumbnail-x2 convert floor; do
    [ -n "$(value "jpeg:$l" 1)" ] || continue
    printf '%-28s %5s %9s %12s %15s %9s\n' "$l" "$(value "jpeg:$l" 2)" "$(value "jpeg:$l" 3)" "$(value "jpeg:$l" 4)" \
      "$(value "jpeg:$l" 5)" "$(value "jpeg:$l" 6)"
  done
  echo
  printf '%-28s %5s %9s %12s %15s %9s\n' "PNG, 12 MP, 160x120 Q75" runs "wall s" "pictures/s" "CPU ms/picture" "peak MB"
  for l in mirelo-batch vipsthumbnail vipsthumbnail-x2; do
    printf '%-28s %5s %9s %12s %15s %9s\n' "$l" "$(value "png:$l" 2)" "$(value "png:$l" 3)" "$(value "png:$l" 4)" \
      "$(value "png:$l" 5)" "$(value "png:$l" 6)"
  done
  m=$(value jpeg:mirelo-batch 4)
  echo
  echo "Ratios (mirelo-batch pictures/s over the other; target in brackets):"
  echo "  JPEG vs vipsthumbnail, one process:   $(ratio "$m" "$(value jpeg:vipsthumbnail 4)")  [>= 2]"
  echo "  JPEG vs vipsthumbnail, two processes: $(ratio "$m" "$(value jpeg:vipsthumbnail-x2 4)")"
  echo "  JPEG vs convert:                      $(ratio "$m" "$(value jpeg:convert 4)")  [>= 10]"
  echo "  PNG vs vipsthumbnail, one process:    $(ratio "$(value png:mirelo-batch 4)" "$(value png:vipsthumbnail 4)")  [>= 1.7]"
  echo "  PNG vs vipsthumbnail, two processes:  $(ratio "$(value png:mirelo-batch 4)" "$(value png:vipsthumbnail-x2 4)")"
  echo "CPU per JPEG picture over the 1/8 decode floor: $(ratio "$(value jpeg:mirelo-batch 5)" "$(value jpeg:floor 5)")  [<= 1.25]"
  echo "Peak memory of mirelo-batch (JPEG): $(value jpeg:mirelo-batch 6) MB  [< 150]"
} | tee "$results"

echo
if [ "${BENCH_VIDEO:-1}" = 0 ]; then
  echo "Video capture: skipped (BENCH_VIDEO=0)."
elif [ -x bench/video_capture_bench.sh ]; then
  echo "Video capture (bench/video_capture_bench.sh):"
  [ -x "$build_dir/src/platform/video/mirelo_capture_probe" ] ||
    cmake --build "$build_dir" --target mirelo_capture_probe >/dev/null
  bench/video_capture_bench.sh "$root/$build_dir" | tee -a "$results"
else
  echo "Video capture: bench/video_capture_bench.sh is not there yet; skipped." | tee -a "$results"
fi
