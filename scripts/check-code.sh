#!/usr/bin/env bash
# Checks the shape of the code: no function in engine/, cli/, ui/ or app/ over 60
# lines or of a cyclomatic complexity over 20 (pmccabe's traditional count), no
# system header of POSIX, Linux or Windows included in engine/ or cli/ but in engine/os,
# the one door to the operating system, and no include in the engine from a lower
# part to a higher one (os, text, input, tally, report, run, lowest first).
#   bash scripts/check-code.sh
set -euo pipefail
cd "$(dirname "$0")/.."

command -v pmccabe >/dev/null || { echo "check-code: pmccabe is missing: run scripts/setup.sh" >&2; exit 1; }
status=0
sources=$(find engine cli ui app -name '*.cpp' -o -name '*.h' | sort)
# pmccabe does not know C++17's nested namespaces, and passes over every function
# inside one: "namespace a::b {" is read as "namespace a {", which closes alike.
# Nor override, final, noexcept, a && qualifier or __attribute__((...)), after
# which it loses its way: they go, as they change no function's shape.
# Columns: modified and traditional complexity, statements, first line, lines, name.
measured=""
complaints=$(mktemp)
trap 'rm -f "$complaints"' EXIT
for file in $sources; do
    counts=$(sed -E -e 's/^namespace ([A-Za-z0-9_]+)(::[A-Za-z0-9_]+)+ \{/namespace \1 {/' \
        -e 's/\b(override|final|noexcept)\b//g' -e 's/\) &&( \{|;)/)\1/' -e 's/__attribute__\(\([a-z_]+\)\) //g' "$file" |
        pmccabe 2>"$complaints" | sed "s|stdin|$file|g") || true
    # A word from pmccabe is it losing its way; a source file in which it finds no
    # function is one it could not read.
    if [ -s "$complaints" ] ||
        { [[ $file == *.cpp ]] && ! grep -qP '^\d+\t' <<<"$counts"; }; then
        echo "check-code: pmccabe cannot read $file:" >&2
        cat "$complaints" >&2
        [ -n "$counts" ] || echo "(no function found)" >&2
        status=1
    fi
    measured+=$(grep -P '^\d+\t' <<<"$counts" || true)$'\n'
done
big=$(awk '$2 > 20 || $5 > 60' <<<"$measured")
if [ -n "$big" ]; then
    echo "check-code: functions over 60 lines or of complexity over 20:" >&2
    echo "$big" >&2
    status=1
fi
system=$(grep -nE '#include <(unistd|fcntl|sched|signal|pthread|dirent|poll|termios|dlfcn|grp|pwd|windows|io|shellapi|malloc)\.h>|#include <(sys|linux|arpa|netinet)/' \
    $(find engine cli -name '*.cpp' -o -name '*.h' | grep -v '^engine/os/') || true)
if [ -n "$system" ]; then
    echo "check-code: system headers outside engine/os:" >&2
    echo "$system" >&2
    status=1
fi
# The engine's parts, lowest first: each includes only from its own part and those
# below it, so that a lower part never depends on a higher one.
layers=(os text input tally report run)
for ((low = 0; low < ${#layers[@]}; low++)); do
    above=$(IFS='|'; echo "${layers[*]:low+1}")
    [ -n "$above" ] || continue
    upward=$(grep -nE "#include \"($above)/" $(find "engine/${layers[low]}" -name '*.cpp' -o -name '*.h') || true)
    if [ -n "$upward" ]; then
        echo "check-code: engine/${layers[low]} includes from a higher part of the engine:" >&2
        echo "$upward" >&2
        status=1
    fi
done
[ "$status" = 0 ] && echo "check-code: $(echo "$sources" | wc -l) files, $(grep -c . <<<"$measured") functions: every one small, the system behind engine/os"
exit "$status"
