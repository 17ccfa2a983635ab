#!/usr/bin/env bash
# Builds the fuzz targets (the preset fuzz: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS seconds, as many at once as there are
# cores. Tools/run-tests.sh runs them for a short time; a longer run finds more.
#
#   Tools/fuzz.sh [SECONDS]    each target for SECONDS seconds (600 unless given)
#
# A target fails when it finds an input that crashes it, breaks one of its checks, leaks, hangs or
# exhausts memory; that input joins its seed corpus in Tests/Fuzz/corpus/TARGET, where every
# later run tries it first. What the runs find besides stays in build/fuzz/fuzz/TARGET/corpus for
# the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
if [[ ! "$seconds" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [SECONDS]" >&2
    exit 2
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
rm -f build/fuzz/fuzz/*/summary
start=$SECONDS
status=0
ZOV_FUZZ_SECONDS="$seconds" ctest --preset fuzz -j "$(nproc)" --timeout $((seconds + 300)) ||
    status=$?
echo "=== fuzzing: each target for $seconds s, $((SECONDS - start)) s in all"
cat build/fuzz/fuzz/*/summary 2>/dev/null || true
exit "$status"
