#!/usr/bin/env bash
# Takes the README's pictures of the pages on a virtual display and saves them in docs/screenshots.
# With arguments, only those programs run (e.g. android_screenshots).
# Needs a build (scripts/dev.sh) and Xvfb (Debian: xvfb xauth).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}

if ! command -v xvfb-run >/dev/null; then
    echo "xvfb-run is missing: apt-get install xvfb xauth" >&2
    exit 69
fi
cmake --build "$build" --target screenshots
programs=("$@")
if ((${#programs[@]} == 0)); then
    mapfile -t programs < <(cd "$build/tools/screenshots" && ls -1 ./*_screenshots | sed 's|^\./||')
fi
for program in "${programs[@]}"; do
    xvfb-run -a -s "-screen 0 1280x900x24" "$build/tools/screenshots/$program" "$top/docs/screenshots"
done
ls -1 "$top/docs/screenshots"
