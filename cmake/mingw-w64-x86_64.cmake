# Cross-compiles the Windows console program for x86-64 with MinGW-w64. The
# program shipped is the 32-bit one; this build lets the Windows code be
# tested on hosts that run no 32-bit programs (wine64 alone):
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

find_program(WINE_PROGRAM NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT WINE_PROGRAM)
  find_program(WINE_PROGRAM wine64)
endif()
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
