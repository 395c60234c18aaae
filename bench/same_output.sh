#!/usr/bin/env bash
# Byte-for-byte check of two builds' outputs: every file under tests/data (the corpus, golden
# cases and mutated inputs) and examples/ through `convert` to XML, binary and JSON, `lint` and
# `load`, comparing standard output and exit status. For a change meant to be invisible (speed):
#
#   bench/same_output.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR
#
# Prints one line per difference and a count; exits 1 when anything differs.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
before=$1/bin/plistbridge
after=$2/bin/plistbridge
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=0 runs=0 differ=0
while IFS= read -r -d '' file; do
  files=$((files + 1))
  for command in "convert --format xml" "convert --format binary" "convert --format json" \
                 "lint" "load"; do
    runs=$((runs + 1))
    # shellcheck disable=SC2086  # the command's words
    "$before" $command "$file" >"$work/a" 2>/dev/null; a=$?
    # shellcheck disable=SC2086
    "$after" $command "$file" >"$work/b" 2>/dev/null; b=$?
    if [ "$a" != "$b" ] || ! cmp -s "$work/a" "$work/b"; then
      differ=$((differ + 1))
      echo "differs: $command ${file#"$root"/} (exit $a, $b)"
    fi
  done
done < <(find "$root/tests/data" "$root/examples" -type f -size -4M -print0 | sort -z)
echo "$files files, $runs runs: $differ differ"
[ "$differ" -eq 0 ]
