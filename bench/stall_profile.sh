#!/usr/bin/env bash
# What the GUI thread was doing during each stall: one walkthrough (as bench/stalls.sh runs it) under
# `perf record` with DWARF call stacks on the monotonic clock, then, for every stall the program's own
# monitor reported, the functions found most often in the main thread's samples inside it.
#   bench/stall_profile.sh [build folder] [stalls to show]      (needs perf and what tests/e2e/run.sh needs)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
shown=${2:-12}
command -v perf >/dev/null || { echo "perf is missing (linux-perf)" >&2; exit 1; }
# STALL_PROFILE_KEEP=folder keeps the recording and the report there for a closer look.
work=${STALL_PROFILE_KEEP:-$(mktemp -d)}
mkdir -p "$work"
[ -n "${STALL_PROFILE_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

cat >"$work/program" <<EOF
#!/bin/sh
exec perf record -q -k CLOCK_MONOTONIC -F 997 --call-graph dwarf,16384 -o "$work/perf.data" -- "$build/src/corvane" "\$@"
EOF
chmod +x "$work/program"
if ! CORVANE_STALL_REPORT="$work/report.json" "$top/tests/e2e/run.sh" "$work/program" "$build/fakes" \
    >"$work/walkthrough.log" 2>&1; then
    cat "$work/walkthrough.log" >&2
    exit 1
fi
perf script -i "$work/perf.data" -F tid,pid,time,ip,sym,dso 2>/dev/null >"$work/samples.txt"

python3 - "$work/report.json" "$work/samples.txt" "$shown" <<'PY'
import collections, json, re, sys
report = json.load(open(sys.argv[1]))
shown = int(sys.argv[3])
start = report.get("startMonotonicMs")
# Samples of the program's main thread only (the first process perf saw; children it starts are left
# out), as (time in ms since start, frames).
samples, frames, header, program = [], [], None, None
for line in open(sys.argv[2], errors="replace"):
    line = line.rstrip("\n")
    if not line.strip():
        if header and frames:
            samples.append((header, frames))
        header, frames = None, []
        continue
    if not line.startswith("\t"):
        match = re.match(r"\s*(\d+)/(\d+)\s+([\d.]+):", line)
        if match and program is None:
            program = match.group(1)
            if start is None:  # an older program: its first sample is close to its start
                start = float(match.group(3)) * 1000
        mine = match and match.group(1) == program and match.group(2) == program
        header = float(match.group(3)) * 1000 - start if mine else None
        continue
    if header is not None:
        parts = line.split(None, 1)
        frames.append(re.sub(r"\+0x[0-9a-f]+ ", " ", parts[1]) if len(parts) > 1 else "?")
if header and frames:
    samples.append((header, frames))
print(f"{len(samples)} main-thread samples; {len(report['stalls'])} stalls, first paint at {report['firstPaintMs']} ms")
print("(about one sample per millisecond on the processor: a stall with fewer samples than milliseconds waited for it)")
generic = re.compile(r"\b(main|__libc_start\w*|_start|\w*::exec|\w*notify\w*|QCoreApplication::sendEvent|"
                     r"g_main_\w+|QEventDispatcherGlib\w*|postEventSourceDispatch|\[unknown\]|"
                     r"QCoreApplicationPrivate::sendPostedEvents|QCoreApplication::sendPostedEvents)\b")
def top(stacks, rows):
    counts = collections.Counter()
    for stack in stacks:
        counts.update(set(stack))
    listed = 0
    for frame, count in counts.most_common():
        if listed == rows:
            break
        if not generic.search(frame):
            print(f"  {count:4} {frame[:150]}")
            listed += 1
def within(stall):
    return [f for t, f in samples if stall["atMs"] <= t <= stall["atMs"] + stall["ms"]]
after = [s for s in report["stalls"] if not s["beforeFirstPaint"]]
print(f"\nall {len(after)} stalls after the first paint together: {sum(len(within(s)) for s in after)} samples")
top([f for s in after for f in within(s)], 40)
for stall in sorted(report["stalls"], key=lambda s: -s["ms"])[:shown]:
    inside = within(stall)
    print(f"\n{stall['ms']} ms at {stall['atMs']} ms ({stall['during']}): {len(inside)} samples")
    top(inside, 25)
PY
