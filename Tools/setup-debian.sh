#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the
# benchmarks need. Does nothing when they are all present already.
set -euo pipefail

packages=(
    # toolchain
    g++ cmake ninja-build pkg-config clang-format
    # the fuzz targets: clang, its sanitizer runtimes and libFuzzer, and the symbolizer for their
    # reports
    clang-14 libclang-rt-14-dev llvm-14
    # the runner: engine, confinement, UTF-8/UTF-16 conversion
    libjavascriptcoregtk-4.1-dev libseccomp-dev libicu-dev
    # the dock tile: D-Bus, images (PNG files checked with libpng), property lists
    libglib2.0-dev libgdk-pixbuf-2.0-dev libpng-dev libplist-dev libglib2.0-bin dbus-daemon
    # the host library: reading and writing the runner's lines
    nlohmann-json3-dev libsimdjson-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev hyperfine strace
    # dock tile tests: PNG files built chunk by chunk, with zlib's checksum
    zlib1g-dev
    # runner tests: the sources of a locale to compile with localedef
    locales
    # Debian packages (Tools/build-packages.sh) and the test of them as a user would do it
    debhelper dpkg-dev lintian man-db
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
