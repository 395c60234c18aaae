#!/usr/bin/env bash
# Fuzzing campaign: builds every fuzz target with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, then runs each one for SECONDS_PER_TARGET seconds
# (default 300) from its seed corpus in fuzz/corpus/<target>/. An input that crashes, leaks,
# trips a sanitizer, times out or runs out of memory is kept as fuzz/crashes/<target>-<kind>-<hash>,
# where every test build replays it from then on; commit it with the fix. New inputs that grow
# coverage go to build-fuzz/corpus/<target>/, never into the seeds.
#
#   fuzz/run.sh            five minutes per target
#   fuzz/run.sh 45         a short bounded run, as CI does
#
# Exits 0 when no target failed, 1 otherwise (after running them all), 2 for a build problem.
set -euo pipefail

seconds=${1:-300}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
    echo "usage: fuzz/run.sh [SECONDS_PER_TARGET]" >&2
    exit 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-fuzz
targets=(XMLReaderFuzzer BinaryReaderFuzzer OldStyleReaderFuzzer WriteRoundTripFuzzer
    ConvertFuzzer NotationParserFuzz LoadPListFuzzer StorePListFuzzer KeyPathEditFuzzer)

# clang and its sanitizer and libFuzzer runtimes, from Debian when missing.
needs_packages() {
    command -v clang >/dev/null && command -v clang++ >/dev/null || return 0
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - 2>/dev/null && return 1
    return 0
}
if needs_packages; then
    sudo=""
    ((EUID == 0)) || sudo="sudo"
    echo "fuzz/run.sh: installing clang and libclang-rt-14-dev" >&2
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
    -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLISTBRIDGE_FUZZ=ON -DPLISTBRIDGE_SANITIZE=ON -DPLISTBRIDGE_TESTS=OFF \
    -DPLISTBRIDGE_BENCH=OFF "${launcher[@]}" >/dev/null || exit 2
cmake --build "$build" --target "${targets[@]}" || exit 2

mkdir -p "$root/fuzz/crashes"
failed=()
for target in "${targets[@]}"; do
    seeds=$root/fuzz/corpus/$target
    work=$build/corpus/$target
    mkdir -p "$work" "$seeds"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$root/fuzz/crashes/$target-")
    case $target in
    XMLReaderFuzzer) options+=(-dict="$root/fuzz/xml.dict") ;;
    NotationParserFuzz) options+=(-dict="$root/fuzz/notation.dict") ;;
    ConvertFuzzer) options+=(-dict="$root/fuzz/convert.dict") ;;
    esac
    echo "== $target: ${seconds}s"
    # Standard input closed: a file name such as /dev/stdin must not wait for a terminal.
    if ! (cd "$build" && "$build/bin/$target" "${options[@]}" "$work" "$seeds" \
        </dev/null >"$build/$target.log" 2>&1); then
        failed+=("$target")
        tail -n 40 "$build/$target.log" >&2
    fi
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^Done ' "$build/$target.log" || true
done

if ((${#failed[@]})); then
    echo "fuzz/run.sh: failures in ${failed[*]}; inputs kept in fuzz/crashes/" >&2
    exit 1
fi
echo "fuzz/run.sh: ${#targets[@]} targets, ${seconds}s each, nothing found"
