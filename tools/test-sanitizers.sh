#!/usr/bin/env bash
# Builds the test programs with AddressSanitizer and UndefinedBehaviorSanitizer
# into ./build-asan and runs the whole suite there (offscreen). Any sanitizer
# finding fails the test that ran into it; leaks are reported except those
# inside the platform libraries listed in tools/lsan.supp.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZEL_ASAN_BUILD:-$root/build-asan}"

ZEL_BUILD="$build" ZEL_TARGETS="zel_tests" \
    ZEL_CMAKE_ARGS="-DZEL_SANITIZE=address,undefined" bash "$root/tools/setup.sh"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900
