#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only what is missing (run as root).
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libpng-dev libpoppler-cpp-dev poppler-utils fonts-liberation hyperfine time g++-mingw-w64-x86-64 wine64
          clang-format clang-14 libfuzzer-14-dev libclang-rt-14-dev libpappl-dev libjpeg-dev cups-ipp-utils
          chromium chromium-driver python3 zint zbar-tools cups cups-client cups-filters curl util-linux
          dpkg-dev file systemd man-db iproute2 libzxing-dev libzint-dev zxing-cpp-tools
          avahi-daemon avahi-utils dbus libnss-mdns)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
