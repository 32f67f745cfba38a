#!/usr/bin/env bash
# The desktop window under load: its batch against mirelo-batch on the 40-JPEG corpus, the event
# loop's longest stall, browsing the 40 photos (a click not decoded ahead, stepping forward, key
# repeat), a 720p clip's first frame, a 10,000-file drop and run, and the error log window with
# 10,000 lines. Runs offscreen; no display needed.
# Usage: bench/window_bench.sh [runs]   (MIRELO_BUILD_DIR for another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${MIRELO_BUILD_DIR:-build}
runs=${1:-3}
cmake --build "$build_dir" --target mirelo_window_bench mirelo-batch >/dev/null
corpus=${BENCH_CORPUS:-$build_dir/bench-corpus}
bench/make_corpus.sh "$corpus"
clip=$corpus/clip720.avi
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25 -t 10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$clip"
fi
QT_QPA_PLATFORM=offscreen "$build_dir/bench/window/mirelo_window_bench" "$corpus/jpg" "$clip" \
  "$build_dir/src/cli/mirelo-batch" "$runs" 2> >(grep -v QStandardPaths >&2)
