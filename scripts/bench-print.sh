#!/usr/bin/env bash
# Figures for `qxvn print` (release build): its start-up (a 2 x 2 image) and one A4 page, each
# against `cat` of the same file; peak memory of one page against six pages, a collated replay
# (bounded by one page) and many copies of a small page; and what the hostile documents of the
# fuzz corpora cost before they are refused (peak memory of qxvn and its PDF renderer, time).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qxvn qxvn-pdf-render >/dev/null
qxvn=build/release/tools/qxvn
dir=build/bench
mkdir -p "$dir"
pdftoppm -scale-to-x 2480 -scale-to-y 3508 -singlefile examples/shipping-label.pdf "$dir/a4"
a4="$dir/a4.ppm"

printf 'P6 2 2 255\n\0\0\0\377\377\377\200\200\200\020\040\060' >"$dir/tiny.ppm"

hyperfine --warmup 3 -N "$qxvn print $dir/tiny.ppm -o $dir/tiny.qxvn" "cat $dir/tiny.ppm" \
  "$qxvn print $a4 -o $dir/a4.qxvn" "cat $a4"

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

# The fuzz seeds without their first (pixel size) byte.
tail -c +2 fuzz/corpus/pdf_reader_fuzz/hostile-object >"$dir/hostile.pdf"
tail -c +2 fuzz/corpus/png_reader_fuzz/hostile-text >"$dir/hostile.png"
echo "hostile documents (peak KiB of qxvn or its renderer, seconds, the message):"
for f in hostile.pdf hostile.png; do
  /usr/bin/time -f "  $f: %M KiB, %e s" -o "$dir/time.txt" "$qxvn" print "$dir/$f" -o "$dir/h.qxvn" 2>"$dir/err.txt" || true
  cat "$dir/time.txt"
  sed 's/^/    /' "$dir/err.txt"
done
