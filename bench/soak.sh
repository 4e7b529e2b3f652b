#!/usr/bin/env bash
# Soak run: the checker window (offscreen, real serial port) against
# zel-unit-sim on a pseudo-terminal paced at 9600 baud, polling every 240 ms in
# bit scan, record scan and "QA" mode in turn, with a share of the unit's
# frames damaged. Samples RSS and CPU of both programs every minute, then
# accounts for every frame the unit sent (bench/soak_report.py).
#
#   bench/soak.sh [minutes]            (default 30; 2 checks the script quickly)
#
# Environment: ZEL_BUILD (build folder, default ./build), DAMAGE (percent of
# frames damaged, default 3), SEED (default 1), PAUSE_MS (each pause inside a
# damaged frame, default 40), SWITCH_SECONDS (time per polling mode, default
# 120), OUT (folder for the logs, default /tmp/zel-soak-<time>).
# Needs the targets zel-unit-sim and soak_checker (soak_checker is one of the
# benchmark programs: configure with -DZEL_BENCH=ON). Not part of CI.
set -euo pipefail

minutes="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZEL_BUILD:-$root/build}"
damage="${DAMAGE:-3}"
seed="${SEED:-1}"
pause_ms="${PAUSE_MS:-40}"
switch_seconds="${SWITCH_SECONDS:-120}"
out="${OUT:-/tmp/zel-soak-$(date +%Y%m%d-%H%M%S)}"
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen

sim_pid=""
checker_pid=""
cleanup() {
    [ -n "$checker_pid" ] && kill "$checker_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
}
trap cleanup EXIT

echo "soak: $minutes min, damage $damage %, seed $seed, pause $pause_ms ms, mode every" \
    "$switch_seconds s; logs in $out"
"$build/app/zel-unit-sim" --family ZEL --damage "$damage" --seed "$seed" --pause-ms "$pause_ms" \
    --frame-log "$out/frames.log" >"$out/sim.out" 2>"$out/sim.err" &
sim_pid=$!
device=""
for _ in $(seq 50); do
    device="$(head -n1 "$out/sim.out" 2>/dev/null || true)"
    [ -n "$device" ] && break
    sleep 0.1
done
[ -n "$device" ] || { echo "soak: the unit did not start" >&2; cat "$out/sim.err" >&2; exit 1; }

# The script ends the run itself after the last sample; the margin only
# guards against a script that dies.
"$build/bench/soak_checker" --device "$device" --seconds $((minutes * 60 + 120)) \
    --switch-seconds "$switch_seconds" --log "$out/checker.log" >"$out/checker.out" 2>&1 &
checker_pid=$!

tck="$(getconf CLK_TCK)"
# CPU ticks (user + system) and RSS in KiB of a process; the name in
# /proc/PID/stat is in parentheses and holds no space here.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# Percent of one core over a minute from two tick counts.
pct() { awk -v a="$1" -v b="$2" -v t="$tck" 'BEGIN { printf "%.2f", 100 * (a - b) / t / 60 }'; }

printf 'minute\tchecker_rss_kib\tchecker_cpu_pct\tunit_rss_kib\tunit_cpu_pct\n' >"$out/samples.tsv"
c0="$(ticks "$checker_pid")"
u0="$(ticks "$sim_pid")"
start="$(date +%s)"
for m in $(seq "$minutes"); do
    # Sleep to the minute mark measured from the start, so the samples do not drift.
    left=$((start + 60 * m - $(date +%s)))
    [ "$left" -gt 0 ] && sleep "$left"
    kill -0 "$checker_pid" 2>/dev/null || { echo "soak: the checker ended early" >&2; break; }
    kill -0 "$sim_pid" 2>/dev/null || { echo "soak: the unit ended early" >&2; break; }
    c1="$(ticks "$checker_pid")"
    u1="$(ticks "$sim_pid")"
    printf '%d\t%d\t%s\t%d\t%s\n' "$m" "$(rss "$checker_pid")" "$(pct "$c1" "$c0")" \
        "$(rss "$sim_pid")" "$(pct "$u1" "$u0")" | tee -a "$out/samples.tsv"
    c0="$c1"
    u0="$u1"
done

kill -TERM "$checker_pid" 2>/dev/null || true
wait "$checker_pid" || true
checker_pid=""
# Let the unit finish a frame it may still be sending, then end it.
sleep 1
kill -TERM "$sim_pid" 2>/dev/null || true
wait "$sim_pid" || true
sim_pid=""

python3 "$root/bench/soak_report.py" "$out" | tee "$out/report.txt"
