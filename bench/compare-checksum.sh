#!/bin/sh
# Hashes one 1 GiB file with Command::checksum (bench_checksum) and with `openssl sha1` in the same
# run, checks both give the same digest, and prints both throughputs. Builds nothing.
#
# Usage: bench/compare-checksum.sh [BUILD_DIR]    (default: build; needs BUILD_DIR/bench/bench_checksum)
set -eu

build=${1:-build}
bench="$build/bench/bench_checksum"
runs=5
bytes=1073741824

if [ ! -x "$bench" ]; then
    echo "no $bench: build the bench_checksum target first" >&2
    exit 1
fi
command -v openssl >/dev/null || { echo "openssl is not installed" >&2; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/corvane-checksum.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
file="$dir/1GiB.bin"
head -c "$bytes" /dev/urandom >"$file"
cat "$file" >/dev/null # both sides read from the page cache

openssl_digest=$(openssl sha1 -r "$file" | cut -c1-40)
start=$(date +%s.%N)
i=0
while [ "$i" -lt "$runs" ]; do
    openssl sha1 "$file" >/dev/null
    i=$((i + 1))
done
end=$(date +%s.%N)
openssl_rate=$(echo "$start $end" | awk -v b="$bytes" -v n="$runs" '{ printf "%.0f", b * n / ($2 - $1) / 1048576 }')

CORVANE_CHECKSUM_FILE="$file" "$bench" --benchmark_filter=BM_Checksum1GiB --benchmark_format=json >"$dir/bench.json" 2>"$dir/bench.err"
ours_digest=$(sed -n 's/^digest: //p' "$dir/bench.err")
ours_rate=$(sed -n 's/.*"bytes_per_second": \([0-9.e+]*\).*/\1/p' "$dir/bench.json" | head -n 1 \
    | awk '{ printf "%.0f", $1 / 1048576 }')

echo "openssl sha1:       $openssl_rate MiB/s ($runs runs, $openssl_digest)"
echo "Command::checksum:  $ours_rate MiB/s ($runs iterations, $ours_digest)"
echo "$ours_rate $openssl_rate" | awk '{ printf "ratio ours/openssl: %.2f (target >= 0.90)\n", $1 / $2 }'

if [ "$ours_digest" != "$openssl_digest" ]; then
    echo "digests differ" >&2
    exit 1
fi
