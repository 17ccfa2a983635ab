#!/usr/bin/env bash
# Sets everything up, builds the optimised preset and runs the whole benchmark
# suite, writing bench/RESULTS.md. Pass --smoke for a quick run with tiny sizes
# (its report goes to build/release/bench/RESULTS-smoke.md instead).
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release --target zov-bench

if [[ "${1:-}" == "--smoke" ]]; then
    exec build/release/bin/zov-bench --smoke --out build/release/bench/RESULTS-smoke.md
fi
exec build/release/bin/zov-bench --out bench/RESULTS.md
