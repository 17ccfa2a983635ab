#!/usr/bin/env bash
# Runs one fuzz target for ZOV_FUZZ_SECONDS seconds (20 unless set), as a test:
#
#   run-target.sh TARGET SEEDS WORK [FLAG...]
#
# It starts from the seed corpus SEEDS (the repository's corpus/TARGET) and from what earlier runs
# found (WORK/corpus, kept in the build tree), and fails when an input crashes the target, breaks
# one of its checks, leaks, runs over 10 s or over 2 GB of memory. That input then joins the seed
# corpus, so that every later run tries it first, and fails, until what it found is mended. The
# FLAGs are libFuzzer's, for this target. A line of figures goes to WORK/summary.
set -euo pipefail

target="$1"
seeds="$2"
work="$3"
shift 3
seconds="${ZOV_FUZZ_SECONDS:-20}"
name="$(basename "$target")"

mkdir -p "$work/corpus" "$work/artifacts"
rm -f "$work/artifacts/"* "$work/summary"
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan-suppressions.txt:print_suppressions=0"
if [[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]]; then
    export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi
start=$SECONDS
status=0
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds" >"$work/log" 2>&1 ||
    status=$?

stat() {
    sed -n "s/^stat::$1: *//p" "$work/log" | tail -n 1
}
summary="$(printf '%-20s %9s inputs in %4s s, %5s in the corpus, peak %4s MB' "$name" \
    "$(stat number_of_executed_units)" $((SECONDS - start)) \
    "$(find "$work/corpus" "$seeds" -type f | wc -l)" "$(stat peak_rss_mb)")"
echo "$summary"

found=("$work/artifacts/"*)
if ((status == 0)) && [[ ! -e "${found[0]}" ]]; then
    echo "$summary" >"$work/summary"
    exit 0
fi
echo "$summary, FAILED" >"$work/summary"
# What libFuzzer said, without the progress lines.
grep -v -E '^#[0-9]+' "$work/log" | tail -n 60
for input in "${found[@]}"; do
    [[ -e "$input" ]] || continue
    cp "$input" "$seeds/"
    echo "$name: the input that failed is now $seeds/$(basename "$input")"
done
exit 1
