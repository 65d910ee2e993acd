# Hardened Linux programs, built the way Debian builds its packages: the flags
# `dpkg-buildflags` gives with every hardening feature on (stack protector,
# fortified C library calls, format checks, relocations read-only and bound at
# start-up), without its -g and -O2, so that the build type still chooses those.
# Without dpkg-buildflags the same flags are set directly. The sanitizer build
# and the Windows build go without; Debug builds without fortification, which
# needs the optimizer. QV_HARDENING=OFF leaves them out, to measure what they
# cost.
option(QV_HARDENING "Build the Linux programs with Debian's hardening flags" ON)
if(WIN32 OR QV_SANITIZE OR NOT QV_HARDENING)
  return()
endif()

find_program(QV_DPKG_BUILDFLAGS dpkg-buildflags)
if(QV_DPKG_BUILDFLAGS)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # Run in the source directory: its -ffile-prefix-map then keeps the source
    # path out of the programs.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${QV_DPKG_BUILDFLAGS} --get ${kind}
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE QV_HARDENING_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE QV_BUILDFLAGS_RESULT)
    if(NOT QV_BUILDFLAGS_RESULT EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(QV_HARDENING_${kind} UNIX_COMMAND "${QV_HARDENING_${kind}}")
    list(FILTER QV_HARDENING_${kind} EXCLUDE REGEX "^-(g|O[0-9s]?)$")
  endforeach()
else()
  set(QV_HARDENING_CPPFLAGS -Wdate-time -D_FORTIFY_SOURCE=2)
  set(QV_HARDENING_CXXFLAGS -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -fstack-protector-strong
                            -Wformat -Werror=format-security)
  set(QV_HARDENING_LDFLAGS -Wl,-z,relro -Wl,-z,now)
endif()

set(QV_FORTIFY_FLAGS ${QV_HARDENING_CPPFLAGS})
list(FILTER QV_FORTIFY_FLAGS INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(FILTER QV_HARDENING_CPPFLAGS EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
add_compile_options(${QV_HARDENING_CPPFLAGS} ${QV_HARDENING_CXXFLAGS}
                    "$<$<NOT:$<CONFIG:Debug>>:${QV_FORTIFY_FLAGS}>")
add_link_options(${QV_HARDENING_LDFLAGS})
string(JOIN " " QV_HARDENING_TEXT ${QV_HARDENING_CPPFLAGS} ${QV_FORTIFY_FLAGS} ${QV_HARDENING_CXXFLAGS}
            ${QV_HARDENING_LDFLAGS})
message(STATUS "Hardening: ${QV_HARDENING_TEXT}")
