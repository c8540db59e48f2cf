#!/usr/bin/env bash
# kestrin-cut on a terminal, as script(1) gives it one, with a log big enough for
# a progress bar: the bar is drawn while the report goes to a file, and never when
# the report goes to that same terminal, however it is named there (standard
# output, -o -, -o /dev/tty, -o /dev/stdout); the report's lines come out whole.
#   terminal_report_test.sh KESTRIN_CUT
set -euo pipefail
cut=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "terminal report test: $*" >&2; exit 1; }

# 17 MiB of lines, nine URLs: the bar is drawn for logs of more than 16 MiB.
awk 'BEGIN { for (i = 0; i < 1300000; i++) print "x http://h/" i % 9 " y" }' >big.log
[ "$(stat -c %s big.log)" -gt $((16 << 20)) ] || fail "the log is too small for a bar"
on_terminal() { script -qec "$1" /dev/null </dev/null; }
bar='\] +[0-9]+% '

said=$(on_terminal "'$cut' -o report.dat big.log")
grep -qE "$bar" <<<"$said" || fail "no bar while the report goes to a file: $said"

for output in "" "-o -" "-o /dev/tty" "-o /dev/stdout"; do
    said=$(on_terminal "'$cut' $output --eol lf big.log")
    ! grep -qE "$bar" <<<"$said" || fail "a bar drawn with the report on the terminal ($output)"
    lines=$(tr -d '\r' <<<"$said" | grep -cE $'^http://h/[0-8]\t [0-9]+$' || true)
    [ "$lines" = 9 ] || fail "the report's lines on the terminal ($output): $said"
done
echo "terminal report test: no bar over a report written on the terminal, by any name"
