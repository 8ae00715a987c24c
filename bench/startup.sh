#!/usr/bin/env bash
# Start-up of the window on the offscreen platform: time from the program's first line to the
# main view's first finished paint, and peak memory, over RUNS starts (default 10).
#   bench/startup.sh [path/to/corvella] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${1:-build/release/bin/corvella}"
runs="${2:-10}"
export QT_QPA_PLATFORM=offscreen
export QT_QPA_FONTDIR="${QT_QPA_FONTDIR:-/usr/share/fonts/truetype/dejavu}"
times=()
peak=0
for _ in $(seq "$runs"); do
  line=$("$bin" --ports /dev/null/none --measure-startup)
  ms=$(sed -E 's/.*after ([0-9.]+) ms.*/\1/' <<<"$line")
  mib=$(sed -E 's/.*memory ([0-9.]+) MiB.*/\1/' <<<"$line")
  times+=("$ms")
  peak=$(awk -v a="$peak" -v b="$mib" 'BEGIN { print (b > a) ? b : a }')
done
sorted=$(printf '%s\n' "${times[@]}" | sort -g)
median=$(awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }' <<<"$sorted")
worst=$(tail -n1 <<<"$sorted")
echo "start-up to first paint: median ${median} ms, worst ${worst} ms over ${runs} runs (goal < 400 ms)"
echo "peak memory: ${peak} MiB (goal < 80 MB)"
