#!/usr/bin/env bash
# Builds the Debian packages of the runtime into build/packages/ and checks them with lintian:
#
#   libzovpluginclient0   the host library (libZovPluginClient.so.0)
#   zov-plugin-host       the runner, /usr/libexec/zov/ZovPluginHost
#   libzovclassregistry0  the class registry that docks and plug-ins share
#   libzovdockkit0        the dock kit: the tile, its image view, the plug-in protocol
#   zov                   zov-run, zov-dock, their manual pages, the dock tile plug-in bundle
#                         and the example application
#   libzov-dev            headers, CMake packages, the pkg-config file, the example host
#
# The packaging is debian/, built with debhelper (dpkg-buildpackage) in a copy of the source tree
# under build/package-source, which keeps its build directory from run to run so that a rebuild
# only compiles what changed. Exit status 1 when the build fails or lintian reports an error.
set -euo pipefail
cd "$(dirname "$0")/.."

Tools/setup-debian.sh

version="$(dpkg-parsechangelog --show-field Version)"
work=build/package-source
source="$work/zov-$version"
out=build/packages
mkdir -p "$source"

# The tree's files as they stand (committed or not, ignored ones left out), with their times
# kept so that the build directory's earlier results stay valid.
find "$source" -mindepth 1 -maxdepth 1 ! -name 'obj-*' -exec rm -rf {} +
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do [[ -e "$file" ]] && printf '%s\0' "$file"; done |
        xargs -0 cp --parents --preserve=mode,timestamps -t "$source"
else
    tar --exclude=./build -cf - . | tar -xf - -C "$source"
fi

rm -f "$work"/*.deb "$work"/*.ddeb "$work"/*.changes "$work"/*.buildinfo
(cd "$source" && dpkg-buildpackage --build=binary --no-sign --no-pre-clean -J"$(nproc)")

rm -rf "$out"
mkdir -p "$out"
mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
mv "$work"/*.ddeb "$out"/ 2>/dev/null || true
ls -l "$out"

if command -v lintian >/dev/null; then
    echo "=== lintian"
    lintian --fail-on error --info --display-info "$out"/*.changes
fi
