#!/usr/bin/env bash
# Tests the Debian packages the long way: a fresh Debian 12 root made with debootstrap, the
# packages installed there with apt (which fetches their Depends), then, inside the root, the
# example host built against the installed files only and run, and the installed tools and
# manual pages used. Last, the runtime alone (-DBUILD_TESTING=OFF -DZOV_BUILD_BENCHMARKS=OFF) is
# built there from this tree with nothing more than the packaging's Build-Depends installed.
# Needs root and Debian's package mirror; takes minutes. Tools/test-packages.sh is the fast
# variant that the test suite runs.
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
chmod 755 "$root" # the root's own folder: readable by the root's users too
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" "$mirror"
mount -t proc proc "$root/proc"
mkdir -p "$root/packages"
find build/packages -name '*.deb' ! -name '*-dbgsym_*' -exec cp -t "$root/packages" {} +
mkdir -p "$root/source"
git ls-files -z | xargs -0 cp --parents -t "$root/source"

in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "$1"
}

# First, with nothing of the runtime installed, so that no installed header can stand in for
# one of the tree's.
in_root '
    apt-get update -qq
    apt-get build-dep -y -qq --no-install-recommends /source >/dev/null
    cmake -S /source -B /tmp/runtime -G Ninja -DBUILD_TESTING=OFF -DZOV_BUILD_BENCHMARKS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build /tmp/runtime >/dev/null
    [[ -x /tmp/runtime/libexec/zov/ZovPluginHost && -x /tmp/runtime/bin/zov-run ]]
'
echo "=== ok: the runtime alone builds with only the Build-Depends installed"

in_root '
    apt-get install -y -qq --no-install-recommends /packages/*.deb \
        g++ cmake ninja-build pkg-config nlohmann-json3-dev man-db >/dev/null
    [[ -x /usr/libexec/zov/ZovPluginHost ]]

    examples=/usr/share/doc/libzov-dev/examples
    expected="{\"city\":\"Berlin\",\"days\":[\"2026-12-10: overcast, -1 to 3 °C\",\"2026-12-11: sunny, -3 to 4 °C\"],\"warmest\":\"2026-12-11\"}"

    cmake -S $examples/host -B /tmp/host -G Ninja >/dev/null
    cmake --build /tmp/host >/dev/null
    [[ "$(/tmp/host/host $examples/forecast.js)" == "$expected" ]]
    echo "ok: the example host, built with the CMake package, prints the forecast"

    c++ -std=c++20 -o /tmp/host-pc $examples/host/main.cpp $(pkg-config --cflags --libs zov-plugin-client)
    [[ "$(/tmp/host-pc $examples/forecast.js)" == "$expected" ]]
    echo "ok: the example host, built with pkg-config, prints the forecast"

    [[ "$(zov-run --help)" == "usage: zov-run "* ]]
    [[ "$(zov-dock --version)" == "zov-dock "* ]]
    [[ "$(MANWIDTH=80 man zov-run)" == *"zov-run - call a method of a Zov plugin"* ]]
    echo "ok: zov-run --help, zov-dock --version and man zov-run"
'
echo "=== ok: the packages install and work in a fresh Debian 12 root"
