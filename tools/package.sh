#!/usr/bin/env bash
# Builds the Debian package zel-checker_<version>_<arch>.deb into ./build,
# checks its desktop entry and runs lintian on it. With --install it also
# installs the package with apt and runs the installed programs from the PATH
# (what CI does).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
install=false
[ "${1:-}" = "--install" ] && install=true

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
tools=(dpkg-dev file desktop-file-utils lintian)
missing=()
for p in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

ZEL_TARGETS="zel_checker zel-unit-sim man_pages zel-bench bench_man_page" source "$root/tools/setup.sh"
cd "$ZEL_BUILD"
rm -f zel-checker_*.deb
cpack -G DEB >/dev/null
deb="$(ls zel-checker_*.deb)"
echo "Package: $ZEL_BUILD/$deb"
dpkg-deb --field "$deb" Package Version Architecture Depends
desktop-file-validate "$root/packaging/zel-checker.desktop"
desktop-file-validate "$root/packaging/zel-bench.desktop"
# Errors fail the build; warnings are listed.
lintian --tag-display-limit 0 --fail-on error "$deb"

if $install; then
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
    cd /tmp
    zel_checker --version
    zel-bench --version
    zel-unit-sim --help >/dev/null && echo "zel-unit-sim --help: ok"
    shot="$(mktemp --suffix=.png)"
    QT_QPA_PLATFORM=offscreen timeout 120 zel_checker --simulate --screenshot "$shot" >/dev/null
    test -s "$shot" && echo "zel_checker --simulate --screenshot: $(stat -c %s "$shot") bytes"
fi
