#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds every package into dist/ and checks each as a user would meet it:
# the Debian packages (program, library, development files; checked by
# tests/package/check_deb.sh) and the Windows setup programs for x64 and x86
# (made with NSIS from the Windows build; the x64 one is installed, used and
# uninstalled under Wine by tests/package/check_installer.sh). The Windows
# zips come from scripts/windows.sh, which also makes the Windows build when
# it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
packages=(dpkg-dev lintian desktop-file-utils man-db file nsis)
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

# -O2 with symbols (stripped into the packages): the optimised build the tests
# run, so its warnings are the ones CI already keeps at zero. Where the tests'
# build is there (scripts/test.sh made it), its binaries are the ones packaged:
# building the same sources with the same flags again would only cost time.
werror=$([ "${CI:-}" = true ] && echo ON || echo OFF)
if [ -f build/ci-plain/CMakeCache.txt ]; then
    build=build/ci-plain
    cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DQUENDLE_WIZARD=ON \
        -DQUENDLE_WERROR="$werror" >/dev/null
else
    build=build/package
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
        -DQUENDLE_TESTS=OFF -DQUENDLE_BENCHMARKS=OFF -DQUENDLE_WIZARD=ON \
        -DQUENDLE_WERROR="$werror" >/dev/null
fi
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/packages" && (cd "$build" && cpack -G DEB >/dev/null)
mkdir -p dist
rm -f dist/*.deb dist/*-setup.exe
cp "$build"/packages/*.deb dist/
ls -l dist/*.deb
echo "== package checks"
tests/package/check_deb.sh dist

# The Windows setup programs, from the cross-built binaries.
if [ ! -f build/win64/wizard/quendle.exe ] || [ ! -f build/win32/wizard/quendle.exe ]; then
    scripts/windows.sh
fi
version=$(sed -n 's/^project(Quendle VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for arch in win64 win32; do
    case $arch in
        win64) tool=x86_64-w64-mingw32 ;;
        win32) tool=i686-w64-mingw32 ;;
    esac
    stage=build/package/stage-$arch
    rm -rf "$stage" && mkdir -p "$stage"
    "$tool-strip" -o "$stage/quendle.exe" "build/$arch/wizard/quendle.exe"
    "$tool-strip" -o "$stage/quendle_d.dll" "build/$arch/library/quendle_d.dll"
    cp "build/$arch/library/libquendle_d.dll.a" library/quendle_d.h wizard/resources/wizards.html \
        packaging/linux/quendle.ini "$stage/"
    cp README.md "$stage/README.txt"
    cp LICENSE "$stage/LICENSE.txt"
    makensis -V2 -DVERSION="$version" -DARCH="$arch" -DSTAGE="$PWD/$stage" \
        -DOUTFILE="$PWD/dist/quendle-$version-$arch-setup.exe" packaging/windows/quendle.nsi
done
ls -l dist/*-setup.exe
echo "== Windows setup checks (x64 under Wine; x86 cannot run on this machine)"
tests/package/check_installer.sh "dist/quendle-$version-win64-setup.exe"
