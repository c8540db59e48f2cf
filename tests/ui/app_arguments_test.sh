#!/usr/bin/env bash
# kestrin's arguments are read before any display is needed: the help and the
# version print and end, a mistake is a usage error in kestrin-cut's words, and a
# window that cannot be opened ends the program with one line and status 1, never
# with Qt's abort.
# usage: app_arguments_test.sh KESTRIN VERSION
set -euo pipefail
kestrin=$(realpath "$1")
version=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ulimit -c 0
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

failures=0
fail() {
    echo "app arguments test: $*" >&2
    failures=$((failures + 1))
}
# Runs kestrin with the arguments given, keeping its status, standard output and
# standard error.
run() {
    status=0
    "$kestrin" "$@" >out 2>err || status=$?
}
# expect STATUS STDOUT STDERR ARGUMENT...: the run's status and both outputs, exactly.
expect() {
    local want_status=$1 want_out=$2 want_err=$3
    shift 3
    run "$@"
    [ "$status" -eq "$want_status" ] || fail "kestrin $*: status $status, not $want_status"
    [ "$(cat out)" == "$want_out" ] || fail "kestrin $*: standard output '$(cat out)'"
    [ "$(cat err)" == "$want_err" ] || fail "kestrin $*: standard error '$(cat err)'"
}

for option in -h --help; do
    run "$option"
    [ "$status" -eq 0 ] || fail "kestrin $option: status $status, not 0"
    [ "$(head -n 1 out)" == "usage: kestrin [LOGFILE]" ] ||
        fail "kestrin $option: no usage on standard output: '$(cat out)'"
    grep -q -- '-V, -v, --version' out || fail "kestrin $option: the version options are not named"
    [ ! -s err ] || fail "kestrin $option: standard error '$(cat err)'"
done

for option in -V -v --version; do
    expect 0 "kestrin $version" "" "$option"
done

try="Try 'kestrin --help'."
expect 2 "" "kestrin: unknown option --frob"$'\n'"$try" --frob
expect 2 "" "kestrin: unknown option -x"$'\n'"$try" -x
expect 2 "" "kestrin: one LOGFILE at most"$'\n'"$try" a b

no_display="kestrin: cannot open the window: no display (DISPLAY is not set); kestrin-cut tallies logs from a terminal"
expect 1 "" "$no_display" access.log
# After -- an argument like an option is the LOGFILE.
expect 1 "" "$no_display" -- -x

# A display no server answers: the first number from 98 up without a server's lock
# or socket.
number=98
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
    number=$((number + 1))
done
export DISPLAY=:$number
expect 1 "" "kestrin: cannot open the window: no display answers at DISPLAY=:$number; kestrin-cut tallies logs from a terminal" access.log

[ "$failures" -eq 0 ] || exit 1
echo "app arguments test: help, version, usage errors and no display as expected"
