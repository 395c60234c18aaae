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
