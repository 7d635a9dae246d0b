#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Everything for Windows: installs the cross compilers and Wine, builds the
# libraries Debian has no mingw-w64 package for, cross-builds x64 into
# build/win64 and x86 into build/win32, runs the x64 tests under 64-bit Wine
# (32-bit programs cannot run on this kernel, so x86 is checked statically),
# checks every binary's imports against the DLLs a plain Windows has, and
# packs dist/quendle-<version>-win64.zip and -win32.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

packages=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    libz-mingw-w64-dev nasm wine wine64 dpkg-dev zip
    libgtest-dev cmake python3-openpyxl python3-xlrd python3-olefile unzip
)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    # No wine32: this kernel cannot run 32-bit programs, and with it "wine"
    # would become the 32-bit loader.
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

scripts/windows_deps.sh

jobs=$(nproc)
werror=${QUENDLE_WINDOWS_WERROR:-ON}
configure() {
    local folder=$1 arch=$2 tests=$3 errors=$4
    cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-$arch.cmake" \
        -DQUENDLE_MINGW_PREFIX="$PWD/build/win-deps/$arch" \
        -DQUENDLE_WERROR="$errors" -DQUENDLE_WIZARD=OFF -DQUENDLE_BENCHMARKS=OFF \
        -DQUENDLE_TESTS="$tests" >/dev/null
}
echo "== Windows x64 build"
configure build/win64 x86_64 ON "$werror"
cmake --build build/win64 -j "$jobs"
echo "== Windows x86 build"
configure build/win32 i686 OFF "$werror"
cmake --build build/win32 -j "$jobs"

# The Linux program that the Windows one is compared with.
if [ ! -x build/ci-plain/wizard/quendle ]; then
    cmake --preset ci-plain >/dev/null
    cmake --build build/ci-plain -j "$jobs" --target quendle
fi

echo "== imports"
# A plain Windows has these; Wine has more (zlib1.dll, libstdc++-6.dll), so a
# stray import would pass under Wine and fail on Windows.
# Names compared in lower case: the x86 import libraries spell them in capitals.
allowed='^(kernel32|msvcrt|shell32|ole32|user32|advapi32|gdi32|comctl32|comdlg32)\.dll$'
status=0
for binary in build/win64/wizard/quendle.exe build/win64/library/quendle_d.dll \
    build/win32/wizard/quendle.exe build/win32/library/quendle_d.dll \
    build/win64/tests/*/*.exe build/win64/tests/library/windows/*.exe; do
    while read -r dll; do
        if ! [[ ${dll,,} =~ $allowed ]]; then
            echo "FAILED: $binary imports $dll, which Windows does not ship"
            status=1
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\tDLL Name: //p')
done

echo "== x86 library, checked statically"
dll=build/win32/library/quendle_d.dll
# Whole outputs first: a reader that stops early would fail the pipeline.
headers=$(i686-w64-mingw32-objdump -p "$dll")
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
    sed -n 's/^\t\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p')
base=$(sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\).*/\1/p' <<<"$headers")
if [ "$exports" != $'0 Quendle_Converter\n1 Quendle_ConverterStr' ] || [ "$base" != 1 ]; then
    echo "FAILED: the x86 DLL exports (ordinal base $base):"
    echo "$exports"
    status=1
fi
implib=build/win32/library/libquendle_d.dll.a
symbols=$(i686-w64-mingw32-nm "$implib")
for name in _Quendle_Converter@12 _Quendle_ConverterStr@8; do
    if ! grep -q " T $name\$" <<<"$symbols"; then
        echo "FAILED: the x86 import library lacks $name"
        status=1
    fi
done
# A C caller compiled from the header links against the decorated names, which
# only a caller using __stdcall refers to.
caller=build/win32/header_caller
mkdir -p "$caller"
cat >"$caller/caller.c" <<'C'
#include "library/quendle_d.h"
int main(void) {
    char* elements[] = {"caller"};
    return Quendle_Converter(0, 1, elements) + Quendle_ConverterStr(0, "caller");
}
C
if ! i686-w64-mingw32-gcc-posix -Wall -Werror -I. -c "$caller/caller.c" -o "$caller/caller.o" ||
    ! i686-w64-mingw32-gcc-posix "$caller/caller.o" "$implib" -o "$caller/caller.exe"; then
    echo "FAILED: an x86 C caller does not link against the import library"
    status=1
elif [ "$(i686-w64-mingw32-nm "$caller/caller.o" | grep -c ' U _Quendle_Converter\(Str\)\?@[0-9]*$' || true)" != 2 ]; then
    echo "FAILED: the x86 caller does not refer to the __stdcall names"
    status=1
fi

echo "== version resources"
version=$(sed -n 's/^project(Quendle VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Explorer's properties and installers read these: an icon (types 3 and 14)
# and a version block (type 16) whose FileVersion is this version.
for binary in build/win64/wizard/quendle.exe build/win64/library/quendle_d.dll \
    build/win32/wizard/quendle.exe build/win32/library/quendle_d.dll; do
    types=$(x86_64-w64-mingw32-objdump -p "$binary" |
        sed -n '/^The .rsrc Resource Directory section:/,/^$/p' |
        sed -n 's/^0[0-9a-f][0-9a-f]   Entry: ID: 0x0*\([0-9a-f]*\),.*/\1/p' | tr '\n' ' ')
    # "FileVersion", its padding, then the version, all UTF-16 with nulls.
    if [[ " $types" != *" 3 "* || " $types" != *" e "* || " $types" != *" 10 "* ]] ||
        ! /usr/bin/python3 -c '
import re, sys
key, value = ("%s\0" % text for text in ("FileVersion", sys.argv[2]))
pattern = re.escape(key.encode("utf-16-le")) + b"(?:\0\0)*" + re.escape(value.encode("utf-16-le"))
sys.exit(0 if re.search(pattern, open(sys.argv[1], "rb").read()) else 1)' "$binary" "$version"; then
        echo "FAILED: $binary lacks its icon or its version $version (resource types: $types)"
        status=1
    fi
done

echo "== tests under Wine"
export WINEPREFIX="$PWD/build/win64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8
# One server and one prefix for all tests, started once and quietly, or each
# test waits seconds for Wine to settle.
wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
wine wineboot </dev/null >/dev/null 2>&1 || true
queue_pid=""
stop_wine() {
    [ -n "$queue_pid" ] && kill "$queue_pid" 2>/dev/null && wait "$queue_pid" || true
    queue_pid=""
    wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap stop_wine EXIT

# The suites see their own application-data folder, as on Linux.
test_home="$PWD/build/win64/test-home"
rm -rf "$test_home" && mkdir -p "$test_home"
export APPDATA="Z:${test_home//\//\\}"
# A Windows program cannot start python3 or unzip: the suites leave their
# reader commands in this folder, and they run here, on the Linux side, while
# the test waits for the answer (tests/tools/reader_queue.py).
queue="$PWD/build/win64/reader-queue"
rm -rf "$queue" && mkdir -p "$queue"
/usr/bin/python3 tests/tools/reader_queue.py "$queue" "$WINEPREFIX" tests/tools &
queue_pid=$!
for _ in $(seq 200); do
    [ -e "$queue/ready" ] && break
    sleep 0.05
done
export QUENDLE_READER_QUEUE="Z:${queue//\//\\}"
# Left to Linux: ANSI/OEM pages taken from a POSIX locale's name (Windows asks
# GetACP/GetOEMCP from Wine's locale, and this machine has only C.UTF-8).
linux_only='SystemPagesFromEnvironment'
if ! ctest --test-dir build/win64 -j "$jobs" --output-on-failure -E "$linux_only"; then
    status=1
fi
kill "$queue_pid" && wait "$queue_pid" || true
queue_pid=""
answered=$(wc -l <"$queue/answered.tsv" 2>/dev/null || echo 0)
echo "reader commands run on the Linux side for the Windows tests: $answered"
# The suites check workbooks through the readers; none asking means the
# requests went nowhere, and the suites' checks with them.
if [ "$answered" -eq 0 ]; then
    echo "FAILED: no Windows test asked for a reader"
    status=1
fi
if ! QUENDLE_WIN_BIN="$PWD/build/win64/wizard/quendle.exe" \
    QUENDLE_WIN_TESTS="$PWD/build/win64/tests/library/windows" \
    QUENDLE_BIN="$PWD/build/ci-plain/wizard/quendle" \
    /usr/bin/python3 tests/tools/windows_checks.py -v; then
    status=1
fi
stop_wine

echo "== packages"
mkdir -p dist
for pair in win64:x86_64 win32:i686; do
    name=${pair%%:*}
    triple=${pair#*:}-w64-mingw32
    stage="build/$name/package/quendle-$version-$name"
    rm -rf "build/$name/package" && mkdir -p "$stage"
    # Debug information stays in the build; the download is stripped.
    $triple-strip -o "$stage/quendle.exe" "build/$name/wizard/quendle.exe"
    $triple-strip -o "$stage/quendle_d.dll" "build/$name/library/quendle_d.dll"
    cp library/quendle_d.h "build/$name/library/libquendle_d.dll.a" README.md LICENSE "$stage/"
    # The wizard's "?" opens the help page beside the program.
    cp wizard/resources/wizards.html "$stage/"
    rm -f "dist/quendle-$version-$name.zip"
    (cd "build/$name/package" && zip -qr "../../../dist/quendle-$version-$name.zip" \
        "quendle-$version-$name")
    echo "dist/quendle-$version-$name.zip"
done

echo "== the packaged program's wizard under Wine, on a virtual display"
# Walks through the real pages, then the packed quendle.exe converts through
# its wizard with /BATCH.
if ! QUENDLE_EXE="$PWD/build/win64/package/quendle-$version-win64/quendle.exe" \
    BUILD_DIR="$PWD/build/win64" scripts/windows_wizard_tests.sh; then
    status=1
fi

echo "== Windows done in $((SECONDS - started)) s"
exit $status
