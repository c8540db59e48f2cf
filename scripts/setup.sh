#!/usr/bin/env bash
# Installs every Debian package Kestrin's build, tests and benchmarks need.
# Idempotent: when everything is there already it changes nothing.
set -euo pipefail

packages=(
    # build; libpsl for the sites of --group site
    g++ cmake ninja-build pkg-config libicu-dev libpsl-dev
    # compressed logs and archives of them
    zlib1g-dev libisal-dev libzstd-dev liblzma-dev libbz2-dev liblz4-dev libarchive-dev
    # window
    qt6-base-dev libgl-dev fonts-ipafont-gothic fonts-dejavu-core
    # tests: suites, a real X server and window manager for the window's test, a
    # screenshot tool, and xdotool to find the window, click and type
    libgtest-dev libgmock-dev pmccabe xvfb xauth x11-apps imagemagick xdotool openbox
    # the JSON report checked by jq, the web page report rendered by a real browser
    jq chromium
    # installing: the icon's renderer, the desktop entry's and AppStream's checkers,
    # dpkg-shlibdeps for the Debian package's dependencies, lintian for its checks
    librsvg2-bin desktop-file-utils appstream dpkg-dev lintian
    # the compressed logs of the tests are made by the command line tools; the
    # several-hosts pipeline of the README runs under GNU parallel
    gzip zstd xz-utils bzip2 lz4 zip tar parallel
    # fuzzing
    clang libclang-rt-14-dev
    # benchmarks: the peers and the measuring tools
    libbenchmark-dev mawk coreutils time goaccess isal pigz
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "setup: installing ${missing[*]}" >&2
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
