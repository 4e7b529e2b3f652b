#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite (offscreen; no display needed).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$ZEL_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600
