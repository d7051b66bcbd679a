#!/usr/bin/env bash
# Builds the Debian package from the release build: build/release/qxvn_VERSION_ARCH.deb, and shows
# its Depends line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target package
ls build/release/qxvn_*.deb
# PAPPL is pinned to the versions the app's replaced functions were checked against.
dpkg-deb -f build/release/qxvn_*.deb Depends
