# SPDX-License-Identifier: MIT
# Cross-builds for Windows (i686) with Debian's mingw-w64 -posix compilers. The
# posix thread model is the one whose libstdc++ has std::thread; everything is
# linked statically, so the programs need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUENDLE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
