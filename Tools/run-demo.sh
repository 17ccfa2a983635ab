#!/usr/bin/env bash
# Sets everything up, builds, and runs the sample plugin end to end: the
# runner loads it, the plugin fetches a forecast through the host (zov-run,
# answering from a file of canned replies) and returns its summary.
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/bin/zov-run examples/forecast.js summary '{"city": "Berlin"}' \
    --replies examples/forecast-replies.json --verbose
