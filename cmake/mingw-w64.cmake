# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# The posix-threads variant: qv-hdcd-batch runs its workers on std::thread, which
# the win32-threads runtime of this compiler generation lacks. The executables
# link their runtime (winpthread included) statically (cmake/windows.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QV_MINGW_PREFIX x86_64-w64-mingw32)
find_program(QV_MINGW_CXX NAMES ${QV_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(QV_MINGW_CC NAMES ${QV_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(QV_MINGW_WINDRES NAMES ${QV_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_C_COMPILER ${QV_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QV_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QV_MINGW_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
