#!/usr/bin/env bash
# Time from process start to the main window being mapped on an X display, and the process's memory
# once idle (one Android device, nothing running). Runs on a virtual display with a throw-away home.
#   bench/startup.sh [build folder]      (needs xvfb, x11-utils, bc)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
# Xvfb picks a free display itself, so a virtual display started elsewhere at the same moment cannot
# take the number.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1280x900x24 5>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -n1 "$work/display")"
# A user always has a home folder; without one, D-Bus autolaunch (dbus-x11) gives up only after 3 s.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"

for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$build/src/corvane" 2>/dev/null &
    pid=$!
    until xwininfo -name "Corvane Beta" 2>/dev/null | grep -q IsViewable; do
        kill -0 "$pid" 2>/dev/null || { echo "the program ended before its window appeared" >&2; exit 1; }
        sleep 0.01
    done
    end=$(date +%s.%N)
    sleep 3
    printf 'window shown after %.0f ms; ' "$(echo "($end - $start) * 1000" | bc)"
    grep -E 'VmHWM|VmRSS' "/proc/$pid/status" | tr -s ' \t' ' ' | tr '\n' ' '
    echo
    kill "$pid"
    wait "$pid" 2>/dev/null || true
done
