#!/usr/bin/env bash
# kestrin-cut on a terminal, as script(1) gives it one: a log typed there is
# preceded by one line saying how to end it; a log that standard input brings
# from a file, with standard error still the terminal, is read without it.
#   typed_input_test.sh KESTRIN_CUT
set -euo pipefail
cut=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
hint='kestrin-cut: reading standard input: type the log, then Ctrl+D to end it'
fail() { echo "typed input test: $*" >&2; exit 1; }

# The line typed, then Ctrl+D at the start of the next one.
said=$(printf 'x http://typed/ y\n\004' | script -qec "'$cut' -o typed.dat" /dev/null | tr -d '\r')
grep -qxF "$hint" <<<"$said" || fail "no word of how to end a typed log: $said"
[ "$(tr -d '\r' <typed.dat)" = "$(printf 'http://typed/\t 1')" ] || fail "typed log's report: $(cat typed.dat)"

echo 'x http://file/ y' >file.log
said=$(script -qec "'$cut' -o file.dat < file.log" /dev/null </dev/null | tr -d '\r')
! grep -qF 'reading standard input' <<<"$said" || fail "a log from a file is told as typed: $said"
[ "$(tr -d '\r' <file.dat)" = "$(printf 'http://file/\t 1')" ] || fail "file log's report: $(cat file.dat)"
echo "typed input test: a typed log is told how to end, a log from a file is not"
