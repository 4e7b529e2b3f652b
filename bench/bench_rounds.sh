#!/usr/bin/env bash
# Units per hour of the production bench: rounds of `zel-bench --headless`
# against N simulated units (healthy, ZEL family) on pseudo-terminals, start-up
# of the bench and of every checker included, and the CPU time and largest
# resident size of the bench with its checks (CPU: the bench and the checks
# it waited for; memory: the largest process, and all of them at their peak). Usage: bench_rounds.sh [ROUNDS]
# (default 3) for 1, 2 and 4 ports; prints one line per port count (median).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-3}"
ZEL_TARGETS="zel-bench zel_checker zel-unit-sim" source "$root/tools/setup.sh" >/dev/null
work="$(mktemp -d)"
trap 'kill $(cat "$work"/*.pid 2>/dev/null) 2>/dev/null || true; rm -rf "$work"' EXIT

for ports in 1 2 4; do
    walls=()
    for ((r = 0; r < rounds; r++)); do
        args=()
        rm -f "$work"/sim*.out
        for ((k = 1; k <= ports; k++)); do
            "$ZEL_BUILD/app/zel-unit-sim" --family ZEL >"$work/sim$k.out" 2>/dev/null &
            echo $! >"$work/sim$k.pid"
        done
        for ((k = 1; k <= ports; k++)); do
            while [ ! -s "$work/sim$k.out" ]; do sleep 0.1; done
            args+=(--port "COM$k=$(head -1 "$work/sim$k.out")" --serial "COM$k=SN-$r-$k")
        done
        /usr/bin/time -f "%e %U %S %M" -o "$work/time" \
            "$ZEL_BUILD/app/zel-bench" --headless --once "${args[@]}" \
            --results "$work/results.sqlite" >"$work/out" 2>&1 &
        timer=$!
        # The bench and its checks together (its child processes), sampled
        # every half second: the most memory they held at once.
        peak=0
        while kill -0 "$timer" 2>/dev/null; do
            sleep 0.5
            bench=$(pgrep -P "$timer" || true)
            [ -n "$bench" ] || continue
            pids=$(echo "$bench" $(pgrep -P "$bench" || true) | tr ' ' ',')
            now=$(ps -o rss= -p "$pids" | awk '{ s += $1 } END { print s + 0 }')
            ((now > peak)) && peak=$now
        done
        wait "$timer" || true
        read -r wall user sys rss < <(tail -1 "$work/time")
        if [ "$(grep -c ' PASS ' "$work/out")" -ne "$ports" ]; then
            echo "  round $r: not every unit passed:" >&2
            cat "$work/out" >&2
        fi
        walls+=("$wall")
        echo "  $ports port(s), round $r: $wall s wall, $user s user + $sys s system CPU," \
            "largest process $((rss / 1024)) MiB, bench and checks together" \
            "$((peak / 1024)) MiB" >&2
        kill $(cat "$work"/sim*.pid) 2>/dev/null || true
        rm -f "$work"/sim*.pid
    done
    median="$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")"
    awk -v p="$ports" -v m="$median" \
        'BEGIN { printf "%d port(s): round %.1f s, %.0f units/h\n", p, m, p * 3600 / m }'
done
echo "load: $(uptime)"
