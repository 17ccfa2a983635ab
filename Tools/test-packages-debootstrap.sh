#!/usr/bin/env bash
# Tests the Debian packages the long way: a fresh Debian 12 root made with debootstrap, the
# packages installed there with apt (which fetches their Depends), then, inside the root, the
# example host built against the installed files only and run, and the installed tools and
# manual pages used. Needs root and Debian's package mirror; takes minutes. Tools/test-packages.sh
# is the fast variant that the test suite runs.
#
#   Tools/test-packages-debootstrap.sh [--no-build] [MIRROR]
set -euo pipefail
cd "$(dirname "$0")/.."

build=true
if [[ "${1:-}" == "--no-build" ]]; then
    build=false
    shift
fi
mirror="${1:-http://deb.debian.org/debian}"

if ((EUID != 0)); then
    echo "test-packages-debootstrap: needs root (debootstrap and chroot)" >&2
    exit 2
fi
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
fi
$build && Tools/build-packages.sh

root="$(mktemp -d)"
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" "$mirror"
mount -t proc proc "$root/proc"
mkdir -p "$root/packages"
find build/packages -name '*.deb' ! -name '*-dbgsym_*' -exec cp -t "$root/packages" {} +
cp examples/forecast.js "$root/packages/"

chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c '
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends /packages/*.deb \
        g++ cmake ninja-build pkg-config nlohmann-json3-dev man-db >/dev/null
    dpkg -c /packages/zov-plugin-host_*.deb | grep -q " ./usr/libexec/zov/ZovPluginHost$"

    examples=/usr/share/doc/libzov-dev/examples
    expected="{\"city\":\"Berlin\",\"days\":[\"2026-12-10: overcast, -1 to 3 °C\",\"2026-12-11: sunny, -3 to 4 °C\"],\"warmest\":\"2026-12-11\"}"

    cmake -S $examples/host -B /tmp/host -G Ninja >/dev/null
    cmake --build /tmp/host >/dev/null
    [[ "$(/tmp/host/host $examples/forecast.js)" == "$expected" ]]
    echo "ok: the example host, built with the CMake package, prints the forecast"

    c++ -std=c++20 -o /tmp/host-pc $examples/host/main.cpp $(pkg-config --cflags --libs zov-plugin-client)
    [[ "$(/tmp/host-pc $examples/forecast.js)" == "$expected" ]]
    echo "ok: the example host, built with pkg-config, prints the forecast"

    zov-run --help | head -1 | grep -q "^usage: zov-run "
    zov-dock --version | grep -q "^zov-dock "
    MANWIDTH=80 man zov-run | grep -q "zov-run - call a method of a Zov plugin"
    echo "ok: zov-run --help, zov-dock --version and man zov-run"
'
echo "=== the packages install and work in a fresh Debian 12 root"
