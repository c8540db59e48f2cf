#!/usr/bin/env bash
# Checks the shape of the code: no function in engine/, cli/, ui/ or app/ over 60
# lines or of a cyclomatic complexity over 20 (pmccabe's traditional count), and no
# system header of POSIX or Linux included in engine/ or cli/ but in engine/os,
# the one door to the operating system.
#   bash scripts/check-code.sh
set -euo pipefail
cd "$(dirname "$0")/.."

command -v pmccabe >/dev/null || { echo "check-code: pmccabe is missing: run scripts/setup.sh" >&2; exit 1; }
status=0
sources=$(find engine cli ui app -name '*.cpp' -o -name '*.h' | sort)
# Columns: modified and traditional complexity, statements, first line, lines, name.
# shellcheck disable=SC2086  # one path a word. pmccabe warns of braces it does not
# follow (in initializer lists, say) and counts the functions all the same.
big=$(pmccabe $sources 2>/dev/null | awk '$2 > 20 || $5 > 60')
if [ -n "$big" ]; then
    echo "check-code: functions over 60 lines or of complexity over 20:" >&2
    echo "$big" >&2
    status=1
fi
system=$(grep -nE '#include <(unistd|fcntl|sched|signal|pthread|dirent|poll|termios|dlfcn|grp|pwd)\.h>|#include <(sys|linux|arpa|netinet)/' \
    $(find engine cli -name '*.cpp' -o -name '*.h' | grep -v '^engine/os/') || true)
if [ -n "$system" ]; then
    echo "check-code: system headers outside engine/os:" >&2
    echo "$system" >&2
    status=1
fi
[ "$status" = 0 ] && echo "check-code: $(echo "$sources" | wc -l) files: every function small, the system behind engine/os"
exit "$status"
