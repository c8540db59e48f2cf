#!/usr/bin/env bash
# Builds Kestrin and runs it: the window where there is a display, otherwise
# kestrin-cut on the sample log, with the report on standard output and
# everything else (the build's own output included) on standard error.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
cmake --preset default >&2
cmake --build build -j "$(nproc)" --target kestrin kestrin-cut >&2

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/kestrin ]; then
    exec build/app/kestrin
fi
echo "kestrin: no display here, so running kestrin-cut on samples/access.log instead" >&2
exec build/cli/kestrin-cut --keyword '"' --ranked samples/access.log
