#!/usr/bin/env bash
# Time from process start to the main window's first painted frame, as the program itself reports it
# (CORVANE_STALL_REPORT), beside a plain Qt window with 40 Chinese labels measured the same way, and
# the program's memory once idle (one Android device, nothing running). Runs on a virtual display with
# a throw-away home.
#   bench/startup.sh [build folder] [runs]      (needs xvfb, python3)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
work=$(mktemp -d)
xvfb=
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
# Each window opens on a display of its own: one that has just seen another program's windows torn
# down answers the next one's first frame late. Xvfb picks a free display itself, so a virtual
# display started elsewhere at the same moment cannot take the number.
fresh_display() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -f "$work/display"
    Xvfb -displayfd 5 -nolisten tcp -screen 0 1280x900x24 5>"$work/display" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$work/display")"
}
# A user always has a home folder; without one, D-Bus autolaunch (dbus-x11) gives up only after 3 s.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"

# One field of a report: firstPaintMs, or firstPaintCpuMs, the GUI thread's processor time from the
# process's start to that frame (steadier on a busy machine).
field() {
    python3 -c 'import json,sys; print(json.load(open(sys.argv[1])).get(sys.argv[2], "?"))' "$1" "$2"
}

# Waits (at most 30 s) until the report of the run in $1 holds a first paint.
await_paint() {
    for _ in $(seq 300); do
        if [ -s "$1" ] && [ "$(field "$1" firstPaintMs 2>/dev/null || echo -1)" -ge 0 ]; then
            return 0
        fi
        sleep 0.1
    done
    echo "no first paint reported within 30 s" >&2
    return 1
}

for run in $(seq "$runs"); do
    fresh_display
    report="$work/program-$run.json"
    CORVANE_STALL_REPORT="$report" "$build/src/corvane" 2>/dev/null &
    pid=$!
    await_paint "$report" || { kill "$pid"; exit 1; }
    sleep 3
    memory=$(grep -E 'VmHWM|VmRSS' "/proc/$pid/status" | tr -s ' \t' ' ' | tr '\n' ' ')
    kill "$pid"
    wait "$pid" 2>/dev/null || true

    fresh_display
    idle="$work/idle-$run.json"
    CORVANE_STALL_REPORT="$idle" "$build/bench/bench_idle_window" 2 2>/dev/null
    printf "first paint %s ms, %s ms of processor (idle Qt window %s ms, %s ms); %s\n" \
        "$(field "$report" firstPaintMs)" "$(field "$report" firstPaintCpuMs)" \
        "$(field "$idle" firstPaintMs)" "$(field "$idle" firstPaintCpuMs)" "$memory"
done
python3 - "$work" "$runs" <<'PY'
import json, statistics, sys
work, runs = sys.argv[1], int(sys.argv[2])
def median(kind):
    return statistics.median(json.load(open(f"{work}/{kind}-{i}.json"))["firstPaintMs"] for i in range(1, runs + 1))
program, idle = median("program"), median("idle")
print(f"medians: first paint {program:g} ms, idle Qt window {idle:g} ms, ratio {program / idle:.2f}")
PY
