#!/usr/bin/env bash
# Tests the Debian packages as a user would use them: builds them (Tools/build-packages.sh, which
# also runs lintian), unpacks them into a clean prefix, checks the files that they install, builds
# the example host against the installed files only (through the CMake package, and in two lines
# through pkg-config), runs it and checks the forecast it prints; then runs the installed tools.
#
# The prefix is not the system's, so programs find the installed libraries through
# LD_LIBRARY_PATH; the host library finds the installed runner relative to itself, inside the
# prefix. Tools/test-packages-debootstrap.sh does the same with the packages installed by apt
# into a fresh Debian 12 root instead.
#
#   Tools/test-packages.sh [--no-build]   (--no-build: test the packages in build/packages)
set -euo pipefail
cd "$(dirname "$0")/.."
source_tree="$PWD"

if [[ "${1:-}" != "--no-build" ]]; then
    Tools/build-packages.sh
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libdir="$root/usr/lib/$multiarch"

failures=0
check() {
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

echo "=== unpacking into $root"
for package in build/packages/*.deb; do
    [[ "$package" == *-dbgsym_* ]] && continue
    dpkg-deb --extract "$package" "$root"
done

# The files each package must hold, by package.
declare -A expected=(
    [libzovpluginclient0]="./usr/lib/$multiarch/libZovPluginClient.so.0"
    [zov-plugin-host]="./usr/libexec/zov/ZovPluginHost"
    [libzovclassregistry0]="./usr/lib/$multiarch/libZovClassRegistry.so.0"
    [libzovdockkit0]="./usr/lib/$multiarch/libZovDockKit.so.0"
    [zov]="./usr/bin/zov-run ./usr/bin/zov-dock
        ./usr/share/man/man1/zov-run.1.gz ./usr/share/man/man1/zov-dock.1.gz
        ./usr/lib/$multiarch/zov/ZovDockTile.docktileplugin/Contents/Info.plist
        ./usr/lib/$multiarch/zov/ZovDockTile.docktileplugin/Contents/MacOS/libZovDockTile.so
        ./usr/lib/$multiarch/zov/Zov.app/Contents/Info.plist
        ./usr/lib/$multiarch/zov/Zov.app/Contents/Resources/AppIcon.png
        ./usr/lib/$multiarch/zov/Zov.app/Contents/PlugIns/ZovDockTile.docktileplugin/Contents/MacOS/libZovDockTile.so"
    [libzov-dev]="./usr/include/zov/PluginCall.h ./usr/include/zov/RunnerPool.h
        ./usr/include/zov/ClassRegistry.h ./usr/include/zov/DockTile.h
        ./usr/lib/$multiarch/libZovPluginClient.so
        ./usr/lib/$multiarch/cmake/ZovPluginClient/ZovPluginClientConfig.cmake
        ./usr/lib/$multiarch/cmake/ZovDockKit/ZovDockKitConfig.cmake
        ./usr/lib/$multiarch/pkgconfig/zov-plugin-client.pc
        ./usr/share/doc/libzov-dev/examples/host/main.cpp"
)
for package in "${!expected[@]}"; do
    listing="$(dpkg-deb --contents build/packages/"$package"_*.deb | awk '{print $6}')"
    for file in ${expected[$package]}; do
        check "$package holds $file" grep -qxF "$file" <<<"$listing"
    done
    check "$package has its copyright file" grep -qxF "./usr/share/doc/$package/copyright" <<<"$listing"
done

# The installed headers are the host's interface: they include one another and the standard
# library only, never the runtime's internals or the libraries it uses inside.
headers_are_self_contained() {
    local bad
    bad="$(grep -h '^#include' "$root"/usr/include/zov/{PluginCall,PluginClientExport,RunnerCommand,RunnerLocation,RunnerPool}.h |
        grep -vE '^#include <(zov/[A-Za-z]+\.h|[a-z_]+|sys/types\.h)>$' || true)"
    [[ -z "$bad" ]] || { echo "$bad"; return 1; }
}
check "the host library's headers include nothing but <zov/...> and the standard library" \
    headers_are_self_contained

expected_forecast='{"city":"Berlin","days":["2026-12-10: overcast, -1 to 3 °C","2026-12-11: sunny, -3 to 4 °C"],"warmest":"2026-12-11"}'
examples="$root/usr/share/doc/libzov-dev/examples"
export LD_LIBRARY_PATH="$libdir"
unset ZOV_PLUGIN_HOST

runs_the_forecast() {
    local output
    output="$("$1" "$examples/forecast.js")" || return 1
    [[ "$output" == "$expected_forecast" ]] || { echo "printed: $output"; return 1; }
}

# The README shows the example host as it is, less its opening comment.
readme_shows_the_example() {
    diff <(awk '/^### Use$/ { use = 1 } use && /^```cpp$/ { code = 1; next }
                code && /^```$/ { exit } code { print }' "$source_tree/README.md") \
        <(sed '1,/^$/d' "$examples/host/main.cpp")
}
check "the README shows the example host as it is" readme_shows_the_example

echo "=== the example host through the CMake package"
check "the example host builds with find_package(ZovPluginClient)" \
    cmake -S "$examples/host" -B "$work/host-cmake" -G Ninja \
    -DZovPluginClient_DIR="$libdir/cmake/ZovPluginClient" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
check "... and compiles" cmake --build "$work/host-cmake"
check "... and prints the forecast, with the runner found beside the library" \
    runs_the_forecast "$work/host-cmake/host"

echo "=== the example host through pkg-config"
build_with_pkg_config() {
    # The .pc file names /usr: the sysroot puts the prefix before it.
    local flags
    flags="$(PKG_CONFIG_LIBDIR="$libdir/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root" \
        PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1 \
        pkg-config --cflags --libs zov-plugin-client)" || return 1
    # shellcheck disable=SC2086 # the flags are words
    c++ -std=c++20 -o "$work/host-pkg-config" "$examples/host/main.cpp" $flags
}
check "the example host builds with pkg-config's flags" build_with_pkg_config
check "... and prints the forecast" runs_the_forecast "$work/host-pkg-config"

echo "=== the installed tools"
runs_zov_run() {
    local output
    output="$("$root/usr/bin/zov-run" "$source_tree/examples/forecast.js" summary \
        '{"city": "Berlin"}' --replies "$source_tree/examples/forecast-replies.json")" || return 1
    [[ "$output" == '{"city":"Berlin",'* ]] || { echo "printed: $output"; return 1; }
}
check "zov-run calls the sample plugin with the installed runner" runs_zov_run
check "zov-run --help prints the usage on standard output" \
    bash -c '"$1" --help 2>/dev/null | head -1 | grep -q "^usage: zov-run "' _ "$root/usr/bin/zov-run"
check "zov-dock --version prints the version" \
    bash -c '[[ "$("$1" --version)" == "zov-dock $2" ]]' _ "$root/usr/bin/zov-dock" \
    "$(dpkg-deb -f build/packages/zov_*.deb Version)"
for page in zov-run zov-dock; do
    check "man $page renders without warnings" bash -c \
        'out="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)" && [[ -z "$out" ]]' \
        _ "$root/usr/share/man/man1/$page.1.gz"
done

shows_the_example_application() {
    local tile="$work/tile.png" plugin="$libdir/zov/Zov.app/Contents/PlugIns/ZovDockTile.docktileplugin"
    local fifo="$work/dock-output"
    mkfifo "$fifo"
    XDG_CONFIG_HOME="$work/config" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
        "$root/usr/bin/zov-dock" "$plugin" --out "$tile" >"$fifo" 2>"$work/dock-errors" &
    local dock=$! line ready=false
    while IFS= read -r -t 30 line; do
        if [[ "$line" == ready ]]; then
            ready=true
            break
        fi
    done <"$fifo"
    kill -TERM "$dock"
    wait "$dock" || true
    $ready && [[ -s "$tile" ]] && [[ ! -s "$work/dock-errors" ]] &&
        cmp -s <(file -b "$tile") <(echo "PNG image data, 128 x 128, 8-bit/color RGBA, non-interlaced")
}
check "zov-dock shows the example application's icon" shows_the_example_application

echo "=== $failures failed"
((failures == 0))
