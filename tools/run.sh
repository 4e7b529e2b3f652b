#!/usr/bin/env bash
# Sets up, builds and starts the checker wired to a simulated ZEL-03 unit.
# Extra arguments go to zel_checker (e.g. --simulate=RAV).
set -euo pipefail
ZEL_TARGETS="zel_checker zel-unit-sim"
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

args=("$@")
[ ${#args[@]} -gt 0 ] || args=(--simulate)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    shot="$ZEL_BUILD/zel_checker-demo.png"
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the demo offscreen instead."
    QT_QPA_PLATFORM=offscreen "$ZEL_BUILD/app/zel_checker" "${args[@]}" --screenshot "$shot"
    echo "Screenshot of the running checker: $shot"
else
    exec "$ZEL_BUILD/app/zel_checker" "${args[@]}"
fi
