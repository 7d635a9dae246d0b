# SPDX-License-Identifier: MIT
# Cross-builds for Windows (x86_64) with Debian's mingw-w64 -posix compilers. The
# posix thread model is the one whose libstdc++ has std::thread; everything is
# linked statically, so the programs need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUENDLE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
