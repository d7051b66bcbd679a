#!/usr/bin/env bash
# Figures for `qxvn print` (release build): time of one A4 page against `cat` of the same file,
# and peak memory of one page against six pages, a collated replay (bounded by one page) and
# many copies of a small page.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qxvn >/dev/null
qxvn=build/release/tools/qxvn
dir=build/bench
mkdir -p "$dir"
pdftoppm -scale-to-x 2480 -scale-to-y 3508 -singlefile examples/shipping-label.pdf "$dir/a4"
a4="$dir/a4.ppm"

hyperfine --warmup 3 -N "$qxvn print $a4 -o $dir/a4.qxvn" "cat $a4"

peak() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1; }
echo "peak memory (KiB):"
echo "  1 A4 page:                  $(peak "$qxvn" print "$a4" -o "$dir/one.qxvn")"
echo "  6 A4 pages:                 $(peak "$qxvn" print "$a4" "$a4" "$a4" "$a4" "$a4" "$a4" -o "$dir/six.qxvn")"
echo "  3 pages, 2 collated copies: $(peak "$qxvn" print "$a4" "$a4" "$a4" --copies 2 --collate -o "$dir/rep.qxvn")"
# The stream goes to the output as it is written: memory does not grow with the copies.
pdftoppm -scale-to-x 576 -scale-to-y 300 -singlefile examples/shipping-label.pdf "$dir/small"
echo "  576 x 300, 32767 copies:    $(peak "$qxvn" print "$dir/small.ppm" --copies 32767 -o "$dir/copies.qxvn")"
echo "  the same to standard output: $(peak "$qxvn" print "$dir/small.ppm" --copies 32767 -o -)"
rm -f "$dir/copies.qxvn"
