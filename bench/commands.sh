#!/usr/bin/env bash
# The whole `plistbridge load FILE` and `plistbridge store -` commands, timed as processes side
# by side with a libplist driver doing the same job (reads the file into its tree and writes it
# back as XML; Debian's libplist-dev, a benchmark peer only) and with our own core doing it
# (`plistbridge convert FILE --format xml`: the reader and the writer without the addition), on
# generated media libraries. Each command is shown as a multiple of convert's CPU time.
#
#   bench/commands.sh [BUILD_DIR] [TRACKS...]   defaults: build, 20000 100000 (about 20 and
#                                               100 MB of XML)
#   environment: RUNS (runs of each process, interleaved, median kept; default 5)
#
# `store` is fed the notation that `load` printed for the same file. Before timing, the results
# are checked: the XML that `store` makes from that notation, read by libplist, is the original
# file's value, and our `load` of it prints the same notation again.
#
# Targets (by CPU time, the fair figure on a shared machine; wall time is shown too): load within
# 1.6x convert and >= 3.5x faster than the driver; store within 1.8x convert and >= 3x the driver
# (>= 2.5x on the largest file); peak memory of store <= 6x the file size, of load <= 3x; each
# command's time on the largest file within 5.5x its time on the smallest, scaled by size.
# User and system time are shown apart (the median of each): on a virtual machine a page touched
# for the first time costs a varying amount of system time from run to run, and the command that
# touches the most memory feels it most.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
sizes=("$@")
[ $# -eq 0 ] && sizes=(20000 100000)
runs=${RUNS:-5}

. "$root/bench/peer.sh"
need_peer commands.sh

prepare_bench "$root" "$build"

fail() { echo "CHECK FAILED: $*" >&2; exit 1; }

# Runs a command once with stdout to /dev/null (stdin from $2, or none), timed to the
# microsecond by bench/timed.c; appends "cpu wall rss_kb user system" to file $1.
timed() {
  local into=$1 input=$2
  shift 2
  "$work/timed" "$@" <"$input" >/dev/null 2>"$work/t" || fail "$* exited with $?"
  tail -n 1 "$work/t" |
    awk '{printf "%.4f %.4f %d %.4f %.4f\n", $1 + $2, $3, $4, $1, $2}' >>"$into"
}

# Median of column $2 of file $1.
median() { awk -v c="$2" '{print $c}' "$1" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

declare -A cpu_of
echo "$runs runs of each process, interleaved; medians (CPU = user + system)"
for tracks in "${sizes[@]}"; do
  file=$work/library-$tracks.plist
  "$build/bin/PropertyListBench" --generate "$file" "$tracks" >/dev/null
  size=$(stat -c %s "$file")
  notation=$work/library-$tracks.notation

  # Checks, once, outside the timing.
  "$tool" load "$file" >"$notation" || fail "load $file"
  "$tool" store - <"$notation" >"$work/stored.plist" || fail "store of load's notation"
  "$driver" roundtrip "$file" >"$work/expected.xml" || fail "libplist cannot read $file"
  "$driver" roundtrip "$work/stored.plist" >"$work/got.xml" || fail "libplist cannot read store's XML"
  cmp -s "$work/expected.xml" "$work/got.xml" || fail "store's XML is not the file's value"
  "$tool" load "$work/stored.plist" | cmp -s - "$notation" ||
    fail "store's XML does not load back to the notation"
  rm -f "$work/stored.plist" "$work/expected.xml" "$work/got.xml"

  for name in convert load store driver; do : >"$work/$name.txt"; done
  for _ in $(seq 1 "$runs"); do
    timed "$work/convert.txt" /dev/null "$tool" convert "$file" --format xml
    timed "$work/load.txt" /dev/null "$tool" load "$file"
    timed "$work/store.txt" "$notation" "$tool" store -
    timed "$work/driver.txt" /dev/null "$driver" roundtrip "$file"
  done

  printf '\n%d tracks: file %.1f MB, notation %.1f MB\n' "$tracks" "$(echo "$size/1000000" | bc -l)" \
    "$(echo "$(stat -c %s "$notation")/1000000" | bc -l)"
  d_cpu=$(median "$work/driver.txt" 1)
  d_wall=$(median "$work/driver.txt" 2)
  c_cpu=$(median "$work/convert.txt" 1)
  for name in convert load store driver; do
    c=$(median "$work/$name.txt" 1)
    w=$(median "$work/$name.txt" 2)
    r=$(median "$work/$name.txt" 3)
    cpu_of[$name-$tracks]=$c
    line=$(printf '  %-8s CPU %6.3f s (user %.3f, system %.3f)  wall %6.3f s  peak RSS %7.1f MB (%.2fx file)' \
      "$name" "$c" "$(median "$work/$name.txt" 4)" "$(median "$work/$name.txt" 5)" "$w" \
      "$(echo "$r/1024" | bc -l)" "$(echo "$r*1024/$size" | bc -l)")
    line+=$(printf '  => %.2fx convert' "$(echo "$c/$c_cpu" | bc -l)")
    if [ "$name" != driver ]; then
      line+=$(printf ', %.2fx the driver by CPU, %.2fx by wall' "$(echo "$d_cpu/$c" | bc -l)" \
        "$(echo "$d_wall/$w" | bc -l)")
    fi
    echo "$line"
  done
done

if [ ${#sizes[@]} -ge 2 ]; then
  small=${sizes[0]} large=${sizes[-1]}
  echo
  for name in convert load store driver; do
    printf '%s: %d tracks took %.2fx the CPU time of %d tracks (%.1fx the tracks)\n' "$name" \
      "$large" "$(echo "${cpu_of[$name-$large]}/${cpu_of[$name-$small]}" | bc -l)" "$small" \
      "$(echo "$large/$small" | bc -l)"
  done
fi
