#!/usr/bin/env bash
# Replaces the runtime's ICU time-zone files (data/icu-tz/) with those of another tz release.
#
#   Tools/update-icu-tz.sh FOLDER
#
# FOLDER holds the four files that ICU publishes for one tz release (zoneinfo64.res,
# timezoneTypes.res, metaZones.res, windowsZones.res), in the little-endian format of ICU 4.4 and
# later: the icu-data repository's tzdata/icunew/RELEASE/44/le/. The script checks that all four
# are there and are such files, copies them over the old ones and names the release in
# data/icu-tz/README.md. Nothing is changed when a check fails.
set -euo pipefail

if (($# != 1)); then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
source_folder="$1"
target="$(cd "$(dirname "$0")/.." && pwd)/data/icu-tz"
files=(zoneinfo64.res timezoneTypes.res metaZones.res windowsZones.res)

fail() {
    echo "update-icu-tz: $*" >&2
    exit 1
}

for file in "${files[@]}"; do
    path="$source_folder/$file"
    [[ -f "$path" ]] || fail "$path is missing"
    # An ICU data header: its magic bytes, then little-endian, and the format "ResB".
    [[ "$(od -An -tx1 -j2 -N2 "$path" | tr -d ' ')" == "da27" &&
        "$(od -An -tx1 -j8 -N1 "$path" | tr -d ' ')" == "00" &&
        "$(od -An -c -j12 -N4 "$path" | tr -d ' ')" == "ResB" ]] ||
        fail "$path is not a little-endian ICU resource file"
done

# zoneinfo64.res names its tz release (TZVersion) as a UTF-16 string, such as "2026a".
release="$(strings -e l "$source_folder/zoneinfo64.res" | grep -m1 -E '^[0-9]{4}[a-z]$' || true)"
[[ -n "$release" ]] || fail "$source_folder/zoneinfo64.res names no tz release"

for file in "${files[@]}"; do
    cp "$source_folder/$file" "$target/$file"
done
sed -i -E "1s/tz release [0-9]{4}[a-z]/tz release $release/; s#tzdata/icunew/[0-9]{4}[a-z]/#tzdata/icunew/$release/#" \
    "$target/README.md"
echo "update-icu-tz: data/icu-tz now holds the files of tz release $release"
