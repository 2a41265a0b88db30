#!/usr/bin/env bash
# Runs clang-tidy with the project's checks over src/. Uses its own build folder without precompiled
# headers, which clang cannot read from a gcc build.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-tidy
cmake -S "$top" -B "$build" -G Ninja -DCORVANE_PCH=OFF -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCHMARKS=OFF >/dev/null
# Generated moc sources must exist before clang-tidy reads the compile commands.
cmake --build "$build" -j2 >/dev/null
cd "$top"
git ls-files -z 'src/*.cpp' | xargs -0 -n 4 -P 2 clang-tidy -p "$build" --quiet
