#!/usr/bin/env bash
# Builds Kestrin and runs it: the window where there is a display, otherwise
# kestrin-cut on the sample log, printing the report.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build -j "$(nproc)" --target kestrin kestrin-cut

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/kestrin ]; then
    exec build/app/kestrin
fi
echo "kestrin: no display here, so running kestrin-cut on samples/access.log instead" >&2
exec build/cli/kestrin-cut --keyword '"' --ranked samples/access.log -
