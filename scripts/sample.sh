#!/usr/bin/env bash
# Builds the release preset and runs the sample job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" >/dev/null
build/release/tools/qxvn-sample
