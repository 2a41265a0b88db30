#!/bin/sh
# Downloads a 256 MiB and a 1 GiB file from bench_file_server (its own process on 127.0.0.1) with
# Downloader (bench_download) and with `curl -o`, in the same run and into the same folder, and
# prints both throughputs, their ratio, our peak RSS for each size and our progress reports per
# second. Installs curl with apt-get when it is missing. Builds nothing.
#
# Usage: bench/compare-download.sh [BUILD_DIR]    (default: build; needs bench_download and bench_file_server)
set -eu

build=${1:-build}
bench="$build/bench/bench_download"
server="$build/bench/bench_file_server"
runs=7

for program in "$bench" "$server"; do
    if [ ! -x "$program" ]; then
        echo "no $program: build the bench_download and bench_file_server targets first" >&2
        exit 1
    fi
done
if ! command -v curl >/dev/null; then
    sudo=
    if [ "$(id -u)" -ne 0 ]; then
        sudo=sudo
    fi
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends curl
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/corvane-download.XXXXXX")
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM
mkdir "$dir/served" "$dir/out"
head -c 1073741824 /dev/urandom >"$dir/served/1GiB.bin"
head -c 268435456 "$dir/served/1GiB.bin" >"$dir/served/256MiB.bin"
cat "$dir/served/1GiB.bin" >/dev/null # the server sends from the page cache

"$server" "$dir/served" >"$dir/server.out" &
server_pid=$!
waited=0
until grep -qs '^port ' "$dir/server.out"; do
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -gt 50 ]; then
        echo "bench_file_server did not start" >&2
        exit 1
    fi
done
port=$(sed -n 's/^port //p' "$dir/server.out")

# Prints the value of one counter from Google Benchmark's JSON output.
counter() {
    sed -n "s/.*\"$1\": \([0-9.e+-]*\).*/\1/p" "$2" | head -n 1
}

status=0
for name in 256MiB 1GiB; do
    bytes=$(stat -c %s "$dir/served/$name.bin")
    url="http://127.0.0.1:$port/$name.bin"
    curl_seconds=0
    ours_seconds=0
    rss=0
    reports=0
    per_download=0

    # Interleaved, each transfer after a sync, so neither side pays for the other's writeback.
    i=0
    while [ "$i" -lt "$runs" ]; do
        rm -f "$dir/out/curl.bin"
        sync
        start=$(date +%s.%N)
        curl -sS --fail -o "$dir/out/curl.bin" "$url"
        end=$(date +%s.%N)
        if [ "$(stat -c %s "$dir/out/curl.bin")" != "$bytes" ]; then
            echo "curl fetched the wrong size" >&2
            exit 1
        fi
        curl_seconds=$(echo "$curl_seconds $start $end" | awk '{ printf "%.6f", $1 + $3 - $2 }')
        rm -f "$dir/out/curl.bin"

        CORVANE_DOWNLOAD_ITERATIONS=1 TMPDIR="$dir/out" CORVANE_DOWNLOAD_URL="$url" CORVANE_DOWNLOAD_SIZE="$bytes" \
            "$bench" --benchmark_format=json >"$dir/bench.json" 2>"$dir/bench.err" || {
            cat "$dir/bench.err" >&2
            exit 1
        }
        if grep -q '"error_occurred": true' "$dir/bench.json"; then
            grep '"error_message"' "$dir/bench.json" >&2
            exit 1
        fi
        ours_seconds=$(counter bytes_per_second "$dir/bench.json" | awk -v s="$ours_seconds" -v b="$bytes" '{ printf "%.6f", s + b / $1 }')
        rss=$(counter peak_rss_KiB "$dir/bench.json" | awk -v m="$rss" '{ printf "%.0f", ($1 > m) ? $1 : m }')
        reports=$(counter progress_reports_per_s "$dir/bench.json" | awk -v t="$reports" '{ printf "%.3f", t + $1 }')
        per_download=$(counter progress_reports_per_download "$dir/bench.json" | awk -v t="$per_download" '{ printf "%.3f", t + $1 }')
        i=$((i + 1))
    done

    curl_rate=$(echo "$curl_seconds" | awk -v b="$bytes" -v n="$runs" '{ printf "%.0f", b * n / $1 / 1048576 }')
    ours_rate=$(echo "$ours_seconds" | awk -v b="$bytes" -v n="$runs" '{ printf "%.0f", b * n / $1 / 1048576 }')
    ratio=$(echo "$ours_rate $curl_rate" | awk '{ printf "%.2f", $1 / $2 }')
    echo "$name: curl -o $curl_rate MiB/s, Downloader $ours_rate MiB/s, ratio $ratio (target >= 0.80; $runs runs each)"
    echo "$name: Downloader peak RSS $(echo "$rss" | awk '{ printf "%.1f", $1 / 1024 }') MiB (highest of $runs processes)," \
        "$(echo "$reports" | awk -v n="$runs" '{ printf "%.1f", $1 / n }') progress reports/s" \
        "($(echo "$per_download" | awk -v n="$runs" '{ printf "%.1f", $1 / n }') per download)"
    if awk -v r="$ratio" 'BEGIN { exit !(r < 0.80) }'; then
        status=1
    fi
done
exit "$status"
