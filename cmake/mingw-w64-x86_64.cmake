# Cross build for 64-bit Windows on Debian with MinGW-w64. The -posix
# compilers give std::thread and std::mutex (through winpthreads); everything
# is linked statically, so the program needs no DLL beside it.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARONE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARONE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARONE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PARONE_MINGW_TRIPLET}-windres)

# Libraries and headers only from the MinGW tree (and packages named by an
# explicit <Package>_DIR, as the built libcurl is); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${PARONE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
