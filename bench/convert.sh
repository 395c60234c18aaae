#!/usr/bin/env bash
# plistbridge convert side by side with libplist (Debian's libplist-dev, a benchmark peer only)
# converting the same generated media library from XML to XML and from XML to binary.
#
#   bench/convert.sh [BUILD_DIR] [TRACKS]     defaults: build, 16000 (about 20 MB of XML)
#   environment: RUNS (timed runs, best kept; default 5), ROUNDS (side-by-side rounds; default 3)
#
# Both sides are whole processes timed from outside, each run a fresh process: ours is the
# command itself (reading the file, parsing, writing to standard output, or with -o the
# atomic, flushed file write, which waits for the disk); libplist's is bench/libplist_driver.c
# convert-xml|convert-binary (reading the file, plist_from_xml, plist_to_xml or plist_to_bin
# into memory, freeing). The ratio compares the standard-output run, which does the same work;
# the -o run is shown beside it. CPU time (user + system) first: the machine may be shared.
#
# Target: each conversion >= 2x libplist's speed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tracks=${2:-16000}
runs=${RUNS:-5}
rounds=${ROUNDS:-3}

. "$root/bench/peer.sh"
need_peer convert.sh

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target PropertyListBench plistbridge -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pkg=$(pkg-config --list-all | awk '/^libplist-2|^libplist /{if (!found) print $1; found = 1}')
cc -O2 -o "$work/libplist_driver" "$root/bench/libplist_driver.c" $(pkg-config --cflags --libs "$pkg")
cc -O2 -o "$work/timed" "$root/bench/timed.c"

file="$work/library.plist"
"$build/bin/PropertyListBench" --generate "$file" "$tracks" >/dev/null
size=$(stat -c %s "$file")
mb=$(echo "$size/1000000" | bc -l)

# Runs a command `runs` times, timed by bench/timed.c; prints LABEL with the best CPU time
# (user + system) and the best wall time, and leaves the MB/s in $cpu and $wall.
timed() {
  local label=$1 times="" best
  shift
  for _ in $(seq 1 "$runs"); do
    times+=$( { "$work/timed" "$@" >/dev/null; } 2>&1 | tail -1 )$'\n'
  done
  # Never 0, so that the rates stay finite.
  best=$(echo "$times" | awk -v mb="$mb" 'NF == 4 {
      c = $1 + $2; if (n++ == 0 || c < bc) bc = c; if (n == 1 || $3 < bw) bw = $3 }
    END { if (bc < 0.001) bc = 0.001; if (bw < 0.001) bw = 0.001;
          printf "%.3f %.1f %.3f %.1f", bc, mb / bc, bw, mb / bw }')
  read -r best_cpu cpu best_wall wall <<<"$best"
  printf '  %-46s CPU %s s = %6s MB/s, wall %s s = %6s MB/s\n' "$label:" "$best_cpu" "$cpu" \
    "$best_wall" "$wall"
}

echo "file: $size bytes, $tracks tracks; $rounds rounds, best of $runs runs"
for round in $(seq 1 "$rounds"); do
  echo "round $round"
  for format in xml binary; do
    timed "plistbridge convert --format $format >out" \
      "$build/bin/plistbridge" convert "$file" --format "$format"
    ours_cpu=$cpu ours_wall=$wall
    timed "plistbridge convert --format $format -o out" \
      "$build/bin/plistbridge" convert "$file" -o "$work/out.$format" --format "$format"
    file_cpu=$cpu file_wall=$wall
    timed "libplist (plist_from_xml, plist_to_$( [ "$format" = xml ] && echo xml || echo bin ))" \
      "$work/libplist_driver" "convert-$format" "$file" 1
    printf '  => XML to %s: %.2fx libplist by CPU time, %.2fx by wall time (to a file: %.2fx, %.2fx)\n' \
      "$format" "$(echo "$ours_cpu/$cpu" | bc -l)" "$(echo "$ours_wall/$wall" | bc -l)" \
      "$(echo "$file_cpu/$cpu" | bc -l)" "$(echo "$file_wall/$wall" | bc -l)"
  done
done
# Our binary must read back through libplist as the same value: libplist turns it into XML,
# which we read and write again.
"$work/libplist_driver" binary-to-xml "$work/out.binary" "$work/libplist.xml"
"$build/bin/plistbridge" convert "$work/libplist.xml" -o "$work/back.xml"
if cmp -s "$work/back.xml" "$work/out.xml"; then
  echo "libplist reads our binary as the same value"
else
  echo "libplist reads our binary differently" >&2
  exit 1
fi

# The same on the examples and on every corpus file we read.
checked=0 differ=0
for f in "$root"/examples/* "$root"/tests/data/corpus/files/*; do
  "$build/bin/plistbridge" convert "$f" -o "$work/one.xml" 2>/dev/null || continue
  "$build/bin/plistbridge" convert "$f" -o "$work/one.bplist" --format binary
  if "$work/libplist_driver" binary-to-xml "$work/one.bplist" "$work/one.libplist.xml" &&
     "$build/bin/plistbridge" convert "$work/one.libplist.xml" -o "$work/one.back.xml" &&
     cmp -s "$work/one.back.xml" "$work/one.xml"; then
    checked=$((checked + 1))
  else
    differ=$((differ + 1))
    echo "  libplist reads our binary of $(basename "$f") differently" >&2
  fi
done
echo "libplist reads our binary of $checked example and corpus files as the same value; $differ differ"
