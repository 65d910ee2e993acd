# libFLAC is bound at run time: qv_core needs its headers only, never the
# library at link time. QV_FLAC_LIBRARY_FILES are the file names the loader
# looks for, in order, beside the program and then (not on Windows) through the
# system's loader: "libFLAC.dll" on Windows; elsewhere the shared-object names
# of libFLAC 1.5 (Debian 13) and 1.4 (Debian 12), whose entry points the
# program binds alike.

set(QV_FLAC_INCLUDE_DIR "" CACHE PATH "Directory holding libFLAC's FLAC/*.h headers")

if(WIN32)
  if(NOT QV_FLAC_INCLUDE_DIR)
    message(FATAL_ERROR "Set QV_FLAC_INCLUDE_DIR to the include directory of the libFLAC built for Windows")
  endif()
  set(QV_FLAC_LIBRARY_FILES libFLAC.dll)
else()
  if(NOT QV_FLAC_INCLUDE_DIR)
    find_path(QV_FLAC_HEADER_DIR FLAC/stream_decoder.h)
    if(NOT QV_FLAC_HEADER_DIR)
      message(FATAL_ERROR "libFLAC headers not found; install libflac-dev")
    endif()
    set(QV_FLAC_INCLUDE_DIR "${QV_FLAC_HEADER_DIR}" CACHE PATH "" FORCE)
  endif()
  set(QV_FLAC_LIBRARY_FILES libFLAC.so.14 libFLAC.so.12)
endif()

string(REPLACE ";" ", " QV_FLAC_LIBRARY_FILES_TEXT "${QV_FLAC_LIBRARY_FILES}")
message(STATUS "libFLAC: headers in ${QV_FLAC_INCLUDE_DIR}, loaded at run time as ${QV_FLAC_LIBRARY_FILES_TEXT}")
target_include_directories(qv_core PUBLIC ${QV_FLAC_INCLUDE_DIR})
# The headers only declare the functions; FLAC__NO_DLL keeps them free of import
# decorations, since nothing is linked against the library.
list(TRANSFORM QV_FLAC_LIBRARY_FILES PREPEND "\"" OUTPUT_VARIABLE QV_FLAC_QUOTED)
list(TRANSFORM QV_FLAC_QUOTED APPEND "\"")
string(REPLACE ";" "," QV_FLAC_QUOTED "${QV_FLAC_QUOTED}")
target_compile_definitions(qv_core PUBLIC FLAC__NO_DLL PRIVATE "QV_FLAC_LIBRARY_FILES=${QV_FLAC_QUOTED}")

# Tests find the name a library beside the program is looked for first here,
# and load a stand-in library that lacks one entry point.
list(GET QV_FLAC_LIBRARY_FILES 0 QV_FLAC_PREFERRED_FILE)
file(WRITE ${CMAKE_BINARY_DIR}/flac_library_file.txt "${QV_FLAC_PREFERRED_FILE}")
if(QV_BUILD_TESTS AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/flac_stub ${CMAKE_BINARY_DIR}/tests/flac_stub)
endif()
