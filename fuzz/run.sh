#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into ./build-fuzz, replays each target's corpus
# (fuzz/corpus/<target>) and then fuzzes each target for a bounded time. A
# crash, a sanitizer finding or a failed check fails the script; the input
# that caused it is left in build-fuzz/findings/.
#
#   ZEL_FUZZ_SECONDS   fuzzing time per target after the replay (default 20; 0 replays only)
#   ZEL_FUZZ_TARGETS   targets to run (default: all)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZEL_FUZZ_BUILD:-$root/build-fuzz}"
seconds="${ZEL_FUZZ_SECONDS:-20}"
targets=(${ZEL_FUZZ_TARGETS:-frame_receiver scan_parse replies unit_record dispatch unit_commands})

export CC=clang CXX=clang++
ZEL_BUILD="$build" ZEL_EXTRA_PACKAGES="clang libclang-rt-14-dev" \
    ZEL_CMAKE_ARGS="-DZEL_FUZZ=ON -DZEL_SANITIZE=address,undefined" \
    ZEL_TARGETS="zel_fuzzers" bash "$root/tools/setup.sh"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

mkdir -p "$build/findings"
for t in "${targets[@]}"; do
    fuzzer="$build/fuzz/fuzz_$t"
    seeds="$root/fuzz/corpus/$t"
    common=(-max_len=13000 -timeout=10 -rss_limit_mb=4096 "-dict=$root/fuzz/zel.dict"
        "-artifact_prefix=$build/findings/$t-")
    echo "== $t: replaying $(find "$seeds" -type f | wc -l) inputs"
    "$fuzzer" "${common[@]}" -runs=0 "$seeds" 2>"$build/findings/$t-replay.log" ||
        { tail -40 "$build/findings/$t-replay.log"; exit 1; }
    if ((seconds > 0)); then
        # New inputs go to a scratch corpus; the committed one stays as it is.
        work="$build/fuzz-corpus/$t"
        mkdir -p "$work"
        "$fuzzer" "${common[@]}" -max_total_time="$seconds" -print_final_stats=1 \
            "$work" "$seeds" 2>"$build/findings/$t-fuzz.log" ||
            { tail -60 "$build/findings/$t-fuzz.log"; exit 1; }
        echo "   $(grep -E "cov: [0-9]+" "$build/findings/$t-fuzz.log" | tail -1)"
    fi
done
echo "fuzz: all targets clean"
