#!/usr/bin/env bash
# Runs tests/e2e/walkthrough.py against the built program on a virtual display, inside a D-Bus session
# with the accessibility bus, in a home folder of its own on the copy-on-write volume (snapshots need
# one). Exits 77 (skipped) where a prerequisite is missing.
# Usage: run.sh PROGRAM FAKES_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$1
fakes=$2

skip() {
    echo "skipped: $*"
    exit 77
}
for tool in xvfb-run dbus-run-session /usr/bin/python3; do
    command -v "$tool" >/dev/null || skip "$tool is missing (xvfb, dbus)"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is missing"
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "at-spi2-core is missing"
[ -n "${CORVANE_REFLINK_DIR:-}" ] || skip "snapshots need a copy-on-write volume (scripts/reflink-volume.sh)"

home=$(mktemp -d "$CORVANE_REFLINK_DIR/corvane-e2e-XXXXXX")
trap 'rm -rf "$home"' EXIT
export -n QT_QPA_PLATFORM
# A display number of its own, so that other virtual displays starting at the same moment do not collide.
xvfb-run -a -n $((100 + RANDOM % 400)) -s "-screen 0 1600x1000x24" dbus-run-session -- bash -c '
    "$1" --launch-immediately &
    launcher=$!
    /usr/bin/python3 "$2" "$3" "$4" "$5"
    status=$?
    kill "$launcher" 2>/dev/null
    exit $status' walkthrough "$launcher" "$here/walkthrough.py" "$program" "$fakes" "$home"
