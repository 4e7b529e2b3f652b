#!/usr/bin/env bash
# The checker polling "QB" at 240 ms against the simulated unit over a
# pseudo-terminal, with strace attached to it for a while (default 60 s).
# A tracer slows the checker so that read notifications queued before an
# end-of-frame discard run after it; the port must stay open all the same.
# Prints the checker's summary, how many polls reached the unit, and what
# strace saw of discards, empty reads and closes. Not part of the test suite.
#   bash bench/port_under_tracer.sh [SECONDS]
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if ! command -v strace >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq strace >/dev/null
fi
ZEL_CMAKE_ARGS="-DZEL_BENCH=ON" ZEL_TARGETS="zel-unit-sim poll_on_device" source "$root/tools/setup.sh" >/dev/null
out="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT

"$ZEL_BUILD/app/zel-unit-sim" --trace >"$out/sim.out" 2>"$out/sim.trace" &
for _ in $(seq 50); do [ -s "$out/sim.out" ] && break; sleep 0.1; done
device="$(head -n1 "$out/sim.out")"

"$ZEL_BUILD/bench/poll_on_device" "$device" $((seconds + 4)) 240 >"$out/checker.log" &
checker=$!
sleep 2
strace -f -p "$checker" -o "$out/strace.log" -e trace=read,ioctl,close &
tracer=$!
sleep "$seconds"
kill -INT "$tracer" 2>/dev/null || true
wait "$checker" || true

echo "checker:  $(tail -n +2 "$out/checker.log" | tr '\n' ' ')"
echo "unit:     $(grep -c '<- .*QB' "$out/sim.trace") polls received, $(grep -c -- '-> ' "$out/sim.trace") frames sent"
echo "strace:   $(grep -c 'TCFLSH' "$out/strace.log") input discards, $(grep -cE 'read\([0-9]+, "", [0-9]+\) += 0' "$out/strace.log") empty reads, $(grep -cE '^[0-9]+ +close\(' "$out/strace.log") closes"
echo "files in $out"
