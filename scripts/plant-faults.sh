#!/usr/bin/env bash
# Plants small faults in a copy of the working tree, one at a time, and checks
# that the tests catch each of them. The faults are listed in faults.txt beside
# this script.
#
#   scripts/plant-faults.sh               every fault
#   scripts/plant-faults.sh --only REGEX  only the faults whose description matches
#   scripts/plant-faults.sh --list        lists the faults (with --only: some of them)
#
# The copy (tracked and untracked files, no build directories, no .git) lives in
# a scratch directory that is removed at the end; the working tree is never
# touched. One build is configured there and must pass its tests unchanged;
# then each fault is planted, built, tested with a time limit and taken out.
#
# Environment:
#   KESTRIN_FAULTS_CMAKE_ARGS  more arguments for the cmake configure step,
#                              e.g. -DKESTRIN_BUILD_TESTS=OFF to try the
#                              mechanics while the tests do not build
#   KESTRIN_FAULTS_TIMEOUT     seconds the tests of one fault may take (300);
#                              tests that run longer caught the fault (a hang)
#   KESTRIN_FAULTS_JOBS        parallel build and test jobs (2)
#   KESTRIN_FAULTS_KEEP=1      keep the scratch directory and its logs
#
# Before anything is copied or built, every selected fault is checked: its file
# is there and holds its text exactly once. One that does not ends the script at
# once, with the list of them.
#
# Exit status: 0 every planted fault was caught; 1 some fault was missed;
# 2 the script could not do its job: a fault that no longer plants (its text is
# missing or ambiguous) or does not compile, a failing unchanged build, or a
# usage error. A stale fault must be fixed in faults.txt, not ignored.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
table=$here/faults.txt
helper=$here/faults.py
timeout_seconds=${KESTRIN_FAULTS_TIMEOUT:-300}
jobs=${KESTRIN_FAULTS_JOBS:-2}

usage() {
    sed -n '2,/^set -uo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
}

only=""
list=0
while [ $# -gt 0 ]; do
    case "$1" in
        --only)
            [ $# -ge 2 ] || { echo "plant-faults: --only needs a REGEX" >&2; exit 2; }
            only=$2
            shift 2
            ;;
        --only=*) only=${1#--only=}; shift ;;
        --list) list=1; shift ;;
        -h | --help) usage; exit 0 ;;
        *) echo "plant-faults: unknown argument $1" >&2; usage >&2; exit 2 ;;
    esac
done

# Index, file and description of the selected faults, one a line.
selected=$(python3 "$helper" "$table" list "$only") || exit 2
if [ "$list" = 1 ]; then
    [ -z "$selected" ] || printf '%s\n' "$selected" | cut -f2- | sed 's/\t/: /'
    exit 0
fi
if [ -z "$selected" ]; then
    echo "plant-faults: no fault matches ${only:-anything}" >&2
    exit 2
fi

# Every selected fault must plant before anything is built: a stale one is an
# error of the table, found in a second rather than after an hour of builds.
if ! python3 "$helper" "$table" check "$top" "$only"; then
    echo "plant-faults: the faults above no longer plant (their file is gone, or their text" \
        "is not there exactly once): fix them in faults.txt" >&2
    exit 2
fi

if ! git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "plant-faults: $top is not a git working tree" >&2
    exit 2
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrin-faults.XXXXXX") || exit 2
# Some tests run kestrin-cut as an unprivileged user, who must reach the build.
chmod 755 "$scratch"
# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
    if [ "${KESTRIN_FAULTS_KEEP:-0}" = 1 ]; then
        echo "plant-faults: kept $scratch" >&2
    else
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

tree=$scratch/tree
logs=$scratch/logs
mkdir -p "$tree" "$logs"

# The tree as it is now, edits not yet committed included: tracked and untracked
# files (not those git ignores), without build directories and files deleted
# from the working tree.
git -C "$top" ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' name; do
        case "$name" in build*/*) continue ;; esac
        if [ -e "$top/$name" ] || [ -L "$top/$name" ]; then printf '%s\0' "$name"; fi
    done |
    tar -C "$top" --null --no-recursion -T - -cf - | tar -C "$tree" -xf - || {
    echo "plant-faults: could not copy the working tree" >&2
    exit 2
}

# Shows the end of a log when a step fails.
tail_of() {
    echo "--- last lines of $(basename "$1") ---" >&2
    tail -n 40 "$1" >&2
}

cd "$tree" || exit 2
# shellcheck disable=SC2086  # the extra arguments are meant to split into words
if ! cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIN_BUILD_UI=OFF \
    -DKESTRIN_BUILD_BENCH=OFF ${KESTRIN_FAULTS_CMAKE_ARGS:-} >"$logs/configure.log" 2>&1; then
    echo "plant-faults: cmake configure failed on the unchanged tree" >&2
    tail_of "$logs/configure.log"
    exit 2
fi
echo "building the unchanged tree..."
if ! cmake --build build -j"$jobs" >"$logs/build.log" 2>&1; then
    echo "plant-faults: the unchanged tree does not build" >&2
    tail_of "$logs/build.log"
    exit 2
fi
tests=$(ctest --test-dir build -N 2>/dev/null | sed -n 's/^Total Tests: *//p')
if [ "${tests:-0}" = 0 ]; then
    echo "plant-faults: WARNING: the build has no tests; every fault will be MISSED" >&2
fi
echo "running the ${tests:-0} tests of the unchanged tree..."
if ! timeout --kill-after=10 "$timeout_seconds" \
    ctest --test-dir build -j"$jobs" --output-on-failure >"$logs/tests.log" 2>&1; then
    echo "plant-faults: the tests fail (or time out) on the unchanged tree" >&2
    tail_of "$logs/tests.log"
    exit 2
fi

planted=0
caught=0
missed=()
stale=()
broken=()
while IFS=$'\t' read -r -u 3 index file what; do
    line="$file: $what"
    backup=$scratch/original
    if [ ! -f "$file" ]; then
        printf '%-12s%s (no such file)\n' "NOT PLANTED" "$line"
        stale+=("$line")
        continue
    fi
    cp "$file" "$backup"
    if ! python3 "$helper" "$table" plant "$tree" "$index" 2>"$logs/plant.log" ||
        cmp -s "$file" "$backup"; then
        printf '%-12s%s (%s)\n' "NOT PLANTED" "$line" "$(tr '\n' ' ' <"$logs/plant.log")"
        stale+=("$line")
        cp "$backup" "$file"
        continue
    fi

    started=$SECONDS
    if ! cmake --build build -j"$jobs" >"$logs/fault-$index-build.log" 2>&1; then
        status="NO BUILD"
        broken+=("$line")
    else
        planted=$((planted + 1))
        timeout --kill-after=10 "$timeout_seconds" \
            ctest --test-dir build -j"$jobs" --stop-on-failure >"$logs/fault-$index-tests.log" 2>&1
        result=$?
        if [ "$result" = 0 ]; then
            status="MISSED"
            missed+=("$line")
        else
            status="CAUGHT"
            caught=$((caught + 1))
            # timeout says 124 (137 after the kill): the tests hung, which is caught too.
            if [ "$result" = 124 ] || [ "$result" = 137 ]; then line="$line (hang)"; fi
        fi
    fi
    # A fresh copy, not one with the old time: the next build must see the file
    # changed again, or the fault would stay in the next fault's build.
    cp "$backup" "$file"
    touch "$file"
    printf '%-12s%s [%ss]\n' "$status" "$line" "$((SECONDS - started))"
done 3<<<"$selected"

echo
echo "caught $caught of $planted planted faults"
if [ ${#missed[@]} -gt 0 ]; then
    echo "missed:"
    printf '  %s\n' "${missed[@]}"
fi
if [ ${#broken[@]} -gt 0 ]; then
    echo "did not compile (fix these faults in faults.txt):"
    printf '  %s\n' "${broken[@]}"
fi
if [ ${#stale[@]} -gt 0 ]; then
    echo "NOT PLANTED (their text no longer matches once: fix them in faults.txt):"
    printf '  %s\n' "${stale[@]}"
fi

if [ ${#stale[@]} -gt 0 ] || [ ${#broken[@]} -gt 0 ]; then exit 2; fi
if [ ${#missed[@]} -gt 0 ]; then exit 1; fi
exit 0
