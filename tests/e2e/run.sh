#!/usr/bin/env bash
# Runs tests/e2e/walkthrough.py against the built program on a virtual display, inside a D-Bus session
# with the accessibility bus, in a home folder of its own on the copy-on-write volume (snapshots need
# one; without it the walkthrough leaves out its snapshot steps). Exits 77 (skipped) where a
# prerequisite is missing.
# Usage: run.sh PROGRAM FAKES_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$1
fakes=$2

skip() {
    echo "skipped: $*"
    exit 77
}
for tool in Xvfb dbus-run-session /usr/bin/python3; do
    command -v "$tool" >/dev/null || skip "$tool is missing (xvfb, dbus)"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is missing"
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "at-spi2-core is missing"
snapshots=--snapshots
base=${CORVANE_REFLINK_DIR:-}
if [ -z "$base" ]; then
    echo "no copy-on-write volume (scripts/reflink-volume.sh): the snapshot steps are left out"
    snapshots=--no-snapshots
    base=${TMPDIR:-/tmp}
fi
# The Android installation asks for 10 GB of free space.
free=$(df -Pk "$base" | awk 'NR == 2 { print $4 }')
[ "$free" -gt $((10 * 1024 * 1024 + 65536)) ] || skip "less than 10 GB free under $base"

home=$(mktemp -d "$base/corvane-e2e-XXXXXX")
export -n QT_QPA_PLATFORM
# Xvfb picks a free display number itself and reports it, so other virtual displays starting at the
# same moment cannot take it first.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1600x1000x24 5>"$home/display" 2>"$home/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$home"' EXIT
for _ in $(seq 100); do
    [ -s "$home/display" ] && break
    sleep 0.1
done
[ -s "$home/display" ] || { cat "$home/xvfb.log"; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$home/display")"
dbus-run-session -- bash -c '
    "$1" --launch-immediately &
    launcher=$!
    /usr/bin/python3 "$2" "$3" "$4" "$5" "$6"
    status=$?
    kill "$launcher" 2>/dev/null
    exit $status' walkthrough "$launcher" "$here/walkthrough.py" "$program" "$fakes" "$home" "$snapshots"
