#!/usr/bin/env bash
# Builds qxvn (release preset), prints the sample shipping label through the plug-in, decodes
# the command stream into a preview PNG and shows the plug-in's page report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target qxvn >/dev/null

qxvn=build/release/tools/qxvn
out=build/sample
mkdir -p "$out"
"$qxvn" print examples/shipping-label.pdf --printer-data examples/printer-data.reg \
  --trace "$out/label.trace" -o "$out/label.qxvn"
"$qxvn" decode "$out/label.qxvn" -o "$out/label.png"
echo "command stream: $out/label.qxvn ($(wc -c <"$out/label.qxvn") bytes), trace: $out/label.trace"
echo "page report:"
grep -m1 -A19 -F '========================' "$out/label.trace" | sed 's/^.*\]  //; s/\r$//'
