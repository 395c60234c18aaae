# Sourced by the comparison scripts: installs the benchmark peer (Debian's libplist-dev, never
# a product dependency) and checks for /usr/bin/time, which measures peak memory.
#   need_peer SCRIPT_NAME
need_peer() {
  if ! dpkg -s libplist-dev >/dev/null 2>&1; then
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libplist-dev pkg-config
  fi
  [ -x /usr/bin/time ] || { echo "$1 needs /usr/bin/time (package: time)" >&2; exit 1; }
}

# Builds the tool, the addition and the library generator in BUILD (configured first when it is
# not), and the libplist driver and bench/timed.c into a work folder removed on exit. Sets tool,
# work, driver; timed is $work/timed.
#   prepare_bench ROOT BUILD
prepare_bench() {
  local root=$1 build=$2
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" --target plistbridge PlistBridge PropertyListBench -j2 >/dev/null
  tool=$build/bin/plistbridge
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  local pkg
  pkg=$(pkg-config --list-all | awk '/^libplist-2|^libplist /{if (!found) print $1; found = 1}')
  driver=$work/libplist_driver
  cc -O2 -o "$driver" "$root/bench/libplist_driver.c" $(pkg-config --cflags --libs "$pkg")
  cc -O2 -o "$work/timed" "$root/bench/timed.c"
}
