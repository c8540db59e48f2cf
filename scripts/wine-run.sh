#!/usr/bin/env bash
# Runs a Windows program under wine. cmake/mingw-w64.cmake makes it CMake's
# emulator, so ctest and GoogleTest's test discovery run the tests through it; by
# hand:
#   bash scripts/wine-run.sh [--prefix DIR] PROGRAM [ARGUMENT...]
# The exit status is the program's.
#
# The wine prefix is DIR, else $WINEPREFIX, else wine-prefix/ in the build tree that
# holds PROGRAM (the nearest folder above it with a CMakeCache.txt): never the home
# folder, so that builds stay apart and removing a build tree removes its prefix.
set -euo pipefail

prefix=${WINEPREFIX:-}
if [ "${1:-}" = --prefix ]; then
    [ $# -ge 2 ] || { echo "wine-run: --prefix needs a folder" >&2; exit 2; }
    prefix=$2
    shift 2
fi
if [ $# -eq 0 ]; then
    echo "usage: bash scripts/wine-run.sh [--prefix DIR] PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
if [ -z "$prefix" ]; then
    tree=$(cd "$(dirname "$1")" && pwd)
    while [ "$tree" != / ] && [ ! -f "$tree/CMakeCache.txt" ]; do
        tree=$(dirname "$tree")
    done
    [ "$tree" != / ] || tree=$(cd "$(dirname "$1")" && pwd)
    prefix=$tree/wine-prefix
fi
mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX

# Wine's own messages (fixme:, err:, and the Debian wrapper's hint that the 32-bit
# wine is missing) would mix with the program's standard error, which tests read.
export WINEDEBUG=${WINEDEBUG:--all}
# No menu entries or file associations in the home folder, and no offer to install
# .NET or a browser engine into the prefix, which a console program never uses.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

# A program started with no wineserver running waits about a second for it and wine's
# services; one started while a server runs, a tenth of that. So a server is kept for
# a minute after the last program of this prefix ends: long enough to carry a test run
# from one program to the next, short enough to leave nothing behind for long. It is
# started before the program, or the program's own server would not linger. Its
# output goes nowhere, lest it hold a caller's pipe open.
#
# wine's services start with the first program a new server runs, and inherit its
# standard streams: a caller reading the program's output to its end (ctest, or
# GoogleTest's test discovery) would wait for the server to go, a minute later. So a
# new server's services are started here, by wineboot, with their output going
# nowhere; and a new prefix is made first, once. Both under a lock (ctest starts
# several programs at once), which the server and wine's programs, that outlive
# this script, are not given.
(
    flock 9
    new_server=0
    wineserver -p60 </dev/null >/dev/null 2>&1 9>&- && new_server=1
    if [ ! -f "$WINEPREFIX/.initialized" ]; then
        wine wineboot --init </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 9>&- || {
            cat "$WINEPREFIX/wineboot.log" >&2
            echo "wine-run: wine could not make the prefix $WINEPREFIX" >&2
            exit 1
        }
        touch "$WINEPREFIX/.initialized"
    elif [ "$new_server" = 1 ]; then
        wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX/.lock"

exec wine "$@"
