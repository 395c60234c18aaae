#!/usr/bin/env bash
# Replacing one value of a property list: `plistbridge replace` side by side with Python's
# plistlib loading the file, changing the value and writing it back in the same format, on the
# generated 20 MB media library, in XML and in binary.
#
#   bench/edit.sh [BUILD_DIR] [TRACKS]   defaults: build, 20000 (about 24 MB of XML)
#   environment: RUNS (runs of each process, interleaved, median kept; default 5)
#
# Before timing, the results are checked: after each tool's edit, plistlib reads the file back
# as the original value with only that one value changed, in the format it had. The tool writes
# atomically (a temporary file, flushed to disk, renamed over the original); plistlib writes
# the file in place and flushes nothing, so the comparison favours plistlib.
#
# Target: the tool at least 5x plistlib by CPU time (the fair figure on a shared machine; wall
# time is shown too), in both formats.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tracks=${2:-20000}
runs=${RUNS:-5}

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLISTBRIDGE_BENCH=ON >/dev/null
fi
cmake --build "$build" --target plistbridge PropertyListBench -j2 >/dev/null
tool=$build/bin/plistbridge

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/timed" "$root/bench/timed.c"

fail() { echo "CHECK FAILED: $*" >&2; exit 1; }

# The plistlib peer: load, change Tracks/<first>/Name, dump in the file's own format.
cat >"$work/peer.py" <<'PY'
import plistlib, sys
path, value = sys.argv[1], sys.argv[2]
with open(path, "rb") as f:
    data = f.read()
fmt = plistlib.FMT_BINARY if data.startswith(b"bplist") else plistlib.FMT_XML
plist = plistlib.loads(data)
plist["Tracks"]["1000"]["Name"] = value
with open(path, "wb") as f:
    plistlib.dump(plist, f, fmt=fmt, sort_keys=False)
PY

# Checks that file $1 is the original $2 with Tracks.1000.Name set to $3, in format $4.
cat >"$work/check.py" <<'PY'
import plistlib, sys
path, original, value, fmt = sys.argv[1:5]
data = open(path, "rb").read()
assert data.startswith(b"bplist") == (fmt == "binary"), "the format changed"
got = plistlib.loads(data)
want = plistlib.load(open(original, "rb"))
want["Tracks"]["1000"]["Name"] = value
assert got == want, "the value differs from the original with the one change"
PY

# Runs a command once with stdout to /dev/null, timed by bench/timed.c; appends
# "cpu wall rss_kb" to file $1.
timed() {
  local into=$1
  shift
  "$work/timed" "$@" </dev/null >/dev/null 2>"$work/t" || fail "$* exited with $?"
  tail -n 1 "$work/t" | awk '{printf "%.4f %.4f %d\n", $1 + $2, $3, $4}' >>"$into"
}

median() { awk -v c="$2" '{print $c}' "$1" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

"$build/bin/PropertyListBench" --generate "$work/library.xml" "$tracks" >/dev/null
"$tool" convert "$work/library.xml" --format binary -o "$work/library.binary"
echo "$runs runs of each process, interleaved; medians (CPU = user + system)"
for format in xml binary; do
  original=$work/library.$format
  ours=$work/ours.$format
  theirs=$work/theirs.$format
  cp "$original" "$ours"
  cp "$original" "$theirs"
  "$tool" replace Tracks.1000.Name -string "Renamed" "$ours" || fail "replace on $format"
  python3 "$work/check.py" "$ours" "$original" "Renamed" "$format" || fail "the tool's $format edit"
  python3 "$work/peer.py" "$theirs" "Renamed" || fail "plistlib on $format"
  python3 "$work/check.py" "$theirs" "$original" "Renamed" "$format" || fail "plistlib's $format edit"

  : >"$work/ours.txt"
  : >"$work/theirs.txt"
  for i in $(seq 1 "$runs"); do
    timed "$work/ours.txt" "$tool" replace Tracks.1000.Name -string "Run $i" "$ours"
    timed "$work/theirs.txt" python3 "$work/peer.py" "$theirs" "Run $i"
  done
  o_cpu=$(median "$work/ours.txt" 1) o_wall=$(median "$work/ours.txt" 2)
  t_cpu=$(median "$work/theirs.txt" 1) t_wall=$(median "$work/theirs.txt" 2)
  printf '\n%s, %.1f MB\n' "$format" "$(echo "$(stat -c %s "$original")/1000000" | bc -l)"
  printf '  plistbridge replace  CPU %6.3f s  wall %6.3f s  peak RSS %6.1f MB\n' "$o_cpu" "$o_wall" \
    "$(echo "$(median "$work/ours.txt" 3)/1024" | bc -l)"
  printf '  python3 plistlib     CPU %6.3f s  wall %6.3f s  peak RSS %6.1f MB\n' "$t_cpu" "$t_wall" \
    "$(echo "$(median "$work/theirs.txt" 3)/1024" | bc -l)"
  printf '  => plistbridge %.1fx plistlib by CPU, %.1fx by wall\n' "$(echo "$t_cpu/$o_cpu" | bc -l)" \
    "$(echo "$t_wall/$o_wall" | bc -l)"
done
