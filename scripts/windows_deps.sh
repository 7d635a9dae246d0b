#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the static mingw-w64 libraries that Debian does not package for
# Windows (expat, libdeflate, and for x64 ISA-L's deflate) from Debian's own
# source packages, once per architecture, into build/win-deps/<arch>/. Called
# by scripts/windows.sh; reruns return at once when the libraries are there.
set -euo pipefail
cd "$(dirname "$0")/.."

deps=build/win-deps
mkdir -p "$deps/src"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

fetch_sources() {
    local wanted=() package
    for package in expat libdeflate libisal; do
        ls -d "$deps/src/$package"-*/ >/dev/null 2>&1 || wanted+=("$package")
    done
    if [ ${#wanted[@]} -eq 0 ]; then
        return
    fi
    # apt-get source needs a deb-src line; add one beside the machine's own.
    if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
        $sudo tee /etc/apt/sources.list.d/quendle-sources.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
        $sudo apt-get update -qq
    fi
    (cd "$deps/src" && apt-get source -qq "${wanted[@]}" >/dev/null)
}

# build_library <arch> <source folder> <cmake options...>
build_library() {
    local arch=$1 source=$2
    shift 2
    local prefix="$PWD/$deps/$arch"
    local work="$deps/work-$arch-$(basename "$source")"
    cmake -S "$source" -B "$work" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-$arch.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
    cmake --build "$work" -j "$(nproc)" >/dev/null
    cmake --install "$work" >/dev/null
}

# libdeflate 1.14 builds with its own Makefile, in its source folder, so each
# architecture gets a copy. Its Windows static library is libdeflatestatic.lib;
# it is installed under the usual name with a pkg-config file.
build_libdeflate() {
    local arch=$1 source=$2
    local prefix="$PWD/$deps/$arch"
    local work="$deps/work-$arch-libdeflate"
    rm -rf "$work" && cp -r "$source" "$work"
    make -C "$work" -j "$(nproc)" CC="$arch-w64-mingw32-gcc-posix" \
        AR="$arch-w64-mingw32-ar" libdeflatestatic.lib >/dev/null
    mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
    cp "$work/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
    cp "$work/libdeflate.h" "$prefix/include/"
    local version
    version=$(basename "$source" | sed 's/^libdeflate-//')
    cat >"$prefix/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$prefix
Name: libdeflate
Description: DEFLATE compression and decompression (static, mingw-w64)
Version: $version
Cflags: -I\${prefix}/include
Libs: -L\${prefix}/lib -ldeflate
PC
}

# ISA-L's deflate, x64 only: its fast paths are x86-64 assembly (nasm, in
# the win64 object format), and the i686 build keeps to zlib. Only the igzip
# unit (with the crc unit it needs) is built; the library is installed as
# Debian installs it, headers under include/isa-l/, with a pkg-config file.
build_isal() {
    local arch=$1 source=$2
    local prefix="$PWD/$deps/$arch"
    local work="$deps/work-$arch-libisal"
    rm -rf "$work" && cp -r "$source" "$work"
    make -C "$work" -f Makefile.unx -j "$(nproc)" arch=mingw units=igzip \
        CC="$arch-w64-mingw32-gcc-posix" AR="$arch-w64-mingw32-ar" AS=nasm \
        DEBUG= DEBUG_nasm= have_threads=n lib >/dev/null
    mkdir -p "$prefix/lib/pkgconfig" "$prefix/include/isa-l"
    cp "$work/bin/isa-l.a" "$prefix/lib/libisal.a"
    cp "$work"/include/*.h "$prefix/include/isa-l/"
    local version
    version=$(basename "$source" | sed 's/^libisal-//')
    cat >"$prefix/lib/pkgconfig/libisal.pc" <<PC
prefix=$prefix
Name: libisal
Description: ISA-L compression (igzip only, static, mingw-w64)
Version: $version
Cflags: -I\${prefix}/include
Libs: -L\${prefix}/lib -lisal
PC
}

for arch in x86_64 i686; do
    if [ "$arch" = x86_64 ] && [ -f "$deps/$arch/.complete" ] &&
        [ ! -f "$deps/$arch/lib/libisal.a" ]; then
        # Made before ISA-L joined the list: add it alone.
        fetch_sources
        echo "== building ISA-L for $arch-w64-mingw32"
        build_isal "$arch" "$(ls -d "$deps"/src/libisal-*/ | head -n 1)"
    fi
    if [ -f "$deps/$arch/.complete" ]; then
        continue
    fi
    fetch_sources
    expat=$(ls -d "$deps"/src/expat-*/ | head -n 1)
    libdeflate=$(ls -d "$deps"/src/libdeflate-*/ | head -n 1)
    echo "== building expat and libdeflate for $arch-w64-mingw32"
    # Debian's expat source keeps the CMake project in its expat/ subfolder.
    [ -f "$expat/CMakeLists.txt" ] || expat="$expat/expat"
    # Debian's security fixes test "XML_DTD == 1", which the CMake template
    # defines empty; the autotools build it was made for defines it as 1.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$expat/expat_config.h.cmake"
    build_library "$arch" "$expat" -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
        -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF \
        -DEXPAT_BUILD_PKGCONFIG=ON
    build_libdeflate "$arch" "$libdeflate"
    if [ "$arch" = x86_64 ]; then
        build_isal "$arch" "$(ls -d "$deps"/src/libisal-*/ | head -n 1)"
    fi
    touch "$deps/$arch/.complete"
done
