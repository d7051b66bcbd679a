#!/usr/bin/env bash
# The Debian package as a user gets it: its files, dependencies, service unit and maintainer
# scripts; then unpacked into a scratch root and run from there: qxvn prints the sample label,
# the app's server runs with its state in a temporary folder on a free 127.0.0.1 port, and its
# sub-commands submit a job, list it and show the status.
#   package_test.sh PACKAGE.deb         check a built package
#   package_test.sh --build BUILD_DIR   package that build first (the test suite's way)
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
scratch="$(mktemp -d /tmp/qxvn-package-test-XXXXXX)"
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$server_pid" 2>/dev/null || true
  fi
  # A server killed leaves its control socket behind.
  rm -f "/run/qxvn-printer-app-pkg$$"*.sock "${TMPDIR:-/tmp}/qxvn-printer-app-$(id -u)/qxvn-printer-app-pkg$$"*.sock
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "package_test: $*" >&2; exit 1; }
expect() {  # expect TEXT WHAT WORDS...: each word appears in TEXT
  local text="$1" what="$2"
  shift 2
  for word in "$@"; do grep -qF -- "$word" <<<"$text" || fail "$what lacks '$word'"; done
}

if [[ "${1:-}" == "--build" ]]; then
  cpack --config "$2/CPackConfig.cmake" -B "$scratch/package" >/dev/null
  deb="$(ls "$scratch"/package/qxvn_*.deb)"
else
  deb="${1:?usage: package_test.sh PACKAGE.deb | --build BUILD_DIR}"
fi

# Files: the programs, the private library folder, manual pages, the service, udev and tmpfiles.
files="$(dpkg-deb -c "$deb" | awk '{print $1 " " $6}')"
expect "$files" "the package" "-rwxr-xr-x ./usr/bin/qxvn" "-rwxr-xr-x ./usr/bin/qxvn-printer-app" \
  "./usr/lib/qxvn/qxvnuni.so" "./usr/lib/qxvn/libqxhostsvc.so" "-rwxr-xr-x ./usr/lib/qxvn/qxvn-pdf-render" \
  "./usr/share/man/man1/qxvn.1.gz" \
  "./usr/share/man/man8/qxvn-printer-app.8.gz" "./usr/lib/systemd/system/qxvn-printer-app.service" \
  "./usr/lib/systemd/system/qxvn-printer-app-autoadd.service" "./usr/lib/udev/rules.d/70-qxvn-printer-app.rules" \
  "./usr/lib/tmpfiles.d/qxvn-printer-app.conf"
if grep -v -E "^d|/usr/(bin|lib/qxvn|share/man|lib/systemd/system|lib/udev/rules.d|lib/tmpfiles.d)/" <<<"$files"; then
  fail "files outside the package's folders (above)"
fi

# Dependencies come from the binaries; the maintainer scripts' own is adduser.
info="$(dpkg-deb -I "$deb")"
depends="$(dpkg-deb -f "$deb" Depends)"
expect "$depends" "Depends" adduser libpappl1 libcups2 libavahi-client3 libpng16-16 libjpeg62-turbo \
  libpoppler-cpp libstdc++6 libc6
# PAPPL only in the versions the app's replaced functions were checked against: a later one keeps
# its soname, so nothing else would stop it.
expect "$depends" "Depends" "libpappl1 (>= 1.3.1)" "libpappl1 (<< 1.4~)"
other_pappl="$(tr ',' '\n' <<<"$depends" | sed 's/^ *//' | grep '^libpappl' | grep -vxF -e 'libpappl1 (>= 1.3.1)' -e 'libpappl1 (<< 1.4~)' || true)"
[[ -z "$other_pappl" ]] || fail "Depends names PAPPL outside the checked range: $other_pappl"
expect "$info" "the control file" "Package: qxvn" "Architecture: amd64"

# Maintainer scripts: the user made and the service enabled on install, stopped on removal.
dpkg-deb -e "$deb" "$scratch/control"
for script in postinst prerm postrm; do
  [[ -x "$scratch/control/$script" ]] || fail "$script is missing or not executable"
  sh -n "$scratch/control/$script" || fail "$script is not valid sh"
done
expect "$(cat "$scratch/control/postinst")" postinst "adduser --system" "deb-systemd-helper enable qxvn-printer-app.service" \
  "deb-systemd-invoke restart qxvn-printer-app.service" "systemd-tmpfiles --create"
expect "$(cat "$scratch/control/prerm")" prerm "deb-systemd-invoke stop qxvn-printer-app.service"
expect "$(cat "$scratch/control/postrm")" postrm "purge" "rm -rf /var/lib/qxvn-printer-app"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"

# The unit: a dedicated user, state under /var/lib, hardened, USB and the local socket allowed.
unit="$(cat "$root/usr/lib/systemd/system/qxvn-printer-app.service")"
expect "$unit" "the unit" "User=qxvn-printer-app" "StateDirectory=qxvn-printer-app" "--state /var/lib/qxvn-printer-app" \
  "NoNewPrivileges=yes" "ProtectSystem=strict" "ProtectHome=yes" "PrivateTmp=yes" "CapabilityBoundingSet=" \
  "DeviceAllow=char-usb_device rw" "RuntimeDirectory=qxvn-printer-app" \
  "local-socket=/run/qxvn-printer-app/qxvn-printer-app.sock" "WantedBy=multi-user.target"
expect "$(cat "$root/usr/lib/tmpfiles.d/qxvn-printer-app.conf")" "tmpfiles" \
  "L /run/qxvn-printer-app.sock - - - - /run/qxvn-printer-app/qxvn-printer-app.sock"
# systemd-analyze checks the units against the unpacked programs and manual pages.
mkdir "$scratch/units"
for unit_file in qxvn-printer-app.service qxvn-printer-app-autoadd.service; do
  sed "s|/usr/bin/|$root/usr/bin/|g" "$root/usr/lib/systemd/system/$unit_file" >"$scratch/units/$unit_file"
done
# Unknown or misspelt settings are only warned about: any output fails the test.
verify="$(MANPATH="$root/usr/share/man" systemd-analyze verify "$scratch/units/qxvn-printer-app.service" \
  "$scratch/units/qxvn-printer-app-autoadd.service" 2>&1)" || fail "systemd-analyze verify: $verify"
[[ -z "$verify" ]] || fail "systemd-analyze verify: $verify"
MANPATH="$root/usr/share/man" man -w qxvn-printer-app >/dev/null
MANPATH="$root/usr/share/man" man -w 1 qxvn >/dev/null

# qxvn prints the sample through the plug-in installed with it, not the build's.
qxvn="$root/usr/bin/qxvn"
loaded="$(LD_DEBUG=files "$qxvn" print --printer-data "$source_dir/examples/printer-data.reg" \
  "$source_dir/examples/shipping-label.png" -o "$scratch/label.prn" 2>&1)"
expect "$loaded" "qxvn's loaded libraries" "file=$root/usr/bin/../lib/qxvn/qxvnuni.so" \
  "file=libqxhostsvc.so"
[[ -s "$scratch/label.prn" ]] || fail "qxvn print wrote nothing"
"$qxvn" decode "$scratch/label.prn" -o "$scratch/label.png" >/dev/null
# A PDF through the renderer installed with it.
"$qxvn" print "$source_dir/examples/shipping-label.pdf" -o "$scratch/pdf.prn" || fail "qxvn print of a PDF failed"
"$qxvn" decode "$scratch/pdf.prn" -o "$scratch/pdf.png" >/dev/null

# The app under a name of its own, so that its local socket is its own.
app="$scratch/qxvn-printer-app-pkg$$"
ln -s "$root/usr/bin/qxvn-printer-app" "$app"
port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
"$app" server --state "$scratch/state" --port "$port" --log "$scratch/app.log" &
server_pid=$!
for _ in $(seq 300); do
  "$app" status >/dev/null 2>&1 && break
  kill -0 "$server_pid" 2>/dev/null || fail "the server ended: $(cat "$scratch/app.log")"
  sleep 0.1
done
status="$("$app" status)"
expect "$status" "status" "Running"
job="$("$app" submit -d label "$source_dir/examples/shipping-label.png")"
[[ "$job" == "label-1" ]] || fail "submit said '$job'"
for _ in $(seq 300); do
  jobs="$("$app" jobs -d label)"
  grep -q "^1 completed" <<<"$jobs" && break
  sleep 0.1
done
expect "$jobs" "jobs" "1 completed" "shipping-label.png"
[[ -s "$scratch/state/output/1-shipping-label.png.prn" ]] || fail "the job wrote no output"
expect "$(cat "/proc/$server_pid/maps")" "the server's mappings" "$root/usr/lib/qxvn/qxvnuni.so"
curl_out="$(python3 -c "import urllib.request; print(urllib.request.urlopen('http://127.0.0.1:$port/').read().decode())")"
expect "$curl_out" "the web interface" "QXVN Label Printer Application" "label"
"$app" shutdown  # the server stops within 30 seconds; the clean-up stops it at once
echo "package_test: $deb passed"
