#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Saves a PNG of each of the wizard's five pages into docs/screenshots/,
# drawn on a virtual X display (Xvfb, installed here when missing).
# BUILD_DIR chooses the build folder (default build/screenshots).
# The Windows pages (win32-*.png) come from the native wizard under Wine,
# drawn by scripts/windows_wizard_tests.sh. SCREENSHOTS=linux or windows
# redraws one set only; the default is both.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/screenshots}
out=$root/docs/screenshots
which=${SCREENSHOTS:-all}

if [ "$which" != "linux" ]; then
    mkdir -p "$out"
    BUILD_DIR="" "$root/scripts/windows_wizard_tests.sh" --pictures "$out"
    [ "$which" = "windows" ] && exit 0
fi

"$root/scripts/setup.sh"
if ! command -v xvfb-run >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends xvfb xauth
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENDLE_TESTS=OFF \
          -DQUENDLE_BENCHMARKS=OFF
fi
cmake --build "$build" -j2 --target quendle_screenshots

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A file big enough that the progress page shows its time estimate.
awk 'BEGIN { for (i = 0; i < 6000000; i++)
             printf "%d,%d.%02d,Y,2024-05-%02d,item %d\n", i, i % 977, i % 100, i % 28 + 1, i }' \
    > "$work/big.csv"

mkdir -p "$out"
# A private home keeps the machine's recent files and settings out of the pictures.
HOME=$work XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/wizard/quendle_screenshots" "$root/samples/sales.csv" "$work/big.csv" "$out"
