#!/usr/bin/env bash
# Speed and memory of kestrin-cut on generated access logs.
#
# 1. On a 1 GB log (generated once, kept in bench/out/): the best of three runs,
#    with the log in the page cache, of `wc -l` (the floor), kestrin-cut with and
#    without --ranked, and a mawk-and-sort pipeline doing the same tally. Prints
#    the times, the ratios and kestrin-cut's peak memory against the targets, and
#    checks that kestrin-cut and mawk found the same URLs with the same counts.
# 2. On a log of the same size with 2 million distinct URLs: kestrin-cut --ranked,
#    its time per line against the 1 GB log's.
#
# Exit status 1 when the tallies disagree or a target is missed.
# Knobs (environment): KESTRIN_BENCH_SIZE (1G), KESTRIN_BENCH_DISTINCT (200000),
# KESTRIN_BENCH_MANY (2000000), KESTRIN_BENCH_ROUNDS (3), KESTRIN_BENCH_BUILD (build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

size=${KESTRIN_BENCH_SIZE:-1G}
distinct=${KESTRIN_BENCH_DISTINCT:-200000}
many=${KESTRIN_BENCH_MANY:-2000000}
rounds=${KESTRIN_BENCH_ROUNDS:-3}
build=${KESTRIN_BENCH_BUILD:-build-bench}
out=bench/out
mkdir -p "$out"

bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_UI=OFF \
    -DKESTRIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target kestrin-cut kestrin-loggen >/dev/null
cut_bin=$build/cli/kestrin-cut
loggen=$build/bench/kestrin-loggen

# A cached log is reused only while the generator's sources are unchanged.
generator_id=$(cat bench/AccessLogGenerator.* bench/Random.h bench/ZipfSampler.h | cksum |
    cut -d' ' -f1)

# Prints the path of the log for SIZE and DISTINCT, generating it when missing.
log_for() {
    local name="access-$1-d$2-s1"
    local path="$out/$name-$generator_id.log"
    if [ ! -f "$path" ]; then
        rm -f "$out/$name"-*.log
        echo "generating $path" >&2
        "$loggen" --size "$1" --distinct "$2" --seed 1 "$path.part"
        mv "$path.part" "$path"
    fi
    echo "$path"
}

# Wall time of one run of "$@" in seconds; a failing run stops the script.
seconds_of() {
    local start end
    start=$(date +%s%N)
    if ! "$@"; then
        echo "run.sh: $* failed" >&2
        exit 1
    fi
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

min() { printf '%s\n' "$@" | sort -g | head -1; }
max() { printf '%s\n' "$@" | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# check VAR A B CONDITION: sets VAR to OK when awk finds CONDITION on a and b
# true, otherwise to MISSED and notes the miss for the exit status.
missed=0
check() {
    if awk -v a="$2" -v b="$3" "BEGIN { exit !($4) }"; then printf -v "$1" OK; else
        printf -v "$1" MISSED
        missed=1
    fi
}

run_wc() { wc -l <"$log" >/dev/null; }
# Peak memory goes to $out/rss.$1 (KiB), the report to $out/kestrin$1.txt.
run_kestrin() {
    /usr/bin/time -f %M -o "$out/rss.$1" "$cut_bin" --keyword '"' ${2:+"$2"} "$log" \
        "$out/kestrin$1.txt" 2>/dev/null
}
run_mawk() {
    LC_ALL=C mawk '
        {
            at = index(tolower($0), "http://")
            if (at) {
                url = substr($0, at)
                end = index(url, "\"")
                if (end) url = substr(url, 1, end - 1)
                count[url]++
            }
        }
        END { for (url in count) print url "\t " count[url] }
    ' "$log" | LC_ALL=C sort >"$out/mawk.txt"
}

log=$(log_for "$size" "$distinct")
cat "$log" >/dev/null  # into the page cache
lines=$(wc -l <"$log")
log_bytes=$(stat -c %s "$log")

declare -a t_wc t_cut t_ranked t_mawk rss_cut rss_ranked
for ((round = 1; round <= rounds; round++)); do
    t_wc+=("$(seconds_of run_wc)")
    t_cut+=("$(seconds_of run_kestrin plain)")
    rss_cut+=("$(cat "$out/rss.plain")")
    t_ranked+=("$(seconds_of run_kestrin ranked --ranked)")
    rss_ranked+=("$(cat "$out/rss.ranked")")
    t_mawk+=("$(seconds_of run_mawk)")
done
wc_s=$(min "${t_wc[@]}")
cut_s=$(min "${t_cut[@]}")
ranked_s=$(min "${t_ranked[@]}")
mawk_s=$(min "${t_mawk[@]}")
rss_kib=$(max "${rss_cut[@]}" "${rss_ranked[@]}")

# The same tally: the same URL and count pairs, whatever the order.
if tr -d '\r' <"$out/kestrinplain.txt" | LC_ALL=C sort | cmp -s - "$out/mawk.txt"; then
    agree="yes"
else
    agree="NO"
    missed=1
fi
distinct_found=$(wc -l <"$out/mawk.txt")
url_bytes=$(LC_ALL=C mawk -F '\t' '{ bytes += length($1) } END { print bytes + 0 }' \
    "$out/mawk.txt")
memory_limit_kib=$(((64 * 1048576 + url_bytes) / 1024))

echo
echo "Log: $log"
echo "     $log_bytes bytes, $lines lines, $distinct_found distinct URLs of $url_bytes bytes"
echo "Best of $rounds, log in the page cache:"
printf '  %-34s %8s s\n' "wc -l" "$wc_s" \
    "kestrin-cut --keyword '\"'" "$cut_s" \
    "kestrin-cut --keyword '\"' --ranked" "$ranked_s" \
    "mawk tally | sort" "$mawk_s"
check v_wc "$cut_s" "$wc_s" 'a <= 2.5 * b'
check v_ranked "$ranked_s" "$wc_s" 'a <= 2.5 * b'
check v_mawk "$mawk_s" "$cut_s" 'a >= 10 * b'
check v_rss "$rss_kib" "$memory_limit_kib" 'a < b'
echo "Targets:"
printf '  %-44s %8s  %s\n' \
    "kestrin / wc -l (at most 2.5)" "$(ratio "$cut_s" "$wc_s")" "$v_wc" \
    "kestrin --ranked / wc -l (at most 2.5)" "$(ratio "$ranked_s" "$wc_s")" "$v_ranked" \
    "mawk / kestrin (at least 10)" "$(ratio "$mawk_s" "$cut_s")" "$v_mawk" \
    "peak memory KiB (under $memory_limit_kib)" "$rss_kib" "$v_rss"
echo "  kestrin and mawk tallies agree: $agree"
if [ "$agree" = yes ]; then
    rm -f "$out"/kestrin*.txt "$out/mawk.txt"
else
    echo "  (compare $out/kestrinplain.txt with $out/mawk.txt)"
fi
rm -f "$out"/rss.*

# Second benchmark: many distinct URLs, ranked, per line against the first log.
first_per_line=$(awk -v s="$ranked_s" -v n="$lines" 'BEGIN { print s / n }')
log=$(log_for "$size" "$many")
cat "$log" >/dev/null
many_lines=$(wc -l <"$log")
declare -a t_many rss_many
for ((round = 1; round <= rounds; round++)); do
    t_many+=("$(seconds_of run_kestrin many --ranked)")
    rss_many+=("$(cat "$out/rss.many")")
done
many_s=$(min "${t_many[@]}")
# The entries before the ranked listing's banner line.
banner_line=$(LC_ALL=C grep -n -a -m 1 -F '*********** SORTTING DATA' "$out/kestrinmany.txt" |
    cut -d: -f1)
many_distinct=$((banner_line - 1))
many_url_bytes=$(LC_ALL=C mawk -F '\t' -v last="$many_distinct" \
    'NR <= last { bytes += length($1) } END { print bytes + 0 }' "$out/kestrinmany.txt")
many_per_line=$(awk -v s="$many_s" -v n="$many_lines" 'BEGIN { print s / n }')
many_rss_kib=$(max "${rss_many[@]}")
many_limit_kib=$(((64 * 1048576 + many_url_bytes) / 1024))
rm -f "$out"/kestrin*.txt "$out"/rss.*

echo
echo "Log: $log"
echo "     $(stat -c %s "$log") bytes, $many_lines lines, $many_distinct distinct URLs" \
    "of $many_url_bytes bytes"
printf '  %-34s %8s s\n' "kestrin-cut --keyword '\"' --ranked" "$many_s"
printf '  %-44s %8s ns\n' "time per line, this log" \
    "$(awk -v p="$many_per_line" 'BEGIN { printf "%.1f", p * 1e9 }')" \
    "time per line, first log (--ranked)" \
    "$(awk -v p="$first_per_line" 'BEGIN { printf "%.1f", p * 1e9 }')"
check v_many "$many_per_line" "$first_per_line" 'a <= 2 * b'
check v_many_rss "$many_rss_kib" "$many_limit_kib" 'a < b'
printf '  %-44s %8s  %s\n' "ratio (at most 2)" "$(ratio "$many_per_line" "$first_per_line")" \
    "$v_many" "peak memory KiB (under $many_limit_kib)" "$many_rss_kib" "$v_many_rss"

exit "$missed"
