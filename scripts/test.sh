#!/usr/bin/env bash
# Builds with the given preset (default: debug) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-debug}"
bash scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
