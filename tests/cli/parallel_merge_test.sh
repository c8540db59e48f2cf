#!/usr/bin/env bash
# The README's pipeline for logs on several hosts, with this computer (":") as
# every host: the hosts' reports, one after the other, merged into one report,
# which must be byte for byte the report of one run over all the logs.
#   parallel_merge_test.sh KESTRIN_CUT
set -euo pipefail
cut=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for host in 1 2 3; do
    for i in $(seq 400); do
        echo "1.2.3.$host - - \"GET /$i\" 200 \"http://site/$((i * host % 37))\" \"Bot http://bot/\""
    done >"web$host.log"
done
gzip web3.log
parallel --will-cite -k --sshlogin : "$cut" --quiet --keyword '\"' ::: web1.log web2.log web3.log.gz |
    "$cut" --quiet --merge --ranked -o merged.dat
"$cut" --quiet --keyword '"' --ranked -o one.dat web1.log web2.log web3.log.gz
cmp merged.dat one.dat
test "$(wc -l <one.dat)" -gt 60
