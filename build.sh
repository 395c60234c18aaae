#!/usr/bin/env bash
# One entry point for a fresh Debian machine:
#   ./build.sh example            build the tool and the bundle, then load the bundled example
#   ./build.sh test [--sanitize]  build everything, then run every test (optionally under
#                                 ASan+UBSan)
#   ./build.sh build [--sanitize] only build everything
# Quiet unless something fails: the build's output is shown only for a failed build.
set -euo pipefail
cd "$(dirname "$0")"

usage() {
  echo "usage: $0 example | test [--sanitize] | build [--sanitize]"
}

# Arguments are checked before anything is installed or built.
mode=${1:-test}
sanitize=${2:-}
case "$mode" in
  -h | --help)
    usage
    exit 0
    ;;
  example) [ $# -le 1 ] || { usage >&2 && exit 2; } ;;
  test | build)
    if [ $# -gt 2 ] || { [ $# -eq 2 ] && [ "$sanitize" != --sanitize ]; }; then
      usage >&2
      exit 2
    fi
    ;;
  *)
    usage >&2
    exit 2
    ;;
esac

dir=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
need=(cmake ninja-build g++)
if [ "$mode" = example ]; then
  # The example needs neither the tests nor the benchmarks, nor their packages.
  flags+=(-DPLISTBRIDGE_TESTS=OFF -DPLISTBRIDGE_BENCH=OFF)
  targets=(--target plistbridge)
else
  need+=(libgtest-dev libgmock-dev libbenchmark-dev)
  flags+=(-DPLISTBRIDGE_TESTS=ON -DPLISTBRIDGE_BENCH=ON)
  targets=()
  if [ "$sanitize" = "--sanitize" ]; then
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DPLISTBRIDGE_SANITIZE=ON -DPLISTBRIDGE_TESTS=ON
      -DPLISTBRIDGE_BENCH=OFF)
  fi
fi

# Runs a command with its output kept aside; shows the output only when it fails.
quietly() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

install_missing() {
  local missing=()
  for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "installing ${missing[*]}" >&2
  quietly "${sudo[@]}" apt-get update -qq
  quietly "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

install_missing
jobs=$(nproc)
quietly cmake -S . -B "$dir" -G Ninja "${flags[@]}"
quietly cmake --build "$dir" -j "$jobs" "${targets[@]}"

case "$mode" in
  example) "$dir/bin/plistbridge" load examples/Preferences.plist ;;
  test) ctest --test-dir "$dir" --output-on-failure -j "$jobs" ;;
  build) ;;
esac
