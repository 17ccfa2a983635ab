#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite: once in the
# optimised build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/setup-debian.sh
for preset in release sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j "$(nproc)"
done
