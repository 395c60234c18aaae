#!/usr/bin/env bash
# One entry point for a fresh Debian machine:
#   ./build.sh example            build, then load the bundled example with the tool
#   ./build.sh test [--sanitize]  build, then run every test (optionally under ASan+UBSan)
#   ./build.sh build [--sanitize] only build
set -euo pipefail
cd "$(dirname "$0")"

need=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev)
install_missing() {
  local missing=()
  for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

mode=${1:-test}
dir=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${2:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DPLISTBRIDGE_SANITIZE=ON -DPLISTBRIDGE_BENCH=OFF)
fi

install_missing
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"

case "$mode" in
  example) "$dir/bin/plistbridge" load examples/Preferences.plist ;;
  test) ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" ;;
  build) ;;
  *) echo "usage: $0 example|test|build [--sanitize]" >&2; exit 2 ;;
esac
