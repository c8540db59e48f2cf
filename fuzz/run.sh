#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a bounded time, starting from
# the committed seeds in fuzz/corpus.
#
#   fuzz/run.sh [SECONDS_PER_TARGET]     default 60, or $FUZZ_SECONDS
#
# A crash, a broken invariant, a hang (25 s on one input) or running out of memory
# stops that target; the input is saved as build-fuzz/artifacts/<target>-crash-...
# (or -timeout-, -oom-) and the script exits with status 1 after the other targets.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-60}}
targets=(cutting_run archive_streams)

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

artifacts=build-fuzz/artifacts
mkdir -p "$artifacts"
failed=()
for target in "${targets[@]}"; do
    # New inputs go to a working corpus in the build tree; the seeds stay as committed.
    corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "fuzz: $target for ${seconds}s" >&2
    if ! "build-fuzz/fuzz/${target}_fuzzer" "$corpus" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len=32768 -timeout=25 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/$target-" -print_final_stats=1; then
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: FAILED: ${failed[*]}; inputs saved in $artifacts:" >&2
    ls -l "$artifacts" >&2
    exit 1
fi
echo "fuzz: no crash in ${#targets[@]} targets, ${seconds}s each" >&2
