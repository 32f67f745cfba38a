#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build -DMIRELO_WERROR=ON
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

# The hostile-file suite and mirelo-batch once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the asan preset; only those two targets).
cd ..
cmake --preset asan >/dev/null
cmake --build build-asan --target gui_hostile_test mirelo-batch -j2
cd build-asan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L asan
