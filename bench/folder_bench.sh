#!/usr/bin/env bash
# Photo folders: a tree of 100,000 small files in 1,000 folders dropped on the window with
# FolderDrop (time until the count is final, the event loop's longest stall, the memory of the
# listed entries), and mirelo-batch --recursive --skip-done over a 10,000-photo tree whose
# thumbnails are all up to date, against the first run that made them. Offscreen; no display.
# Usage: bench/folder_bench.sh [runs]   (MIRELO_BUILD_DIR for another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${MIRELO_BUILD_DIR:-build}
runs=${1:-3}
cmake --build "$build_dir" --target mirelo_window_bench mirelo-batch >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
batch=$build_dir/src/cli/mirelo-batch

convert -size 64x48 gradient:navy-orange "$work/small.jpg"
for ((r = 1; r <= runs; r++)); do
  QT_QPA_PLATFORM=offscreen "$build_dir/bench/window/mirelo_window_bench" --folder-drop "$work/small.jpg" 1000 100 \
    2> >(grep -v QStandardPaths >&2)
done

# 10,000 photos of 640x480 in 100 folders (hard links of one photo, as the content does not matter
# to a skipped entry and only the decode to a made one).
convert -size 640x480 plasma:fractal -quality 85 "$work/photo.jpg"
for ((f = 0; f < 100; f++)); do
  mkdir -p "$work/library/$((f / 10))/event_$f"
  for ((i = 0; i < 100; i++)); do ln "$work/photo.jpg" "$work/library/$((f / 10))/event_$f/IMG_$i.JPG"; done
done
mkdir "$work/thumbs"
args=(--config "$work/config" --quiet --recursive --keep-tree --skip-done --size 160x120 --set Thumbnail/Fit=1
  --set Output/Mode=1 --set Output/Path="$work/thumbs" "$work/library")
"$batch" --config "$work/config" --quiet --set Output/Mode=1 --set Output/Path="$work" "$work/photo.jpg" >/dev/null  # the config, outside the timing
first=$( { /usr/bin/time -f %e "$batch" "${args[@]}" >/dev/null; } 2>&1)
echo "skip_done_first_run $first s"
for ((r = 1; r <= runs; r++)); do
  again=$( { /usr/bin/time -f %e "$batch" "${args[@]}" >/dev/null; } 2>&1)
  echo "skip_done_up_to_date_run $again s"
  awk -v a="$again" -v f="$first" 'BEGIN { printf "skip_done_share_of_first %.2f %%\n", 100 * a / f }'
done
echo "thumbnails $(find "$work/thumbs" -type f | wc -l)"
