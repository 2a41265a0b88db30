#!/usr/bin/env bash
# GUI-thread stalls of the real program as a user drives it (the end-to-end walkthrough: every tab,
# the Android installation, start, stop, snapshot, rollback, quit; animations on), beside a plain Qt
# window with 40 Chinese labels measured by the same monitor in the same run. Prints the medians.
#   bench/stalls.sh [build folder] [runs]      (needs what tests/e2e/run.sh needs)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
    if ! CORVANE_STALL_REPORT="$work/program-$run.json" \
        "$top/tests/e2e/run.sh" "$build/src/corvane" "$build/fakes" >"$work/walkthrough-$run.log" 2>&1; then
        cat "$work/walkthrough-$run.log" >&2
        exit 1
    fi
    CORVANE_STALL_REPORT="$work/idle-$run.json" xvfb-run -a "$build/bench/bench_idle_window" 3 2>/dev/null
done

echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$work" "$runs" <<'PY'
import json, statistics, sys
work, runs = sys.argv[1], int(sys.argv[2])
def load(kind):
    return [json.load(open(f"{work}/{kind}-{i}.json")) for i in range(1, runs + 1)]
program, idle = load("program"), load("idle")
def median(reports, key):
    # A program from before the monitor recorded processor time has no such figure.
    return statistics.median(r.get(key, float("nan")) for r in reports)
print(f"runs: {runs}")
print("| measure | program | idle Qt window |")
print("|---|---|---|")
for key, name in (("longestStallMs", "longest GUI-thread stall (ms)"),
                  ("longestStallCpuMs", "most processor time the GUI thread used in one stall (ms)"),
                  ("stallsOver16msAfterFirstPaint", "stalls over 16 ms after the first paint"),
                  ("firstPaintMs", "first painted frame (ms after start)")):
    print(f"| {name} | {median(program, key):g} | {median(idle, key):g} |")
def longest_after(report):
    return max((s["ms"] for s in report["stalls"] if not s["beforeFirstPaint"]), default=0)
print(f"| longest GUI-thread stall after the first paint (ms) | "
      f"{statistics.median(longest_after(r) for r in program):g} | {statistics.median(longest_after(r) for r in idle):g} |")
def busy(report):
    return sum(1 for s in report["stalls"] if not s["beforeFirstPaint"] and s.get("cpuMs", s["ms"]) > 16)
print(f"| stalls after the first paint with over 16 ms on the processor | "
      f"{statistics.median(busy(r) for r in program):g} | {statistics.median(busy(r) for r in idle):g} |")
print(f"first paint, program / idle window: {median(program, 'firstPaintMs') / median(idle, 'firstPaintMs'):.2f}")
print("stalls over 16 ms (all runs), longest first:")
stalls = sorted((s for r in program for s in r["stalls"]), key=lambda s: -s["ms"])
for stall in stalls[:15]:
    where = "before first paint" if stall["beforeFirstPaint"] else f"at {stall['atMs']} ms"
    print(f"  {stall['ms']:4} ms ({stall.get('cpuMs', '?')} ms on the processor) {where}: {stall['during']}")
PY
