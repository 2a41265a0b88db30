#!/usr/bin/env bash
# Runs clang-tidy with the project's checks over src/ and fails on any finding.
#   scripts/tidy.sh [build folder]      (a built tree: scripts/dev.sh builds build/)
# clang-tidy reads the build's compile commands without the precompiled header, which it cannot read
# from another compiler: every source includes what it needs. The compiler's own warnings are the
# compiler's business: -Werror goes, and GCC-only flags such as -Wshadow=local are not clang's to judge.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-${CORVANE_BUILD_DIR:-$top/build}}" && pwd)
[ -f "$build/compile_commands.json" ] || {
    echo "no compile commands in $build: build the tree first (scripts/dev.sh test)" >&2
    exit 1
}
commands=$(mktemp -d)
trap 'rm -rf "$commands"' EXIT
sed -E -e 's/ -Winvalid-pch//g' -e 's/ -Werror([ "])/\1/g' \
    -e 's/ -include [^ ]*cmake_pch\.hxx//g' \
    -e 's/ -Xclang -include-pch -Xclang [^ ]*//g' \
    -e 's/ -Xclang -include -Xclang [^ ]*cmake_pch\.hxx//g' \
    "$build/compile_commands.json" >"$commands/compile_commands.json"
# Homebrew's LLVM is not on the PATH.
tidy=$(command -v clang-tidy || true)
if [ -z "$tidy" ] && command -v brew >/dev/null; then
    tidy="$(brew --prefix llvm)/bin/clang-tidy"
fi
cd "$top"
find src -name '*.cpp' -print0 | sort -z |
    xargs -0 -n 4 -P 2 "$tidy" -p "$commands" --quiet --warnings-as-errors='*' \
        --extra-arg=-Wno-unknown-warning-option
