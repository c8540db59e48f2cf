#!/usr/bin/env bash
# Speed and memory of kestrin-cut against its targets, all measured in one run.
#
#   bash bench/run.sh [--big | --paired]
#
# First come the paired rows (--paired: only those), each a median of
# KESTRIN_BENCH_PAIRS (7) runs alternated round by round with those it is set
# against, and with the baseline's runs when KESTRIN_BENCH_BASELINE names one, each
# run timed from its start to its end (kestrin-spawnclock), not from the shell;
# before them, each processor's time for the same work on one thread:
#
#   case                                                          target
#   1 GB log, 200 k distinct (235 k URLs): kestrin-cut / wc -l    at most 1.2
#   its first 100 MB: kestrin-cut / wc -l                         at most 1.5
#   a log of one line: kestrin-cut's time                         at most 5 ms
#   (beside the start alone: kestrin-startfloor, a program linked with the same
#   libraries as kestrin-cut, that opens the code page and ends)
#   1 GB, 2 M distinct: time per line / the 200 k log's           at most 2
#
# Every time is the best of KESTRIN_BENCH_ROUNDS runs with the input in the page
# cache; only ratios of times taken in one run mean anything on a shared machine.
#
#   case                                                          target
#   1 GB log, 200 k distinct: kestrin-cut / wc -l                 at most 2.0
#   same log: mawk tally and sort / kestrin-cut                   at least 10
#   same log: --group site / --group url                          at most 1.2
#   its first 100 MB: GoAccess referrers panel / kestrin-cut      at least 100
#   1 GB, 2 M distinct, ranked: time per line / the 200 k log's   at most 2
#   same: peak memory                                             64 MiB + 2 x the URLs' bytes
#   1 GB of NUL bytes: kestrin-cut / wc -l                        at most 3
#   20 M distinct URLs (--big only): peak memory                  64 MiB + 2 x the URLs' bytes
#   one 300 MB line: peak memory                                  64 MiB + 2 x the line
#   8 gzip logs of 100 MB: default jobs / --jobs 1                at most 0.7
#   the same, median of paired runs                               at most 0.6
#   one 300 MB gzip log: kestrin-cut / igzip -dc | wc -l          below 1
#   (and against pigz -dc | wc -l and the baseline, when named)
#   the Windows build under wine / kestrin-cut, on the 200 k log
#   (default jobs and --jobs 1) and on the 8 gzip logs            at most 1.3
#
# Also, when kestrin-cut takes --jobs: the 200 k log with --jobs 1; and when
# KESTRIN_BENCH_BASELINE names another kestrin-cut (say, one built from an older
# commit), that one on the same log (with --jobs 1 when it takes it), against which
# --jobs 1 must not be slower
# (at most 1.05 of its time, for the noise of a shared machine).
#
# Exit status 1 when kestrin-cut and mawk disagree or a target is missed.
# The Windows rows need this machine to build for Windows (bash scripts/windows-setup.sh);
# the Windows build, a release build of kestrin-cut.exe, is made in
# build-windows-bench and run under wine, whose start of a program counts in its time.
# Its rows take medians of KESTRIN_BENCH_WINDOWS_ROUNDS runs of each build, the two
# run in turns, so that a machine that slows down meanwhile slows both alike.
#
# Knobs (environment): KESTRIN_BENCH_SIZE (1G), KESTRIN_BENCH_DISTINCT (200000),
# KESTRIN_BENCH_MANY (2000000), KESTRIN_BENCH_HUGE (20000000), KESTRIN_BENCH_HUGE_SIZE
# (5G), KESTRIN_BENCH_ROUNDS (3), KESTRIN_BENCH_WINDOWS_ROUNDS (5), KESTRIN_BENCH_PAIRS (7),
# KESTRIN_BENCH_BUILD (build-bench), KESTRIN_BENCH_BASELINE (unset).
set -euo pipefail
cd "$(dirname "$0")/.."

big=0
paired_only=0
for argument in "$@"; do
    case $argument in
        --big) big=1 ;;
        --paired) paired_only=1 ;;
        *)
            echo "usage: bash bench/run.sh [--big | --paired]" >&2
            exit 2
            ;;
    esac
done

size=${KESTRIN_BENCH_SIZE:-1G}
distinct=${KESTRIN_BENCH_DISTINCT:-200000}
many=${KESTRIN_BENCH_MANY:-2000000}
huge=${KESTRIN_BENCH_HUGE:-20000000}
huge_size=${KESTRIN_BENCH_HUGE_SIZE:-5G}
rounds=${KESTRIN_BENCH_ROUNDS:-3}
windows_rounds=${KESTRIN_BENCH_WINDOWS_ROUNDS:-5}
build=${KESTRIN_BENCH_BUILD:-build-bench}
baseline=${KESTRIN_BENCH_BASELINE:-}
out=bench/out
mkdir -p "$out"

bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_UI=OFF \
    -DKESTRIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target kestrin-cut kestrin-loggen kestrin-startfloor \
    kestrin-spawnclock >/dev/null
cut_bin=$build/cli/kestrin-cut
loggen=$build/bench/kestrin-loggen
start_floor=$build/bench/kestrin-startfloor
spawn_clock=$build/bench/kestrin-spawnclock
windows_cut=
if [ -f .windows-sysroot/.built-by ]; then
    windows_build=build-windows-bench
    cmake --no-warn-unused-cli -S . -B "$windows_build" -G Ninja --toolchain cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_UI=OFF -DKESTRIN_BUILD_TESTS=OFF \
        -DKESTRIN_BUILD_BENCH=OFF >/dev/null
    cmake --build "$windows_build" -j 2 --target kestrin-cut >/dev/null
    windows_cut=$windows_build/cli/kestrin-cut.exe
else
    echo "no Windows build: run bash scripts/windows-setup.sh for its rows"
fi

# The command line: `kestrin-cut [OPTIONS] [LOGFILE...]` with the report on standard
# output where --help mentions --output, else the older `LOGFILE -`.
help=$("$cut_bin" --help 2>&1 || true)
report_to_stdout=()
grep -q -e '--output' <<<"$help" || report_to_stdout=(-)
has_jobs=0
grep -q -e '--jobs' <<<"$help" && has_jobs=1
has_group=0
grep -q -e '--group' <<<"$help" && has_group=1

echo "load before the run: $(uptime)"

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

# Makes FILE by running the rest of the arguments into it, once.
make_once() {
    local path=$1
    shift
    if [ ! -f "$path" ]; then
        echo "generating $path" >&2
        "$@" >"$path.part"
        mv "$path.part" "$path"
    fi
}

# Wall time of one run of "$@" in seconds; a failing run stops the script. The
# clock is bash's own: a date(1) started to read it would count a program's start,
# a millisecond or two, in every time (most of a one-line log's).
seconds_of() {
    local start end
    start=${EPOCHREALTIME/[^0-9]/}  # microseconds, whatever the locale's decimal point
    if ! "$@"; then
        echo "run.sh: $* failed" >&2
        exit 1
    fi
    end=${EPOCHREALTIME/[^0-9]/}
    awk -v us=$((end - start)) 'BEGIN { printf "%.4f", us / 1e6 }'
}

# best VAR COMMAND...: the shortest of $rounds runs into VAR.
best() {
    local var=$1 t least=
    shift
    for ((round = 1; round <= rounds; round++)); do
        t=$(seconds_of "$@")
        if [ -z "$least" ] || awk -v a="$t" -v b="$least" 'BEGIN { exit !(a < b) }'; then
            least=$t
        fi
    done
    printf -v "$var" %s "$least"
}

# alternated VAR_A VAR_B RUN_A RUN_B [ARGUMENT...]: RUN_A and RUN_B, each given the
# arguments, run in turns $windows_rounds times; the median time of each into VAR_A
# and VAR_B.
alternated() {
    local var_a=$1 var_b=$2 run_a=$3 run_b=$4 round a=() b=()
    shift 4
    for ((round = 1; round <= windows_rounds; round++)); do
        a+=("$(seconds_of "$run_a" "$@")")
        b+=("$(seconds_of "$run_b" "$@")")
    done
    printf -v "$var_a" %s "$(median "${a[@]}")"
    printf -v "$var_b" %s "$(median "${b[@]}")"
}
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
missed=0
# row TEXT VALUE CONDITION: prints the row with OK or MISSED (awk CONDITION on v).
row() {
    local verdict=OK
    if ! awk -v v="$2" "BEGIN { exit !($3) }"; then
        verdict=MISSED
        missed=1
    fi
    printf '  %-58s %12s  %s\n' "$1" "$2" "$verdict"
}

run_wc() { wc -l <"$1" >/dev/null; }
# run_cut LOG REPORT [OPTIONS...]: kestrin-cut with the keyword '"'; its peak
# memory (KiB) goes to $out/rss.
run_cut() {
    local log=$1 report=$2
    shift 2
    /usr/bin/time -f %M -o "$out/rss" "$cut_bin" --keyword '"' "$@" "$log" \
        "${report_to_stdout[@]}" >"$report" 2>/dev/null
}
# run_linux LOG... / run_windows LOG...: the two builds alike, the reports to
# $out/linux.txt and $out/windows.txt.
run_linux() { "$cut_bin" --keyword '"' "$@" >"$out/linux.txt" 2>/dev/null; }
run_windows() {
    bash scripts/wine-run.sh "$windows_cut" --keyword '"' "$@" >"$out/windows.txt" 2>/dev/null
}
run_windows_start() { bash scripts/wine-run.sh "$windows_cut" --version >/dev/null; }
# A baseline that takes --jobs runs on one thread too, so that the single-threaded
# row sets one thread against one.
run_baseline() {
    "$baseline" --keyword '"' "${base_jobs1[@]}" "$1" - >"$2" 2>/dev/null
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
    ' "$1" | LC_ALL=C sort >"$out/mawk.txt"
}
run_goaccess() {
    goaccess "$1" --no-global-config --log-format=COMBINED --enable-panel=REFERRERS \
        --no-progress --output="$out/goaccess.csv" >/dev/null 2>&1
}
# Bytes of the URLs of a report's first listing (the lines before the banner).
url_bytes_of() {
    LC_ALL=C mawk -F '\t' '/^\*\*\*\*\*\*\*\*\*\*\* SORTTING DATA/ { exit }
        { bytes += length($1) } END { print bytes + 0 }' "$1"
}
limit_kib() { echo $(((64 * 1048576 + 2 * $1) / 1024)); }

# 0. Paired rows: each case's runs alternate with those it is set against, round by
# round, so that a slow spell of the shared machine weighs on both sides alike; each
# time is the median of $pairs runs.
pairs=${KESTRIN_BENCH_PAIRS:-7}
base_to_stdout=()
base_jobs1=()
if [ -n "$baseline" ]; then
    base_help=$("$baseline" --help 2>&1 || true)
    grep -q -e '--output' <<<"$base_help" || base_to_stdout=(-)
    grep -q -e '--jobs' <<<"$base_help" && base_jobs1=(--jobs 1)
fi
# paired CASE...: runs the function case_CASE of each once a round, in turn, for
# $pairs rounds, and sets median_CASE to the median of the times they print.
paired() {
    local name round
    for name in "$@"; do : >"$out/times-$name"; done
    for ((round = 1; round <= pairs; round++)); do
        for name in "$@"; do
            "case_$name" >>"$out/times-$name"
        done
    done
    for name in "$@"; do
        printf -v "median_$name" %s "$(sort -n "$out/times-$name" |
            awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')"
        rm -f "$out/times-$name"
    done
}
milliseconds() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
# Cases: the new build (cut), the baseline (base) and wc -l on the 200 k log (big),
# its first 100 MB (head), a log of one line (one) and the 2 M log (many).
pace_big=$(log_for "$size" "$distinct")
pace_head=${pace_big%.log}-100M.log
make_once "$pace_head" sh -c 'head -c 100M "$1" | LC_ALL=C sed "\$d"' sh "$pace_big"
pace_one=$out/one-line.log
make_once "$pace_one" printf 'GET http://example.com/one.html" 200\n'
pace_many=$(log_for "$size" "$many")
# Each run is timed from its start to its end by kestrin-spawnclock, which prints
# the seconds, and not from this shell: bash forks all of itself to start a program,
# which took 1.4 to 2.5 ms more of every run here, wc -l's too, as much as a run of
# a one-line log takes. Nor is /usr/bin/time run around kestrin-cut.
# clocked OUTPUT PROGRAM [ARGUMENT...]: a failing run stops the script.
clocked() {
    if ! "$spawn_clock" "$@"; then
        echo "run.sh: ${*:2} failed" >&2
        exit 1
    fi
}
clocked_wc() { clocked /dev/null wc -l <"$1"; }
clocked_cut() { clocked "$2" "$cut_bin" --keyword '"' "$1" "${report_to_stdout[@]}"; }
clocked_base() { clocked "$2" "$baseline" --keyword '"' "$1" "${base_to_stdout[@]}"; }
for case in big head one many; do
    eval "case_wc_$case() { clocked_wc \"\$pace_$case\"; }"
    eval "case_cut_$case() { clocked_cut \"\$pace_$case\" \"\$out/pace-cut-$case.txt\"; }"
    eval "case_base_$case() { clocked_base \"\$pace_$case\" \"\$out/pace-base-$case.txt\"; }"
done
pace_rows=()
# pace CASE TEXT TARGET [NAME...]: measures the case against wc -l (and the baseline,
# and the cases NAME) and keeps its row of kestrin-cut / wc -l, with the baseline's
# ratio beside it.
pace() {
    local case=$1 text=$2 target=$3 names=(wc_$1 cut_$1 "${@:4}")
    [ -n "$baseline" ] && names+=(base_$1)
    cat "$(eval echo "\$pace_$case")" >/dev/null
    paired "${names[@]}"
    local wc_s cut_s base_ratio=
    wc_s=$(eval echo "\$median_wc_$case")
    cut_s=$(eval echo "\$median_cut_$case")
    if [ -n "$baseline" ]; then
        base_ratio=" (baseline $(ratio "$(eval echo "\$median_base_$case")" "$wc_s"))"
        cmp -s "$out/pace-cut-$case.txt" "$out/pace-base-$case.txt" || {
            echo "  the baseline wrote another report of $case"
            missed=1
        }
    fi
    printf '  %-40s %8s s, wc -l %s s%s\n' "$text: kestrin-cut" "$cut_s" "$wc_s" "$base_ratio"
    pace_rows+=("$text / wc -l$base_ratio|$(ratio "$cut_s" "$wc_s")|$target")
}
# A virtual machine's processors may differ for a while, one by a third or more,
# and then two threads gain less against one: each processor this script may use
# is timed on the same work, kestrin-cut on one thread on the first 100 MB, pinned
# to it.
allowed_processors() {
    local range
    # shellcheck disable=SC2013 # the ranges of the list's one line, as words
    for range in $(awk '/^Cpus_allowed_list:/ { gsub(",", " ", $2); print $2 }' /proc/self/status); do
        seq "${range%-*}" "${range#*-}"
    done
}
cat "$pace_head" >/dev/null
processors=()
for cpu in $(allowed_processors); do
    times=()
    for ((round = 1; round <= 3; round++)); do
        times+=("$(clocked /dev/null taskset -c "$cpu" "$cut_bin" --keyword '"' --jobs 1 \
            "$pace_head" "${report_to_stdout[@]}")")
    done
    processors+=("processor $cpu $(milliseconds "$(median "${times[@]}")") ms")
done
printf -v processors_text '%s, ' "${processors[@]}"
echo
echo "One thread on the first 100 MB, medians of 3: ${processors_text%, }"
echo "Paired runs, medians of $pairs:"
pace big "200 k log" 'v <= 1.2'
pace head "first 100 MB" 'v <= 1.5'
# The start alone (the program with its libraries, the code page opened) is the
# least a log of one line can take: it is measured in turns with the same log's runs.
case_floor_one() { clocked /dev/null "$start_floor"; }
pace one "one line" '' floor_one
one_ms=$(milliseconds "$median_cut_one")
one_text="one line, ms (wc -l $(milliseconds "$median_wc_one"), start $(milliseconds "$median_floor_one")"
[ -n "$baseline" ] && one_text+=", baseline $(milliseconds "$median_base_one")"
pace_rows+=("$one_text)|$one_ms|v <= 5")
# The 2 M log's time per line against the 200 k log's, both unranked, paired.
paired_many=(cut_big cut_many)
[ -n "$baseline" ] && paired_many+=(base_big base_many)
cat "$pace_many" >/dev/null
paired "${paired_many[@]}"
per_line() { awk -v s="$1" -v n="$2" -v m="$3" -v t="$4" 'BEGIN { printf "%.2f", (s / n) / (m / t) }'; }
big_lines=$(wc -l <"$pace_big")
many_lines=$(wc -l <"$pace_many")
many_text="2 M log per line / 200 k log's"
if [ -n "$baseline" ]; then
    many_text+=" (baseline $(per_line "$median_base_many" "$many_lines" "$median_base_big" "$big_lines"))"
fi
printf '  %-40s %8s s, the 200 k log %s s\n' "2 M log: kestrin-cut" "$median_cut_many" "$median_cut_big"
pace_rows+=("$many_text|$(per_line "$median_cut_many" "$many_lines" "$median_cut_big" "$big_lines")|v <= 2")
print_pace_rows() {
    local line text value condition
    for line in "${pace_rows[@]}"; do
        IFS='|' read -r text value condition <<<"$line"
        if [ -z "$condition" ]; then
            printf '  %-58s %12s\n' "$text" "$value"
            continue
        fi
        row "$text (${condition#v })" "$value" "$condition"
    done
}
rm -f "$out"/pace-*.txt
if [ "$paired_only" = 1 ]; then
    echo
    echo "Targets:"
    print_pace_rows
    echo "load after the run: $(uptime)"
    exit "$missed"
fi

# 1. The 1 GB log with 200 k distinct URLs.
log=$(log_for "$size" "$distinct")
cat "$log" >/dev/null
lines=$(wc -l <"$log")
best wc_s run_wc "$log"
best cut_s run_cut "$log" "$out/kestrin.txt"
best ranked_s run_cut "$log" "$out/ranked.txt" --ranked
best mawk_s run_mawk "$log"
if tr -d '\r' <"$out/kestrin.txt" | LC_ALL=C sort | cmp -s - "$out/mawk.txt"; then
    agree=yes
else
    agree=NO
    missed=1
fi
echo
echo "Log: $log ($(stat -c %s "$log") bytes, $lines lines," \
    "$(wc -l <"$out/mawk.txt") distinct URLs of $(url_bytes_of "$out/kestrin.txt") bytes)"
printf '  %-40s %8s s\n' "wc -l" "$wc_s" "kestrin-cut" "$cut_s" "kestrin-cut --ranked" \
    "$ranked_s" "mawk tally | sort" "$mawk_s"
if [ "$has_jobs" = 1 ]; then
    best jobs1_s run_cut "$log" "$out/jobs1.txt" --jobs 1
    printf '  %-40s %8s s\n' "kestrin-cut --jobs 1" "$jobs1_s"
    cmp -s "$out/kestrin.txt" "$out/jobs1.txt" || {
        echo "  kestrin-cut --jobs 1 wrote another report"
        missed=1
    }
fi
# The Windows build against the Linux build, in turns.
if [ -n "$windows_cut" ]; then
    best windows_start_s run_windows_start
    alternated linux_s windows_s run_linux run_windows "$log"
    printf '  %-40s %8s s\n' "kestrin-cut (median, in turns)" "$linux_s" \
        "kestrin-cut.exe under wine (median)" "$windows_s" \
        "  of it, wine's start of a program" "$windows_start_s"
    cmp -s "$out/kestrin.txt" "$out/windows.txt" || {
        echo "  kestrin-cut.exe wrote another report"
        missed=1
    }
    if [ "$has_jobs" = 1 ]; then
        alternated linux_jobs1_s windows_jobs1_s run_linux run_windows --jobs 1 "$log"
        printf '  %-40s %8s s\n' "kestrin-cut --jobs 1 (median, in turns)" "$linux_jobs1_s" \
            "kestrin-cut.exe --jobs 1 (median)" "$windows_jobs1_s"
        cmp -s "$out/kestrin.txt" "$out/windows.txt" || {
            echo "  kestrin-cut.exe --jobs 1 wrote another report"
            missed=1
        }
    fi
fi
if [ -n "$baseline" ]; then
    best base_s run_baseline "$log" "$out/baseline.txt"
    printf '  %-40s %8s s\n' "$baseline ${base_jobs1[*]}" "$base_s"
    cmp -s "$out/kestrin.txt" "$out/baseline.txt" || {
        echo "  the baseline wrote another report"
        missed=1
    }
fi

# Its referring sites: the sites are looked up once a distinct host, after the
# tally, so that they cost next to nothing beside the URLs.
if [ "$has_group" = 1 ]; then
    best group_url_s run_cut "$log" "$out/group-url.txt" --group url
    best group_site_s run_cut "$log" "$out/group-site.txt" --group site
    printf '  %-40s %8s s\n' "kestrin-cut --group url" "$group_url_s" \
        "kestrin-cut --group site ($(wc -l <"$out/group-site.txt") sites)" "$group_site_s"
fi

# Its first 100 MB, cut at a line end, for the slow peer.
prefix=${log%.log}-100M.log
make_once "$prefix" sh -c 'head -c 100M "$1" | LC_ALL=C sed "\$d"' sh "$log"
best prefix_cut_s run_cut "$prefix" "$out/prefix.txt"
rounds_saved=$rounds
rounds=1
best goaccess_s run_goaccess "$prefix"
rounds=$rounds_saved
printf '  %-40s %8s s\n' "first 100 MB: kestrin-cut" "$prefix_cut_s" \
    "first 100 MB: GoAccess referrers" "$goaccess_s"
first_per_line=$(awk -v s="$ranked_s" -v n="$lines" 'BEGIN { print s / n }')

# 2. The same size with 2 M distinct URLs, ranked.
log=$(log_for "$size" "$many")
cat "$log" >/dev/null
many_lines=$(wc -l <"$log")
best many_s run_cut "$log" "$out/many.txt" --ranked
many_rss=$(cat "$out/rss")
many_bytes=$(url_bytes_of "$out/many.txt")
many_per_line=$(awk -v s="$many_s" -v n="$many_lines" 'BEGIN { print s / n }')
echo
echo "Log: $log ($many_lines lines, URLs of $many_bytes bytes)"
printf '  %-40s %8s s\n' "kestrin-cut --ranked" "$many_s"

# 3. 1 GB of NUL bytes: a billion empty lines.
nuls=$out/nul-1G.log
make_once "$nuls" head -c 1G /dev/zero
cat "$nuls" >/dev/null
best nul_wc_s run_wc "$nuls"
best nul_cut_s run_cut "$nuls" "$out/nul.txt"
echo
printf '  %-40s %8s s\n' "1 GB of NULs: wc -l" "$nul_wc_s" "1 GB of NULs: kestrin-cut" "$nul_cut_s"

# 4. One line of 300 MB, most of it its URL.
long=$out/line-300M.log
make_once "$long" sh -c 'printf "GET http://"; head -c 314572788 /dev/zero | tr "\0" a; printf "\r\n"'
run_cut "$long" "$out/long.txt"
long_rss=$(cat "$out/rss")
long_bytes=$(($(stat -c %s "$long") - 2))

# 5. Eight gzip logs of 100 MB each (the 200 k log's first 800 MB), as log rotation
# leaves them: read one a thread, or all on one.
gz_logs=()
log=$(log_for "$size" "$distinct")
for part in 0 1 2 3 4 5 6 7; do
    gz=$out/$(basename "${log%.log}")-part$part.log.gz
    make_once "$gz" sh -c 'tail -c +$(($2 * 104857600 + 1)) "$1" | head -c 104857600 |
        LC_ALL=C sed "1d;\$d" | gzip -6' sh "$log" "$part"
    gz_logs+=("$gz")
done
run_cut_gz() {
    "$cut_bin" --keyword '"' "$@" "${gz_logs[@]}" >"$out/gz.txt" 2>/dev/null
}
if [ "$has_jobs" = 1 ]; then
    best gz_s run_cut_gz
    best gz_jobs1_s run_cut_gz --jobs 1
    echo
    printf '  %-40s %8s s\n' "8 gzip logs: kestrin-cut" "$gz_s" "8 gzip logs: --jobs 1" "$gz_jobs1_s"
fi
if [ "$has_jobs" = 1 ] && [ -n "$windows_cut" ]; then
    # wine's server has gone a minute after its last program: started again first,
    # lest one run pay for it.
    run_windows_start
    alternated gz_linux_s gz_windows_s run_linux run_windows "${gz_logs[@]}"
    printf '  %-40s %8s s\n' "8 gzip logs: kestrin-cut (median, in turns)" "$gz_linux_s" \
        "8 gzip logs: kestrin-cut.exe (median)" "$gz_windows_s"
    cmp -s "$out/gz.txt" "$out/windows.txt" || {
        echo "  kestrin-cut.exe wrote another report of the gzip logs"
        missed=1
    }
fi

# 7. Compressed logs against the baseline, in paired runs, new and old alternated and
# each ratio the median of KESTRIN_BENCH_PAIRS (7) pairs: the eight gzip logs with
# every thread against --jobs 1, and one 300 MB gzip log against the decompressors'
# own pipes into wc -l.
# median_ratio A B: the median of $pairs ratios of A's time to B's, alternated.
median_ratio() {
    local a b pair ratios=()
    for ((pair = 1; pair <= pairs; pair++)); do
        a=$(seconds_of "$1")
        b=$(seconds_of "$2")
        ratios+=("$(ratio "$a" "$b")")
    done
    printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
one_gz=$out/$(basename "${log%.log}")-300M.log.gz
make_once "$one_gz" sh -c 'head -c 300M "$1" | LC_ALL=C sed "\$d" | gzip -6' sh "$log"
run_one_gz() { "$cut_bin" --keyword '"' "$one_gz" >"$out/one-gz.txt" 2>/dev/null; }
run_igzip() { igzip -dc "$one_gz" | wc -l >/dev/null; }
run_pigz() { pigz -dc "$one_gz" | wc -l >/dev/null; }
run_gz_jobs1() { run_cut_gz --jobs 1; }
if [ "$has_jobs" = 1 ]; then
    gz_ratio=$(median_ratio run_cut_gz run_gz_jobs1)
fi
one_igzip_ratio=$(median_ratio run_one_gz run_igzip)
one_pigz_ratio=$(median_ratio run_one_gz run_pigz)
if [ -n "$baseline" ]; then
    run_base_one_gz() { "$baseline" --keyword '"' "$one_gz" >"$out/base-one-gz.txt" 2>/dev/null; }
    one_base_ratio=$(median_ratio run_one_gz run_base_one_gz)
    cmp -s "$out/one-gz.txt" "$out/base-one-gz.txt" || {
        echo "  the baseline wrote another report of the 300 MB gzip log"
        missed=1
    }
fi

# 6. (--big) 20 M distinct URLs.
if [ "$big" = 1 ]; then
    log=$(log_for "$huge_size" "$huge")
    run_cut "$log" "$out/huge.txt" --ranked
    huge_rss=$(cat "$out/rss")
    huge_bytes=$(url_bytes_of "$out/huge.txt")
    echo
    echo "Log: $log (URLs of $huge_bytes bytes)"
fi

echo
echo "Targets:"
print_pace_rows
row "200 k log: kestrin-cut / wc -l (at most 2.0)" "$(ratio "$cut_s" "$wc_s")" 'v <= 2.0'
row "200 k log: mawk / kestrin-cut (at least 10)" "$(ratio "$mawk_s" "$cut_s")" 'v >= 10'
if [ "$has_group" = 1 ]; then
    row "200 k log: --group site / --group url (at most 1.2)" \
        "$(ratio "$group_site_s" "$group_url_s")" 'v <= 1.2'
fi
echo "  kestrin-cut and mawk tallies agree: $agree"
row "first 100 MB: GoAccess / kestrin-cut (at least 100)" \
    "$(ratio "$goaccess_s" "$prefix_cut_s")" 'v >= 100'
row "2 M log ranked: time per line / 200 k log's (at most 2)" \
    "$(ratio "$many_per_line" "$first_per_line")" 'v <= 2'
row "2 M log: peak KiB (at most $(limit_kib "$many_bytes"))" "$many_rss" \
    "v <= $(limit_kib "$many_bytes")"
row "1 GB of NULs: kestrin-cut / wc -l (at most 3)" "$(ratio "$nul_cut_s" "$nul_wc_s")" 'v <= 3'
if [ "$big" = 1 ]; then
    row "20 M log: peak KiB (at most $(limit_kib "$huge_bytes"))" "$huge_rss" \
        "v <= $(limit_kib "$huge_bytes")"
fi
row "300 MB line: peak KiB (at most $(limit_kib "$long_bytes"))" "$long_rss" \
    "v <= $(limit_kib "$long_bytes")"
if [ "$has_jobs" = 1 ]; then
    printf '  %-58s %12s\n' "200 k log: kestrin-cut --jobs 1 / wc -l" "$(ratio "$jobs1_s" "$wc_s")"
    row "8 gzip logs: default / --jobs 1 (at most 0.7)" "$(ratio "$gz_s" "$gz_jobs1_s")" 'v <= 0.7'
fi
if [ "$has_jobs" = 1 ]; then
    row "8 gzip logs, median of pairs: default / --jobs 1 (at most 0.6)" "$gz_ratio" 'v <= 0.6'
fi
row "300 MB gzip log: kestrin-cut / igzip -dc | wc -l (below 1)" "$one_igzip_ratio" 'v < 1'
printf '  %-58s %12s\n' "300 MB gzip log: kestrin-cut / pigz -dc | wc -l" "$one_pigz_ratio"
if [ -n "$baseline" ]; then
    row "300 MB gzip log: kestrin-cut / baseline (at most 1.0)" "$one_base_ratio" 'v <= 1.0'
fi
if [ -n "$windows_cut" ]; then
    row "200 k log: .exe under wine / Linux build (at most 1.3)" \
        "$(ratio "$windows_s" "$linux_s")" 'v <= 1.3'
    if [ "$has_jobs" = 1 ]; then
        row "200 k log --jobs 1: .exe under wine / Linux (at most 1.3)" \
            "$(ratio "$windows_jobs1_s" "$linux_jobs1_s")" 'v <= 1.3'
        row "8 gzip logs: .exe under wine / Linux build (at most 1.3)" \
            "$(ratio "$gz_windows_s" "$gz_linux_s")" 'v <= 1.3'
    fi
fi
if [ -n "$baseline" ]; then
    single_s=${jobs1_s:-$cut_s}
    row "200 k log: single-threaded / baseline (at most 1.05)" "$(ratio "$single_s" "$base_s")" \
        'v <= 1.05'
fi
echo "load after the run: $(uptime)"

if [ "$agree" = yes ]; then rm -f "$out"/*.txt "$out"/*.csv "$out/rss"; fi
exit "$missed"
