#!/usr/bin/env bash
# Sets everything up, checks the formatting, then builds and runs the whole test suite three
# times: optimised (release), under AddressSanitizer and UndefinedBehaviorSanitizer (sanitize),
# and the host side under ThreadSanitizer (tsan). Warnings are errors in every build. Then it runs
# every fuzz target for a short time (Tools/fuzz.sh), and last it builds the Debian packages and
# tests them as a user would (Tools/test-packages.sh).
#
# Every step runs even when an earlier one failed, so that one run shows everything; the exit
# status is 1 when any step failed. The time of each step is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/setup-debian.sh

pass() {
    local preset="$1"
    cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" &&
        ctest --preset "$preset" -j "$(nproc)"
}

summary=()
failed=0
step() {
    local name="$1"
    shift
    echo "=== $name"
    local start=$SECONDS status=0
    "$@" || status=$?
    local outcome="passed"
    if ((status != 0)); then
        outcome="FAILED (exit status $status)"
        failed=1
    fi
    summary+=("$(printf '%-14s %-28s %4d s' "$name" "$outcome" $((SECONDS - start)))")
}

step "format check" Tools/check-format.sh
for preset in release sanitize tsan; do
    step "$preset" pass "$preset"
done
step "fuzz" Tools/fuzz.sh 20
step "packages" Tools/test-packages.sh

echo "=== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
