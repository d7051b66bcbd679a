#!/usr/bin/env bash
# Figures for `qxvn print` (release build): its start-up (a 2 x 2 image) and one A4 page, each
# against `cat` of the same file; peak memory of one page against six pages, a collated replay
# (bounded by one page) and many copies of a small page; and what the hostile documents of the
# fuzz corpora cost before they are refused (peak memory of qxvn and its PDF renderer, time).
# Then labels a second of a 100-page PDF of the sample label against `pdftoppm -r 300 -mono` and,
# where CUPS's filters are installed, CUPS's own label chain (cupsfilter: pdftopdf, gstoraster;
# then rastertolabel with the ZPL PPD made from CUPS's sample drivers), in alternating rounds
# (ROUNDS, default 5), as medians with the processor time of each (its child processes included)
# and our figures over theirs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qxvn qxvn-pdf-render >/dev/null
rounds="${ROUNDS:-5}"
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

# The sample label 100 times as one document.
pdf100="$dir/p100.pdf"
pdfunite $(for _ in $(seq 100); do echo examples/shipping-label.pdf; done) "$pdf100"
ppd=""
if command -v cupsfilter >/dev/null && command -v ppdc >/dev/null && [ -x /usr/lib/cups/filter/rastertolabel ] &&
  [ -f /usr/share/cups/drv/sample.drv ]; then
  mkdir -p "$dir/ppd"
  ppdc -d "$dir/ppd" /usr/share/cups/drv/sample.drv 2>/dev/null
  ppd="$dir/ppd/zebra.ppd"
fi
mkdir -p "$dir/pbm"
# One line a run: wall seconds and processor seconds, children included: the scheduler's own
# count (perf's task-clock) where perf runs, which a busy machine does not blur as the tick-based
# rusage figures are.
timed() {
  python3 -c 'import resource, subprocess, sys, tempfile, time
perf = subprocess.run(["perf", "stat", "-e", "task-clock", "true"], capture_output=True).returncode == 0
with tempfile.NamedTemporaryFile("r") as out:
    command = (["perf", "stat", "-e", "task-clock", "-o", out.name, "--"] if perf else []) + sys.argv[1:]
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = used.ru_utime + used.ru_stime
    # perf times the command alone, without its own start.
    for line in out.read().splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[1:3] == ["msec", "task-clock"]:
            cpu = float(fields[0].replace(",", "")) / 1000
        if len(fields) >= 4 and fields[1:4] == ["seconds", "time", "elapsed"]:
            wall = float(fields[0])
print(f"{wall:.6f} {cpu:.6f}")' "$@"
}
run_qxvn() { timed "$qxvn" print "$1" -o "$dir/pdf.qxvn"; }
run_pdftoppm() { timed pdftoppm -r 300 -mono "$1" "$dir/pbm/page"; }
run_cups() {
  timed sh -c 'cupsfilter -p "$1" -m application/vnd.cups-raster -o media=w136h215 -o Resolution=300dpi "$2" 2>/dev/null |
    PPD="$1" /usr/lib/cups/filter/rastertolabel 1 bench bench 1 "" >"$3" 2>/dev/null' sh "$ppd" "$1" "$dir/cups.zpl"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
peers="pdftoppm${ppd:+ cups}"
for document in "$pdf100" examples/shipping-label.pdf; do
  pages=$([ "$document" = "$pdf100" ] && echo 100 || echo 1)
  : >"$dir/times.txt"
  for round in $(seq "$rounds"); do
    # Alternating which goes first.
    order="qxvn $peers"
    [ $((round % 2)) = 0 ] && order="$peers qxvn"
    for who in $order; do echo "$who $(run_$who "$document")" >>"$dir/times.txt"; done
  done
  echo "$pages-page PDF of the sample label, medians of $rounds rounds:"
  for who in qxvn $peers; do
    wall=$(awk -v w="$who" '$1 == w { print $2 }' "$dir/times.txt" | median)
    cpu=$(awk -v w="$who" '$1 == w { print $3 }' "$dir/times.txt" | median)
    eval "wall_$who=$wall cpu_$who=$cpu"
    awk -v w="$who" -v t="$wall" -v c="$cpu" -v n="$pages" \
      'BEGIN { printf "  %-9s %8.1f labels/s  %8.2f ms  processor %8.2f ms\n", w, n / t, t * 1000, c * 1000 }'
  done
  for who in $peers; do
    awk -v w="$who" -v a="$wall_qxvn" -v b="$(eval echo "\$wall_$who")" -v c="$cpu_qxvn" -v d="$(eval echo "\$cpu_$who")" \
      'BEGIN { printf "  qxvn over %s: %.2fx the labels a second at %.2fx the processor time\n", w, b / a, c / d }'
  done
done
[ -n "$ppd" ] || echo "(CUPS's rastertolabel or sample drivers are not installed: no CUPS chain)"
echo "peak memory of the 100-page PDF (KiB, qxvn or its renderer): $(peak "$qxvn" print "$pdf100" -o "$dir/pdf.qxvn")"
