# What both Windows toolchain files share; each sets MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)

# The "posix" flavour of the compiler: its runtime has std::thread.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# SSE2 arithmetic: the x87 unit would round twice (to 80 bits, then to 64)
# and the number reader's exact divisions rely on a single rounding.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# One self-contained .exe: no MinGW runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
