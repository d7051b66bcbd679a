#!/usr/bin/env bash
# The built app against a stand-in libpappl.so.1 (every PAPPL function the app imports or
# replaces, as empty stubs, and PAPPL's version text), made here each way the start-up check must
# refuse: a PAPPL 1.4 without _papplPrinterCheckJobs and _papplJobSubmitFile, one whose own calls are
# bound inside it (-Bsymbolic-functions), and a newer version. Each time the app must exit 1
# before it does anything, naming the version, the library and the function.
#   app_standin_test.sh APP TABLE.def
set -euo pipefail
app="$1" table="$2"
cc="${CC:-cc}"
scratch="$(mktemp -d /tmp/qxvn-standin-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "app_standin_test: $*" >&2; exit 1; }

pappl="$(ldd "$app" | awk '$1 == "libpappl.so.1" {print $3}')"
[[ -f "$pappl" ]] || fail "$app does not load libpappl.so.1"
replaced="$(sed -n 's/^QX_REPLACED(\([A-Za-z0-9_]*\),.*/\1/p' "$table" | sort -u)"
# Everything the app takes from PAPPL, and everything it replaces that PAPPL has.
pappl_names="$(nm -D --defined-only "$pappl" | awk '$2 == "T" {print $3}' | sed 's/@.*//' | sort -u)"
wanted="$( (nm -D --undefined-only "$app" | awk '{print $2}' | sed 's/@.*//'; echo "$replaced") | sort -u |
  comm -12 - <(echo "$pappl_names"))"

# make_standin DIR VERSION [OMITTED...]: the stand-in, with VERSION in its text, without OMITTED.
make_standin() {
  local dir="$1" version="$2" flags="$3"
  shift 3
  mkdir -p "$dir"
  {
    echo "const char *standin_server_header = \"Unknown PAPPL/$version CUPS IPP/2.0\";"
    for name in $wanted; do
      if printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
      echo "void $name(void) {}"
    done
    # PAPPL's own calls of each replaced name, through its symbol table unless bound inside.
    for name in $replaced; do
      if printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
      grep -qx "$name" <<<"$wanted" || echo "void $name(void);"
    done
    echo "void standin_calls(void) {"
    for name in $replaced; do
      if printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
      echo "  $name();"
    done
    echo "}"
  } >"$dir/standin.c"
  # shellcheck disable=SC2086
  "$cc" -shared -fPIC -w -o "$dir/libpappl.so.1" -Wl,-soname,libpappl.so.1 $flags "$dir/standin.c" -lcups
}

# expect_refusal DIR TEXT...: the app against DIR's stand-in exits 1 with every TEXT.
expect_refusal() {
  local dir="$1" output status=0
  shift
  output="$(LD_LIBRARY_PATH="$dir" "$app" --version 2>&1)" || status=$?
  [[ "$status" == 1 ]] || fail "against $dir the app exited $status, not 1: $output"
  for text in "$@"; do
    grep -qF -- "$text" <<<"$output" || fail "against $dir the app did not say '$text': $output"
  done
  echo "$output" | head -n 3
}

make_standin "$scratch/missing" 1.3.1 "" _papplPrinterCheckJobs _papplJobSubmitFile
expect_refusal "$scratch/missing" \
  "qxvn-printer-app: refusing to start: PAPPL 1.3.1 ($scratch/missing/libpappl.so.1): _papplJobSubmitFile: the library has no such function" \
  "_papplPrinterCheckJobs: the library has no such function (the app calls it)"

make_standin "$scratch/bound-inside" 1.3.1 "-Wl,-Bsymbolic-functions"
expect_refusal "$scratch/bound-inside" \
  "PAPPL 1.3.1 ($scratch/bound-inside/libpappl.so.1): papplClientIsAuthorized: the library binds its own calls of it inside itself" \
  "_papplJobProcess: the library binds its own calls of it inside itself"

make_standin "$scratch/newer" 1.4.2 ""
expect_refusal "$scratch/newer" \
  "PAPPL 1.4.2 ($scratch/newer/libpappl.so.1): not a version the app was checked against PAPPL 1.3.1 up to, not including, 1.4.0"

# The same stand-in as a 1.3.1 passes the check (the app then runs into the stubs).
make_standin "$scratch/sound" 1.3.1 ""
sound="$(LD_LIBRARY_PATH="$scratch/sound" timeout 10 "$app" --version 2>&1 || true)"
if grep -q "refusing to start" <<<"$sound"; then fail "the app refuses a sound stand-in: $sound"; fi
echo "the app refuses each stand-in that would leave a replacement out"
