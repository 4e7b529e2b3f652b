#!/usr/bin/env bash
# Fuzzes one target until it has used the given CPU time (default 600 s), then
# interrupts it so that libFuzzer prints its final figures, and prints the
# executions, the coverage (cov: edges, ft: features) and the findings.
# Needs the targets built by fuzz/run.sh.
#
#   bash fuzz/long_run.sh TARGET [CPU_SECONDS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZEL_FUZZ_BUILD:-$root/build-fuzz}"
target="$1"
cpu_limit="${2:-600}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

work="$build/long-corpus/$target"
findings="$build/findings/long-$target"
log="$build/findings/long-$target.log"
mkdir -p "$work" "$findings"
start=$(date +%s)
"$build/fuzz/fuzz_$target" -max_len=13000 -timeout=10 -rss_limit_mb=4096 \
    "-dict=$root/fuzz/zel.dict" "-artifact_prefix=$findings/" -print_final_stats=1 \
    "$work" "$root/fuzz/corpus/$target" 2>"$log" &
pid=$!
ticks=$(getconf CLK_TCK)
used=0
while kill -0 "$pid" 2>/dev/null; do
    sleep 5
    # Fields 14 and 15 of /proc/PID/stat: user and system time in clock ticks.
    used=$(awk -v t="$ticks" '{ print int(($14 + $15) / t) }' "/proc/$pid/stat" 2>/dev/null || echo "$used")
    if ((used >= cpu_limit)); then
        kill -INT "$pid"
        break
    fi
done
wait "$pid" || true
wall=$(($(date +%s) - start))
last=$(grep -E "cov: [0-9]+" "$log" | tail -1)
execs=$(grep -E "^stat::number_of_executed_units" "$log" | awk '{ print $2 }')
found=$(find "$findings" -type f | wc -l)
echo "$target: cpu ${used} s, wall ${wall} s, executions ${execs:-?}," \
    "$(grep -oE "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9a-zA-Z]+" <<<"$last"), findings $found"
