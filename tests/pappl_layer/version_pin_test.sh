#!/usr/bin/env bash
# The configuration accepts only the PAPPL versions the replacements were checked against, and
# names the version it refuses.
set -uo pipefail
pin="$1"
status=0
for case in 1.3.1:ok 1.3.7:ok 1.3.0:refused 1.4.0:refused 1.4.9:refused 2.0:refused; do
  version="${case%%:*}" want="${case#*:}"
  if output="$(cmake -DQX_TRY_PAPPL_VERSION="$version" -P "$pin" 2>&1)"; then got=ok; else got=refused; fi
  if [[ "$got" != "$want" ]]; then
    echo "PAPPL $version: $got, expected $want: $output" >&2
    status=1
  elif [[ "$got" == refused && "$output" != *"PAPPL $version found"* ]]; then
    echo "PAPPL $version: the refusal does not name the version: $output" >&2
    status=1
  fi
done
exit "$status"
