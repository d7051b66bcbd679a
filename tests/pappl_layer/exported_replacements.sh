#!/usr/bin/env bash
# The functions the built app exports in PAPPL's or libcups's place are exactly those its table
# of replacements lists: none added without an entry (and so without the start-up check), none
# listed that the app no longer exports.
#   exported_replacements.sh APP TABLE.def
set -euo pipefail
app="$1" table="$2"
fail() { echo "exported_replacements: $*" >&2; exit 1; }

listed="$(sed -n 's/^QX_REPLACED(\([A-Za-z0-9_]*\),.*/\1/p' "$table" | sort -u)"
[[ -n "$listed" ]] || fail "no QX_REPLACED lines in $table"
exported="$(nm -D --defined-only "$app" | awk '$2 ~ /^[TtWi]$/ {print $3}' | sed 's/@.*//' | sort -u)"
libraries="$(ldd "$app" | awk '$1 ~ /^lib(pappl|cups)\.so/ {print $3}')"
[[ "$(wc -w <<<"$libraries")" -eq 2 ]] || fail "$app does not load both libpappl and libcups: $libraries"
provided="$(for library in $libraries; do nm -D --defined-only "$library"; done |
  awk '$2 ~ /^[TtWi]$/ {print $3}' | sed 's/@.*//' | sort -u)"
interposed="$(comm -12 <(echo "$exported") <(echo "$provided"))"

unlisted="$(comm -23 <(echo "$interposed") <(echo "$listed"))"
[[ -z "$unlisted" ]] || fail "the app replaces functions its table does not list:"$'\n'"$unlisted"
gone="$(comm -13 <(echo "$interposed") <(echo "$listed"))"
[[ -z "$gone" ]] || fail "the table lists functions the app does not replace (or the library lacks):"$'\n'"$gone"
echo "$(wc -l <<<"$listed") replaced functions, each listed"
