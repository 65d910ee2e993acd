# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# Either threading variant works: the program starts no threads of its own, and
# the executable links its runtime statically (cmake/windows.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QV_MINGW_PREFIX x86_64-w64-mingw32)
# Prefer the win32-threads compilers, which need no winpthread at all; fall back to
# whatever the alternatives system points the plain names at.
find_program(QV_MINGW_CXX NAMES ${QV_MINGW_PREFIX}-g++-win32 ${QV_MINGW_PREFIX}-g++-posix ${QV_MINGW_PREFIX}-g++ REQUIRED)
find_program(QV_MINGW_CC NAMES ${QV_MINGW_PREFIX}-gcc-win32 ${QV_MINGW_PREFIX}-gcc-posix ${QV_MINGW_PREFIX}-gcc REQUIRED)
find_program(QV_MINGW_WINDRES NAMES ${QV_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_C_COMPILER ${QV_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QV_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QV_MINGW_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
