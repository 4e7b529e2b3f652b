#!/usr/bin/env bash
# Installs what the checker needs on Debian 12 (only what is missing, quietly)
# and builds it into ./build. Sourced by run.sh and test.sh, and by the
# sanitizer and fuzz scripts, which add packages (ZEL_EXTRA_PACKAGES) and cmake
# options (ZEL_CMAKE_ARGS) for a build directory of their own.
set -euo pipefail

ZEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZEL_BUILD="${ZEL_BUILD:-$ZEL_ROOT/build}"
packages=(g++ cmake ninja-build ccache qt6-base-dev qt6-serialport-dev fonts-ipafont-gothic help2man
    libbenchmark-dev
    libqt6sql6-sqlite libqt6sql6-psql postgresql
    ${ZEL_EXTRA_PACKAGES:-})

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# shellcheck disable=SC2086 # ZEL_CMAKE_ARGS is a list of options
cmake -S "$ZEL_ROOT" -B "$ZEL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEL_WARNINGS_AS_ERRORS=ON ${ZEL_CMAKE_ARGS:-} >/dev/null
# ZEL_TARGETS (optional): build only these targets.
targets=()
for t in ${ZEL_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$ZEL_BUILD" -j"$(nproc)" "${targets[@]}"
