#!/bin/bash
# The README's recipe for many processes (and, with --sshlogin, many machines): a find list split
# by GNU parallel over four mirelo-batch processes that write one mirrored tree, then the same
# with --shard; both give the same files, and a second run writes nothing.
#   parallel_recipe_test.sh MIRELO_BATCH
set -euo pipefail
batch=$(realpath "$1")
export PARALLEL=--will-cite
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL $*"; exit 1; }

convert -size 64x48 gradient:navy-orange "$dir/seed.jpg"
for folder in 2023/01-trip 2023/02-party 2024/03-zoo; do
  mkdir -p "$dir/photos/$folder"
  for i in $(seq 1 12); do cp "$dir/seed.jpg" "$dir/photos/$folder/DSC_$i.JPG"; done
done
echo "not a photo" >"$dir/photos/2023/notes.txt"
settings=(--config "$dir/config" --set Output/Mode=1)

# 1. A list split over four processes; paths relative to the library keep their folders.
mkdir "$dir/thumbs"
(cd "$dir/photos" && find . -type f -print0 |
  parallel -0 --pipe --recend '\0' -N 10 -j 4 \
    "$batch" "${settings[@]}" --set Output/Path="$dir/thumbs" --quiet --jobs 1 \
    --keep-tree --skip-done --keep-going --files-from - -0) >"$dir/written.txt"
[[ $(wc -l <"$dir/written.txt") -eq 36 ]] || fail "list recipe wrote $(wc -l <"$dir/written.txt") thumbnails"
[[ -f $dir/thumbs/2024/03-zoo/_thumdsc_12.jpg ]] || fail "no mirrored tree"

# 2. Every process reads the same folder and takes its shard.
mkdir "$dir/sharded"
parallel -j 3 "$batch" "${settings[@]}" --set Output/Path="$dir/sharded" --quiet --jobs 1 \
  --recursive --keep-tree --skip-done --keep-going --shard {}/3 "$dir/photos" ::: 1 2 3 >/dev/null
diff <(cd "$dir/thumbs" && find . -type f | sort) <(cd "$dir/sharded" && find . -type f | sort) ||
  fail "the shards gave other files than the list"

# 3. Nothing new: nothing written.
again=$(cd "$dir/photos" && find . -type f -print0 |
  parallel -0 --pipe --recend '\0' -N 10 -j 4 \
    "$batch" "${settings[@]}" --set Output/Path="$dir/thumbs" --quiet --jobs 1 \
    --keep-tree --skip-done --keep-going --files-from - -0)
[[ -z $again ]] || fail "a second run wrote $again"
echo "parallel recipe: all cases passed"
