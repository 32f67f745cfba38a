#!/bin/sh
# Builds the fuzz targets with clang (ASan + UBSan + libFuzzer) in their own build folder and
# runs each briefly on its seed corpus. Exit 77 (skipped) when clang++ is missing.
#   fuzz/run_smoke.sh [BUILD_DIR]     seconds per target: MIRELO_FUZZ_SECONDS (default 20)
# The mutations follow a fixed seed (MIRELO_FUZZ_SEED, default 1), so that a test run explores the
# same inputs each time and a finding in a system library cannot fail one run and pass the next;
# MIRELO_FUZZ_SEED=0 lets libFuzzer pick one, for runs that look for new findings.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-fuzz-smoke}
seconds=${MIRELO_FUZZ_SECONDS:-20}
jobs=${MIRELO_FUZZ_JOBS:-2}
seed=${MIRELO_FUZZ_SEED:-1}

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
  echo "clang++ not found: fuzz smoke run skipped"
  exit 77
fi

targets=$(cd "$src/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')

mkdir -p "$build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMIRELO_FUZZ=ON -DMIRELO_BUILD_GUI=OFF -DMIRELO_BUILD_TESTS=OFF -DMIRELO_BUILD_BENCH=OFF >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
# shellcheck disable=SC2086
cmake --build "$build" --target $targets -j "$jobs"

# Leaks inside system libraries (see lsan.supp) would otherwise end a run; full stacks so that
# the suppressions see the frames inside libraries built without frame pointers.
export LSAN_OPTIONS="suppressions=$src/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export ASAN_OPTIONS="fast_unwind_on_malloc=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

status=0
for t in $targets; do
  corpus="$src/fuzz/corpus/$t"
  # New inputs go to a scratch folder; the committed seeds stay as they are.
  scratch=$(mktemp -d)
  set -- "$scratch"
  [ -d "$corpus" ] && set -- "$@" "$corpus"
  echo "== $t: ${seconds}s"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -seed="$seed" -artifact_prefix="$build/$t-" "$@" >"$build/$t.log" 2>&1; then
    tail -n 60 "$build/$t.log"
    echo "== $t FAILED; the input that failed is $build/$t-*"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$build/$t.log" || true
  fi
  rm -rf "$scratch"
done
exit $status
