#!/usr/bin/env bash
# Builds Kestrin for 64-bit Windows and tests it under wine, in one command:
# installs what it needs (scripts/setup.sh and scripts/windows-setup.sh), configures
# and builds build-windows with the window, the tests and warnings as errors, runs
# every test with ctest, and packs the installer and the ZIP into
# build-windows/package. Prints how long each step took.
#   bash scripts/windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-windows
jobs=$(nproc)
steps=()
started=$(date +%s)
# The steps' times, also when one fails.
report_times() {
    echo "windows: $(($(date +%s) - started)) s in all" >&2
    printf '%s\n' "${steps[@]}" >&2
}
trap report_times EXIT

# step NAME COMMAND...: runs the command, and notes how long it took.
step() {
    local name=$1 from
    shift
    from=$(date +%s)
    echo "windows: $name" >&2
    "$@"
    steps+=("$(printf '  %-10s %5d s' "$name" $(($(date +%s) - from)))")
}

# windows-setup.sh: the cross compilers, wine, NSIS and the Windows libraries;
# setup.sh: this machine's tools the tests run here (gzip, zstd, zip ... make the
# compressed logs; the window's tests run wine in Xvfb under openbox).
setup() {
    bash scripts/setup.sh
    bash scripts/windows-setup.sh
}
configure() {
    cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIN_WERROR=ON -DKESTRIN_BUILD_UI=ON \
        -DKESTRIN_BUILD_BENCH=OFF >/dev/null
}

step setup setup
step configure configure
step build cmake --build "$build" -j "$jobs"
step test ctest --test-dir "$build" --output-on-failure -j "$jobs"
step package cpack --config "$build/CPackConfig.cmake" -B "$build/package"
ls "$build"/package/kestrin-*-win64.{exe,zip} >&2
