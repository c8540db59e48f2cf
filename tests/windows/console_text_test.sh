#!/usr/bin/env bash
# kestrin-cut.exe on a console, as script(1) gives wine one: a CP932 report written
# to the console shows its Japanese URLs as text, while a pipe gets the report's
# bytes; a log typed at the console is told how to end (Ctrl+Z, Enter).
#   console_text_test.sh KESTRIN_CUT RUNNER...
set -euo pipefail
cut=$1
shift
run=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "console text test: $*" >&2; exit 1; }
export LANG=C.UTF-8
# The console's screen as text: wine draws a run of blanks as a cursor move.
screen() { sed -e 's/\x1b\[1C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$1"; }
on_console() { script -qec "$(printf '%q ' "${run[@]}" "$cut" "$@")" /dev/null; }

printf 'x http://\x82\xa0.jp/\x82\xa2 y\nx http://a.jp/ y\n' >jp.log
on_console jp.log </dev/null >console.txt
screen console.txt | grep -qE '^http://あ\.jp/い +1$' || fail "the console shows: $(screen console.txt)"
"${run[@]}" "$cut" jp.log >piped.dat 2>/dev/null
[ "$(od -An -tx1 piped.dat | tr -d ' \n')" = \
    "687474703a2f2f612e6a702f0920310d0a687474703a2f2f82a02e6a702f82a20920310d0a" ] ||
    fail "a pipe gets: $(od -c piped.dat)"

# Nothing is typed: the program waits, having said how to end; it is ended then,
# with the session script began (its console gone, the program goes too).
typing=$(printf '%q ' "${run[@]}" "$cut" -o typed.dat)
setsid bash -c 'sleep 300 | script -qec "$0" /dev/null >typed.txt' "$typing" &
session=$!
for _ in $(seq 600); do
    screen typed.txt 2>/dev/null | grep -q 'to end it' && break
    sleep 0.1
done
kill -- "-$session" 2>/dev/null || true
wait "$session" 2>/dev/null || true
screen typed.txt | grep -qx 'kestrin-cut: reading standard input: type the log, then Ctrl+Z, Enter to end it' ||
    fail "a typed log is not told how to end: $(screen typed.txt)"
echo "console text test: the console shows the report's text, a pipe its bytes; a typed log is told how to end"
