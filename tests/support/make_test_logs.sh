#!/usr/bin/env bash
# Makes the files the command line's and the engine's tests read that only this
# system's tools make, so that a build for another system (Windows, run under wine)
# reads the same ones: the Apache log of tests/data compressed in every form
# kestrin-cut reads, whole and in two members, frames or streams (an empty one and
# skippable ones among them), in archives of a plain and a compressed member and of
# a zip one; in one zstd and one lz4 frame with nothing before it, and in a tar of
# the old format without "ustar", for their headers; a sparse member that ends in a
# hole; and the ranked report of the CP932 log in UTF-8 and with LF line ends.
# usage: make_test_logs.sh DIR
set -euo pipefail
data=$(cd "$(dirname "$0")/../data" && pwd)
dir=$1
rm -rf "$dir"
mkdir -p "$dir/m"
cd "$dir"
log=$data/apache_access.log
first() { head -n 20 "$log"; }
rest() { tail -n +21 "$log"; }
(first | gzip; gzip </dev/null; rest | gzip) >access.log.gz
(printf 'P*M\030\001\0\0\0x'; first | zstd -q; rest | zstd -q) >a.zst
(first | xz; rest | xz) >a.xz
(first | bzip2; rest | bzip2) >a.bz2
(printf 'P*M\030\001\0\0\0x'; first | lz4 -q; rest | lz4 -q) >a.lz4
first | zstd -q >one.zst
first | lz4 -q >one.lz4
first >m/first.log
rest | xz >m/rest.log.xz
(cd m && zip -q ../a.zip first.log rest.log.xz && tar czf ../a.tgz first.log rest.log.xz)
tar cf b.tar -C m first.log -C .. a.zip
tar cf whole.tar -C "$data" apache_access.log
tar --format=v7 -cf v7.tar -C "$data" apache_access.log
# A URL, then a hole to the end of a MiB: the NULs end lines of their own.
printf 'http://a/\n' >m/sparse.log
truncate -s 1M m/sparse.log
tar --sparse -cf sparse.tar -C m sparse.log
rm -r m
report=$data/aozora_cp932.ranked-report
iconv -f CP932 -t UTF-8 "$report" >aozora.utf8-report
tr -d '\r' <"$report" >aozora.lf-report
