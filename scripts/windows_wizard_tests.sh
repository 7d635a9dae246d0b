#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows wizard under 64-bit Wine on a virtual display (Xvfb): builds
# quendle.exe and the walk program in build/win64 (configuring it when
# missing), then runs the walks and reads the workbooks back with openpyxl.
#
#   scripts/windows_wizard_tests.sh               build and run the walks
#   scripts/windows_wizard_tests.sh --pictures D  draw the five pages into D
#
# BUILD_DIR chooses the build folder (default build/win64); QUENDLE_EXE the
# program whose wizard converts with /BATCH (default the build's). The Wine prefix
# lives inside it; the Wine server is stopped again at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-$root/build/win64}
pictures=""
if [ "${1:-}" = "--pictures" ]; then
    pictures=$(cd "$2" && pwd)
fi

missing=()
for tool in x86_64-w64-mingw32-g++-posix wine xvfb-run convert; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64-posix \
        mingw-w64-tools wine wine64 xvfb xauth imagemagick python3-openpyxl
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    scripts/windows_deps.sh
    PKG_CONFIG_LIBDIR="$root/build/win-deps/x86_64/lib/pkgconfig" \
        cmake -S "$root" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-x86_64.cmake" \
        -DQUENDLE_MINGW_PREFIX="$root/build/win-deps/x86_64" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUENDLE_TESTS=OFF -DQUENDLE_BENCHMARKS=OFF -DQUENDLE_WERROR=ON
fi
PKG_CONFIG_LIBDIR="$root/build/win-deps/x86_64/lib/pkgconfig" \
    cmake --build "$build" -j2 --target quendle quendle_wizard_walk

export WINEPREFIX="$build/wine-wizard"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
work="$build/wizard-walks"
rm -rf "$work"
mkdir -p "$work"
walk="$build/tests/wizard_win32/quendle_wizard_walk.exe"
program=${QUENDLE_EXE:-$build/wizard/quendle.exe}

# Inside the virtual display: one Wine server and prefix for all the walks.
inside=$(cat <<'INSIDE'
set -euo pipefail
# The server needs the prefix folder to exist, or it exits at once.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
status=0
if [ -n "$PICTURES" ]; then
    # Big enough that the progress page shows its time estimate.
    awk 'BEGIN { for (i = 0; i < 1000000; i++)
                 printf "%d,%d.%02d,Y,2024-05-%02d,item %d\n", i, i % 977, i % 100, i % 28 + 1, i }' \
        > "$WORK/big.csv"
    timeout 300 wine "$WALK" walk "Z:${WORK//\//\\}\\big.csv" "Z:${WORK//\//\\}\\big.xlsx" \
        "Z:${WORK//\//\\}" || status=$?
    # The last page after a failure: a file that is no workbook, kept.
    printf 'name,amount\nAlpha,1\nBeta,2.5\nGamma,-3\n' > "$WORK/good.csv"
    echo "this is not a workbook" > "$WORK/broken.xlsx"
    timeout 300 wine "$WALK" failure "Z:${WORK//\//\\}\\good.csv" "Z:${WORK//\//\\}\\broken.xlsx" \
        "Z:${WORK//\//\\}" || status=$?
else
    python3 "$ROOT/tests/wizard_win32/run_walks.py" "$WALK" "$WORK" "$PROGRAM" || status=$?
fi
wineserver -k </dev/null >/dev/null 2>&1 || true
exit $status
INSIDE
)
status=0
ROOT="$root" WALK="$walk" WORK="$work" PICTURES="$pictures" PROGRAM="$program" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$inside" || status=$?

if [ -n "$pictures" ]; then
    for page in 1-welcome 2-source 3-output 4-progress 5-completion 6-failed; do
        convert "$work/win32-$page.bmp" "$pictures/win32-$page.png"
    done
    echo "pictures of the Windows pages in $pictures"
fi
exit $status
