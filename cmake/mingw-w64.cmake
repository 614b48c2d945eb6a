# Cross build for 64-bit Windows with Debian's mingw-w64 compilers:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The -posix compilers use the POSIX thread model: the win32 one has no std::mutex, which
# GoogleTest needs. Qt for Windows (scripts/qt-for-windows.sh) is built with this same file,
# and the programs link the compiler's runtime dynamically, as Qt's DLLs do, so that one C++
# runtime serves both; its three DLLs go beside the programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUENLOR_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUENLOR_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENLOR_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENLOR_MINGW_TARGET}-windres)

# Libraries and headers come from the target's tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QUENLOR_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
