#!/usr/bin/env bash
# Builds Kestrin and runs every test: engine, command line and window.
#   --sanitize  the build goes to build-sanitize, under AddressSanitizer and
#               UndefinedBehaviorSanitizer
#   --thread    the engine and command line only, to build-thread, under
#               ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

preset=default
build=build
case "${1:-}" in
    --sanitize) preset=sanitize build=build-sanitize ;;
    --thread) preset=thread build=build-thread ;;
    "") ;;
    *) echo "usage: bash scripts/test.sh [--sanitize | --thread]" >&2; exit 2 ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
