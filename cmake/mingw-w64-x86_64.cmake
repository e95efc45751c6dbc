# Cross-builds the Windows program with Debian's mingw-w64 (64-bit).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KOLVANE_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model of
# this compiler lacks. Its winpthread is linked statically (below).
set(CMAKE_C_COMPILER ${KOLVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOLVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KOLVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KOLVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Release is -O1: the program spends its time waiting on the line, the cross
# build stays quick, and GCC 12 reports false -Wrestrict on string code at
# -O2 and above.
# (Cache entries: the *_INIT variables would only be put before CMake's -O3.)
set(CMAKE_CXX_FLAGS_RELEASE "-O1 -DNDEBUG" CACHE STRING "Flags of a Release build")
set(CMAKE_C_FLAGS_RELEASE "-O1 -DNDEBUG" CACHE STRING "Flags of a Release build")

# Only the system's own DLLs at run time, for programs and DLLs alike.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
