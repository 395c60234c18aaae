#!/usr/bin/env bash
# Small files, binary reading and binary writing, each side by side with what it is measured
# against, as whole processes in one run:
#   small file   plistbridge convert examples/Info.plist --format xml  vs  plistutil -i … -f xml
#                (also lint, and `plistbridge --version`: start-up alone)
#   binary read  plistbridge lint F.bplist  vs  libplist reading F.bplist (plist_from_bin) as a
#                process; and in-process, our binary reader vs our XML reader on the same content
#   binary write plistbridge convert F.bplist --format binary  vs  … --format xml
# F is the generated media library (about 20 MB of XML, 7 MB as binary).
#
#   bench/sidebyside.sh [BUILD_DIR] [TRACKS]   defaults: build, 16000
#   environment: RUNS (interleaved runs of each process, median kept; default 300 for the
#                small file, a tenth of it, at least 9, for the library)
#
# Each figure is the median CPU time (user + system, from wait4: bench/timed.c) of interleaved
# runs, so that a busy moment of a shared machine hits every command alike. Targets: small file
# <= 1.0x plistutil; lint >= 4x faster than libplist; in-process binary read >= 1.6x faster than
# the XML read; binary write <= 1.0x the XML write.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tracks=${2:-16000}
runs=${RUNS:-300}
big_runs=$(( runs / 10 > 9 ? runs / 10 : 9 ))

. "$root/bench/peer.sh"
need_peer sidebyside.sh
if ! command -v plistutil >/dev/null; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libplist-utils >/dev/null
fi
prepare_bench "$root" "$build"

# interleave N LABEL=COMMAND…: runs every command once per round, N rounds, output discarded;
# leaves each label's median CPU time in microseconds in med[LABEL].
declare -A med
interleave() {
  local n=$1 spec
  shift
  for spec in "$@"; do : >"$work/${spec%%=*}.t"; done
  for _ in $(seq 1 "$n"); do
    for spec in "$@"; do
      # shellcheck disable=SC2086  # the command's words
      "$work/timed" ${spec#*=} >/dev/null 2>"$work/err" </dev/null ||
        { echo "failed: ${spec#*=}" >&2; cat "$work/err" >&2; exit 1; }
      tail -n 1 "$work/err" | awk '{printf "%.1f\n", ($1 + $2) * 1e6}' >>"$work/${spec%%=*}.t"
    done
  done
  for spec in "$@"; do
    med[${spec%%=*}]=$(sort -g "$work/${spec%%=*}.t" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
  done
}
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
small=$root/examples/Info.plist
echo
echo "Small file ($(stat -c %s "$small") bytes), $runs interleaved runs, median CPU (user + system):"
interleave "$runs" "convert=$tool convert $small --format xml" "plistutil=plistutil -i $small -f xml" \
  "lint=$tool lint $small" "version=$tool --version"
printf '  plistbridge convert --format xml  %8.0f us  = %sx plistutil (target <= 1.00)\n' \
  "${med[convert]}" "$(ratio "${med[convert]}" "${med[plistutil]}")"
printf '  plistutil -i … -f xml              %8.0f us\n' "${med[plistutil]}"
printf '  plistbridge lint                   %8.0f us  = %sx plistutil\n' "${med[lint]}" \
  "$(ratio "${med[lint]}" "${med[plistutil]}")"
printf '  plistbridge --version (start-up)   %8.0f us\n' "${med[version]}"

xml=$work/library.plist bin=$work/library.bplist
"$build/bin/PropertyListBench" --generate "$xml" "$tracks" >/dev/null
"$tool" convert "$xml" --format binary -o "$bin"
# The binary file must read back as the XML's value, through us and through libplist.
"$tool" convert "$bin" --format xml | cmp -s - <("$tool" convert "$xml" --format xml) ||
  { echo "CHECK FAILED: the binary library does not read back as the XML one" >&2; exit 1; }
"$driver" binary-to-xml "$bin" "$work/libplist.xml" ||
  { echo "CHECK FAILED: libplist cannot read the binary library" >&2; exit 1; }

echo
echo "Media library, $tracks tracks: XML $(stat -c %s "$xml") bytes, binary $(stat -c %s "$bin") bytes;" \
  "$big_runs interleaved runs, median CPU:"
interleave "$big_runs" "lint=$tool lint $bin" "libplist=$driver read-binary $bin 1" \
  "tobinary=$tool convert $bin --format binary" "toxml=$tool convert $bin --format xml"
printf '  plistbridge lint F.bplist           %8.1f ms  = %sx faster than libplist (target >= 4)\n' \
  "$(ratio "${med[lint]}" 1000)" "$(ratio "${med[libplist]}" "${med[lint]}")"
printf '  libplist plist_from_bin (process)   %8.1f ms\n' "$(ratio "${med[libplist]}" 1000)"
printf '  convert F.bplist --format binary    %8.1f ms  = %sx the XML write (target <= 1.00)\n' \
  "$(ratio "${med[tobinary]}" 1000)" "$(ratio "${med[tobinary]}" "${med[toxml]}")"
printf '  convert F.bplist --format xml       %8.1f ms\n' "$(ratio "${med[toxml]}" 1000)"

echo
echo "In-process readers on the same content (best CPU of 9 reads each, 3 rounds):"
for round in 1 2 3; do
  x=$("$build/bin/PropertyListBench" --read "$xml" 9 | sed -n 's/.*CPU \([0-9.]*\) s.*/\1/p')
  b=$("$build/bin/PropertyListBench" --read "$bin" 9 | sed -n 's/.*CPU \([0-9.]*\) s.*/\1/p')
  l=$("$driver" read-binary "$bin" 9 | sed -n 's/.*CPU \([0-9.]*\) s.*/\1/p')
  printf '  round %d: XML %.1f ms, binary %.1f ms = %sx faster (target >= 1.6); libplist binary %.1f ms\n' \
    "$round" "$(ratio "$x" 0.001)" "$(ratio "$b" 0.001)" "$(ratio "$x" "$b")" "$(ratio "$l" 0.001)"
done
