#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds every package into dist/: the Debian packages (program, library,
# development files), and checks them with tests/package/check_deb.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
packages=(dpkg-dev lintian desktop-file-utils man-db file)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DQUENDLE_TESTS=OFF -DQUENDLE_BENCHMARKS=OFF \
    -DQUENDLE_WIZARD=ON -DQUENDLE_WERROR="$([ "${CI:-}" = true ] && echo ON || echo OFF)" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/packages" && (cd "$build" && cpack -G DEB >/dev/null)
mkdir -p dist
rm -f dist/*.deb
cp "$build"/packages/*.deb dist/
ls -l dist/*.deb
echo "== package checks"
tests/package/check_deb.sh dist
