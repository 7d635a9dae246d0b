# SPDX-License-Identifier: MIT
# What both mingw-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR and
# QUENDLE_MINGW_TRIPLE first.
set(CMAKE_C_COMPILER ${QUENDLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENDLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENDLE_MINGW_TRIPLE}-windres)

# Libraries built for this target by scripts/windows.sh come first.
set(CMAKE_FIND_ROOT_PATH /usr/${QUENDLE_MINGW_TRIPLE} ${QUENDLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config sees only the libraries built for this target. The file is read
# again for each compiler check, where the prefix is unknown: keep it then.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUENDLE_MINGW_PREFIX)
if(QUENDLE_MINGW_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} "${QUENDLE_MINGW_PREFIX}/lib/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
endif()

# FindZLIB would otherwise pick the import library of zlib1.dll, which a real
# Windows does not have.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under 64-bit Wine; 32-bit ones cannot run on this kernel.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    find_program(QUENDLE_WINE NAMES wine)
    if(QUENDLE_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENDLE_WINE})
    endif()
endif()
