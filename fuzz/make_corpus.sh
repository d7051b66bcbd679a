#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets into fuzz/corpus/TARGET: small inputs of each
# kind, a PNG drawn by `qxvn decode` (QXVN names the tool; default: the debug build's) and
# tiny JPEGs of the sample label made by pdftoppm.
set -euo pipefail
cd "$(dirname "$0")"
qxvn="${QXVN:-../build/debug/tools/qxvn}"
c=corpus
mkdir -p $c/reg_file_fuzz $c/wire_reader_fuzz $c/pnm_reader_fuzz $c/png_reader_fuzz $c/jpeg_reader_fuzz $c/pdf_reader_fuzz \
  $c/band_rasteriser_fuzz $c/devmode_fuzz $c/trace_format_fuzz $c/ipp_scan_fuzz $c/state_line_fuzz

printf 'REGEDIT4\n[HKEY\\x]\n"GrayThreshold"=dword:00000096\n"Note"="a \\"q\\""\n' >$c/reg_file_fuzz/values
printf '"Blob"=hex:01,02,\\\n  03\n"X"=hex(4):0a,00,00,00\n"Y"=-\n; c\n@="d"\n' >$c/reg_file_fuzz/hex
printf '\xff\xfe"\x00A\x00"\x00=\x00d\x00w\x00o\x00r\x00d\x00:\x001\x00\n\x00' >$c/reg_file_fuzz/utf16

# A Print-Job with a media-col, and a saved job line.
printf '\x02\x00\x00\x02\x00\x00\x00\x01\x01\x47\x00\x12attributes-charset\x00\x05utf-8\x02\x34\x00\x09media-col\x00\x00\x4a\x00\x00\x00\x0amedia-type\x44\x00\x00\x00\x06labels\x37\x00\x00\x00\x00\x03doc' >$c/ipp_scan_fuzz/print-job
printf 'Job id="2" name="a \\"b\\" \\\\ \\012" state="9"' >$c/state_line_fuzz/job

# A page 16 dots wide: header, feed, print lines, trailer; and two pages with settings.
page='\x1f\x20\x00\x88\x1f\x27\x01\x02\x88\x1f\x25\x02\x08\x05\x88\x1f\x22\x01\x01\x88\x1f\x21\x03\x02\x00\xff\x88\x1f\x21\x03\x00\x01\x81\x88\x1f\x28\x00\x88'
printf "$page" >$c/wire_reader_fuzz/page
printf "$page\x1f\x20\x00\x88\x1f\x43\x01\x05\x88\x1f\x44\x01\x02\x88\x1f\x42\x01\x01\x88\x1f\x45\x02\xc1\x00\x88\x1f\x22\x02\xc1\x00\x88\x1f\x28\x00\x88" >$c/wire_reader_fuzz/two

# The reader fuzzers take a pixel-size byte first.
printf '\x00P1 3 2\n1 0 1\n0 1 0\n' >$c/pnm_reader_fuzz/p1
printf '\x01P2 2 2 15 # c\n0 15 7 3\n' >$c/pnm_reader_fuzz/p2
printf '\x00P3 1 2 255\n255 0 0 0 0 255\n' >$c/pnm_reader_fuzz/p3
printf '\x00P4 9 2\n\xff\x80\x00\x00' >$c/pnm_reader_fuzz/p4
printf '\x01P5 2 2 255#c\n\x00\x40\x80\xff' >$c/pnm_reader_fuzz/p5
printf '\x00P5 1 2 65535\n\x01\x00\xff\xff' >$c/pnm_reader_fuzz/p5wide
printf '\x00P6 2 1 255\n\x00\x00\x00\xff\xff\xff' >$c/pnm_reader_fuzz/p6

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf "$page" >"$tmp/s.qxvn"
"$qxvn" decode "$tmp/s.qxvn" -o "$tmp/s.png" >/dev/null
{ printf '\x00'; cat "$tmp/s.png"; } >$c/png_reader_fuzz/gray1
pdftoppm -jpeg -scale-to 24 -singlefile ../examples/shipping-label.pdf "$tmp/colour"
pdftoppm -jpeg -gray -scale-to 16 -singlefile ../examples/shipping-label.pdf "$tmp/gray"
pdftoppm -jpeg -jpegopt progressive=y -scale-to 16 -singlefile ../examples/shipping-label.pdf "$tmp/progressive"
for j in colour gray progressive; do { printf '\x01'; cat "$tmp/$j.jpg"; } >$c/jpeg_reader_fuzz/$j; done

# Hostile documents: a PNG whose text chunk claims 2 GB (cut to 141 bytes), a PDF whose page is
# object 2^25 - 1 (gigabytes for the PDF library's cross-reference table); and sound PDFs.
python3 - "$c" <<'PY'
import struct, sys, zlib
c = sys.argv[1]
def chunk(kind, data, length):
    return struct.pack(">I", length) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 0, 0, 0, 0), 13)
png += chunk(b"tEXt", b"Comment\x00" + b"x" * 40, 0x7FFFFFF0)
open(c + "/png_reader_fuzz/hostile-text", "wb").write(b"\x00" + png[:141].ljust(141, b"\x00"))
open(c + "/pdf_reader_fuzz/hostile-object", "wb").write(
    b"\x00%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
    b"2 0 obj << /Type /Pages /Kids [33554431 0 R] /Count 1 >> endobj\n"
    b"33554431 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 144 72] >> endobj\n"
    b"trailer << /Root 1 0 R >>\n%%EOF\n")
PY
printf '\x01%%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 72 36]/Contents 4 0 R>>endobj\n4 0 obj<</Length 21>>stream\n0 0 m 72 36 l 2 w S\nendstream endobj\ntrailer<</Root 1 0 R>>\n%%%%EOF\n' >$c/pdf_reader_fuzz/line
{ printf '\x00'; cat ../examples/shipping-label.pdf; } >$c/pdf_reader_fuzz/label

# Band seeds: state, rotation, label w/h, alignments, threshold, custom, id flag, id,
# width, height, bit count, size, blank, dm fields, paper size, length, devmode flag, pixels.
band() { printf "$1" >"$c/band_rasteriser_fuzz/$2"; }
band '\x02\x00\x00\x00\x00\x00\x00\x00\x96\x00\x00\x00\x04\x00\x00\x00\x03\x00\x00\x00\x18\x00\x30\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\x00\x80\x00\xff\xff\xff' upright
band '\x03\x01\x03\x00\x02\x00\x01\x02\x80\x00\x01\x05\x00\x00\x00\xfd\xff\xff\xff\x20\x00\x40\x00\x00\x00\x00\x06\x00\x00\x00\x01\x00\x00\x00\x01\x00\x01\x10\x20\x30\x40' rotated
band '\x02\x02\x00\x00\x00\x00\x00\x00\x96\x01\x81\x07\x00\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00\x18\x00\x10\x00\x00\x00\x00' badid

printf '\x03\x00\x0c\x00\x00\x00\x01\x01\x00\x00\x00\x0c\x00\x00\x00\x51\x58\x56\x4e\x01\x00\x00\x00' >$c/devmode_fuzz/convert
printf '\x04\x02\x0c\x00\x00\x00\x01\x01\x00\x00\x00' >$c/devmode_fuzz/merge
printf '\x03\x00\x00\x00\x00\x00\x00\x58\x58\x58\x58\x00\x00\x00\x00\x28\x00\x00\x00\x51\x58\x56\x4e' >$c/devmode_fuzz/foreign

fmt() { printf "$1" | iconv -f UTF-8 -t UTF-16LE >"$c/trace_format_fuzz/$2.tmp"; { printf "$3"; cat "$c/trace_format_fuzz/$2.tmp"; } >"$c/trace_format_fuzz/$2"; rm "$c/trace_format_fuzz/$2.tmp"; }
fmt 'CJobProc::ImageProcessing(%%d, %%d, %%C, %%C): %%d X %%d, Bits: %%d' entry '\x00\x04'
fmt '%%-8s|%%08X|%%5u|%%lld|%%hs|%%ls|%%c|%%%%' flags '\x10\x00'
fmt 'short %%d %%s %%x' short '\x03\x00'
