#include "tools/qxvn/commands/commands.h"

namespace qxvn {

const char kMainUsage[] =
    "usage: qxvn COMMAND [ARGS]\n"
    "\n"
    "Prints images and PDF files through the label printer's rendering plug-in and inspects\n"
    "the command stream it writes.\n"
    "\n"
    "commands:\n"
    "  print   render PNM, PNG, JPEG and PDF pages into a command stream\n"
    "  decode  check a command stream and draw each page as a 1-bit PNG\n"
    "  dump    list the packages of a command stream\n"
    "\n"
    "Run 'qxvn COMMAND --help' for a command's options.\n";

const char kPrintUsage[] =
    "usage: qxvn print [OPTIONS] INPUT... -o OUT\n"
    "\n"
    "Prints the inputs as one document through the plug-in, as the printer driver would, and\n"
    "writes the command stream to OUT. INPUT is a PNM (P1-P6), PNG, JPEG or PDF file; an image\n"
    "is one page, every PDF page is a page; pages print in argument order. OUT appears only when\n"
    "the whole job succeeded.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE       command stream to write ('-' for standard output)\n"
    "  --preview FILE.png      also draw what the stream prints, as qxvn decode does: FILE.png\n"
    "                          for one page, FILE-1.png, FILE-2.png... for several\n"
    "  --printer-data FILE     printer data values, a Windows registry export (.reg,\n"
    "                          UTF-16LE with BOM or UTF-8)\n"
    "  --set NAME=VALUE        one REG_DWORD printer value, decimal or 0x-hex, applied after\n"
    "                          --printer-data; may be repeated\n"
    "  --paper WxH             user-defined paper size in millimetres, e.g. 48x76; without it\n"
    "                          the paper is the first page's size at 300 dpi\n"
    "  --scaling MODE          lay each page out on the --paper label: auto, auto-fit, fit,\n"
    "                          fill or none, as IPP print-scaling (default without it: one\n"
    "                          pixel a dot from the top left; with --orientation: none)\n"
    "  --orientation TURN      portrait, landscape (a quarter turn counter-clockwise),\n"
    "                          reverse-landscape or reverse-portrait; without it, with\n"
    "                          --scaling, a landscape page on a portrait label is turned\n"
    "  --copies N              copies, 1 to 32767 (default 1)\n"
    "  --collate               collate the copies of a document of several pages\n"
    "  --bpp 24|32             bits per pixel of the bands (default 24)\n"
    "  --job-id N              spooler job id, 1 to 4294967295 (default 1)\n"
    "  --band-rows N           cut each page into bands of N rows (default: one band a page)\n"
    "  --dpi N                 resolution at which PDF pages are rendered (default 300;\n"
    "                          with --scaling, PDF pages are drawn at their placed size)\n"
    "  --max-pixels N          refuse a page of more than N pixels before decoding it\n"
    "                          (default 100000000; an A4 page at 300 dpi is 8.7 million)\n"
    "  --max-memory MIB        memory a PDF document may take to read (default 512)\n"
    "  --max-seconds N         processor seconds a PDF document may take to read, twice\n"
    "                          that in wall-clock time (default 20)\n"
    "  --trace FILE            write every trace line of the plug-in to FILE\n"
    "  -v, --verbose           show every trace line on standard error (by default only\n"
    "                          errors and warnings, and none with --trace)\n"
    "  -h, --help              show this help\n";

const char kDecodeUsage[] =
    "usage: qxvn decode STREAM -o OUT.png\n"
    "\n"
    "Checks a command stream strictly and draws what the printer would print: one 1-bit PNG\n"
    "at 300 dpi per page, OUT.png for one page, OUT-1.png, OUT-2.png... for several. An\n"
    "invalid stream is an error naming the byte offset, and no image is written. Lines wider\n"
    "than their page header says are warnings and are drawn in full.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE       image to write ('-' for standard output, one page only)\n"
    "  -h, --help              show this help\n";

const char kDumpUsage[] =
    "usage: qxvn dump STREAM\n"
    "\n"
    "Lists the packages of a command stream, one a line: byte offset, command and decoded\n"
    "fields, and after each page its lines, dots and bytes. Stops with an error at the first\n"
    "invalid package.\n"
    "\n"
    "options:\n"
    "  -h, --help              show this help\n";

}  // namespace qxvn
