#!/usr/bin/env bash
# Makes, once, a log whose every compressed form is over 32 MiB (random text
# compresses poorly, and among it every 16th line has a URL), in each form
# kestrin-cut reads: plain, gzip, zstd, xz, bzip2, lz4, zip and tar.gz.
# usage: make_big_logs.sh DIR
set -euo pipefail
dir=$1
stamp=$dir/.made-v1
[ -e "$stamp" ] && exit 0
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
head -c 36000000 /dev/urandom | base64 -w 100 |
    awk '{ if (NR % 16 == 0) printf "GET http://h%d.example/p%d HTTP/1.1\n", NR % 97, NR % 1009; print }' \
        >big.log
gzip -1 -c big.log >big.log.gz &
zstd -q -1 -c big.log >big.log.zst &
xz -0 -T2 -c big.log >big.log.xz &
bzip2 -1 -c big.log >big.log.bz2 &
lz4 -q -1 -c big.log >big.log.lz4 &
zip -q -1 big.zip big.log &
tar cf - big.log | gzip -1 >big.tar.gz &
wait
for form in gz zst xz bz2 lz4; do
    size=$(stat -c %s "big.log.$form")
    [ "$size" -ge $((32 << 20)) ] || { echo "big.log.$form is only $size bytes" >&2; exit 1; }
done
touch "$stamp"
