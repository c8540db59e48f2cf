#!/usr/bin/env bash
# Builds Kestrin and runs every test: engine, command line and window.
# With --sanitize the build goes to build-sanitize with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

preset=default
build=build
if [ "${1:-}" = "--sanitize" ]; then
    preset=sanitize
    build=build-sanitize
fi
cmake --preset "$preset" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
