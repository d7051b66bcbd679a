#!/usr/bin/env bash
# Builds the Debian package from the release build: build/release/qxvn_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target package
ls build/release/qxvn_*.deb
