#!/usr/bin/env bash
# The main job on bundled samples. Until the batch engine lands it shows the linked libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
build/src/cli/mirelo-batch
