#!/usr/bin/env bash
# Checks that every C++ file under Sources, Tests, Tools, bench and examples is formatted as the
# repository's .clang-format says, and lists the files that are not. Changes nothing.
#
#   Tools/check-format.sh            list the files that need formatting; exit 1 if there are any
#   Tools/check-format.sh --diff     also show how each of them would change
#
# It uses clang-format 14, Debian 12's, which Tools/setup-debian.sh installs (CLANG_FORMAT
# names another one).
set -euo pipefail
cd "$(dirname "$0")/.."

show_diff=false
case "${1:-}" in
    "") ;;
    --diff) show_diff=true ;;
    *) echo "usage: $0 [--diff]" >&2; exit 2 ;;
esac

clang_format="${CLANG_FORMAT:-}"
if [[ -z "$clang_format" ]]; then
    for candidate in clang-format-14 clang-format; do
        if command -v "$candidate" >/dev/null; then
            clang_format="$candidate"
            break
        fi
    done
fi
if [[ -z "$clang_format" ]]; then
    echo "check-format: clang-format is not installed (Tools/setup-debian.sh installs it)" >&2
    exit 2
fi

directories=(Sources Tests Tools bench examples)
# Tracked files and new ones not ignored, so that build trees are never looked at.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
        "${directories[@]/%//*.cpp}" "${directories[@]/%//*.h}" | sort -u)
else
    mapfile -t files < <(find "${directories[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi
# A file deleted but not yet committed is still listed by git.
existing=()
for file in "${files[@]}"; do
    [[ -f "$file" ]] && existing+=("$file")
done

unformatted=()
for file in "${existing[@]}"; do
    if ! "$clang_format" --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done

version="$("$clang_format" --version)"
if ((${#unformatted[@]} == 0)); then
    echo "check-format: all ${#existing[@]} files are formatted ($version)"
    exit 0
fi

echo "check-format: ${#unformatted[@]} of ${#existing[@]} files are not formatted ($version):"
for file in "${unformatted[@]}"; do
    echo "    $file"
    if $show_diff; then
        diff -u "$file" <("$clang_format" "$file") --label "$file" --label "$file (formatted)" \
            | sed 's/^/        /' || true
    fi
done
echo "Format them with: $clang_format -i FILE..."
exit 1
