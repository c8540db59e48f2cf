#!/usr/bin/env bash
# Makes the files the command line's and the engine's tests read that only this
# system's tools make, so that a build for another system (Windows, run under wine)
# reads the same ones: the Apache log of tests/data compressed in every form
# kestrin-cut reads, whole and in two members, frames or streams (an empty one and
# skippable ones among them), in archives of a plain and a compressed member and of
# a zip one; in one zstd and one lz4 frame with nothing before it, and in a tar of
# the old format without "ustar", for their headers; a sparse member that ends in a
# hole; and the ranked report of the CP932 log in UTF-8 and with LF line ends.
# In archives/: archives one after another, a tar cut at a member's end, archives
# read to their ends (3000 members, a tar padded by -b 2000), a skippable frame of
# 5000 bytes before lz4 data, zstd written with --long=28, an encrypted zip, a tar's
# hard link, symbolic link and folder (plain and in gzip), a zip of macOS's with its metadata, and a
# zip holding a symbolic link.
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

mkdir -p archives/m archives/many
cd archives/m
printf 'GET http://one/ x\n' >one.log
printf 'GET http://two/ x\nGET http://two/ y\n' >two.log
tar cf ../one.tar one.log
tar cf ../two.tar two.log
cat ../one.tar ../two.tar >../ab.tar
(gzip -c ../one.tar; gzip -c ../two.tar) >../ab.tgz
zip -q ../one.zip one.log
zip -q ../two.zip two.log
cat ../one.zip ../two.zip >../ab.zip
(cat ../one.tar; printf 'GET http://after/ x\n') >../then-text.tar
(cat ../one.zip; printf 'GET http://after/ x\n') >../then-text.zip
tar cf - one.log two.log | head -c 1024 >../cut.tar
tar -b 2000 -cf ../padded.tar one.log
(printf 'P*M\030\210\023\0\0'; head -c 5000 /dev/zero; lz4 -q -c two.log) >../skippable.lz4
zstd -q --long=28 <two.log >../long.zst
zip -q -P secret ../secret.zip one.log
ln one.log hard.log
ln -s one.log link.log
mkdir folder
tar cf ../links.tar two.log one.log hard.log link.log folder
gzip -c ../links.tar >../links.tgz
zip -q -y ../link.zip two.log link.log
mkdir __MACOSX
cp one.log .h.log
cp two.log __MACOSX/._two.log
cp two.log ._one.log
zip -q -r ../mac.zip one.log .h.log ._one.log __MACOSX
# The same kind of folder as a tar of ".": its members' names begin "./".
mkdir -p ../macdot/__MACOSX
cp one.log ../macdot/
cp two.log ../macdot/__MACOSX/
tar cf ../mac.tar -C ../macdot .
cd ../many
for i in $(seq 3000); do printf 'GET http://h/%d x\n' $((i % 7)) >"l$i.log"; done
zip -q ../many.zip l*.log
cd ..
rm -r m many macdot
