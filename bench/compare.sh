#!/usr/bin/env bash
# Our XML reader and writer side by side with libplist's (Debian's libplist-dev, a benchmark
# peer only) on the same generated media library, with MB/s and peak resident memory.
#
#   bench/compare.sh [BUILD_DIR] [TRACKS]     defaults: build, 100000 (about 100 MB of XML)
#   environment: RUNS (timed runs per process, best kept; default 5: a shared machine is noisy),
#                ROUNDS (side-by-side rounds; default 3)
#
# Each process reports its best CPU time (user + system) and best wall time. The machine may
# be shared, so compare the ratios within one round, CPU time first.
#
# Targets: our reader >= 3x plist_from_xml, our writer >= 2x plist_to_xml, our reader's peak
# memory under 4x the file size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tracks=${2:-100000}
runs=${RUNS:-5}
rounds=${ROUNDS:-3}

. "$root/bench/peer.sh"
need_peer compare.sh

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target PropertyListBench -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pkg=$(pkg-config --list-all | awk '/^libplist-2|^libplist /{if (!found) print $1; found = 1}')
cc -O2 -o "$work/libplist_driver" "$root/bench/libplist_driver.c" $(pkg-config --cflags --libs "$pkg")

file="$work/library.plist"
"$build/bin/PropertyListBench" --generate "$file" "$tracks"
size=$(stat -c %s "$file")

# Runs a timing command under /usr/bin/time; prints its line and peak RSS, and leaves the CPU
# and wall MB/s in $cpu and $wall.
measure() {
  local out rss_kb
  out=$( { /usr/bin/time -v "$@" 2>"$work/time.txt"; } )
  rss_kb=$(awk -F: '/Maximum resident set size/{gsub(/ /,"",$2); print $2}' "$work/time.txt")
  cpu=$(echo "$out" | sed -n 's/.*CPU [0-9.]* s = \([0-9.]*\) MB\/s.*/\1/p')
  wall=$(echo "$out" | sed -n 's/.*wall [0-9.]* s = \([0-9.]*\) MB\/s.*/\1/p')
  printf '  %s; peak RSS %.1f MB (%.2fx file)\n' "$out" "$(echo "$rss_kb/1024" | bc -l)" \
    "$(echo "$rss_kb*1024/$size" | bc -l)"
}

echo "file: $size bytes, $tracks tracks; $rounds rounds, best of $runs runs per process"
for round in $(seq 1 "$rounds"); do
  echo "round $round"
  for mode in read write; do
    measure "$build/bin/PropertyListBench" "--$mode" "$file" "$runs"
    ours_cpu=$cpu ours_wall=$wall
    measure "$work/libplist_driver" "$mode" "$file" "$runs"
    printf '  => %s: %.2fx libplist by CPU time, %.2fx by wall time\n' "$mode" \
      "$(echo "$ours_cpu/$cpu" | bc -l)" "$(echo "$ours_wall/$wall" | bc -l)"
  done
done
