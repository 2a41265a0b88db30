#!/usr/bin/env bash
# Time from process start to the main window being mapped on an X display, and the process's memory
# once idle (one Android device, nothing running). Runs under Xvfb with a throw-away home.
#   bench/startup.sh [build folder]      (needs xvfb, xauth, x11-utils, bc)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/once.sh" <<SCRIPT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
start=\$(date +%s.%N)
"$build/src/corvane" 2>/dev/null &
pid=\$!
until xwininfo -name "Corvane Beta" 2>/dev/null | grep -q IsViewable; do sleep 0.01; done
end=\$(date +%s.%N)
sleep 3
printf 'window shown after %.0f ms; ' "\$(echo "(\$end - \$start) * 1000" | bc)"
grep -E 'VmHWM|VmRSS' /proc/\$pid/status | tr -s ' \t' ' ' | tr '\n' ' '
echo
kill \$pid
wait \$pid 2>/dev/null || true
SCRIPT
for _ in 1 2 3; do
    xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/once.sh"
done
