#!/usr/bin/env bash
# Builds the two programs, packs them as the Debian package kestrin and installs it
# with apt, which also brings in the libraries it depends on.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build -j "$(nproc)" --target kestrin kestrin-cut kestrin_docs
rm -rf build/package
(cd build && cpack -G DEB -B package >/dev/null)
deb=(build/package/kestrin_*.deb)
echo "install: ${deb[0]}" >&2
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "./${deb[0]}" >/dev/null
echo "install: kestrin and kestrin-cut are in /usr/bin; remove them with apt-get remove kestrin" >&2
