# libFLAC is bound at run time: qv_core needs its headers only, never the
# library at link time. QV_FLAC_LIBRARY_FILE is the file the loader looks for
# beside the program: "libFLAC.dll" on Windows, elsewhere the shared-object name
# of the library whose headers the program is compiled against.

set(QV_FLAC_INCLUDE_DIR "" CACHE PATH "Directory holding libFLAC's FLAC/*.h headers")

if(WIN32)
  if(NOT QV_FLAC_INCLUDE_DIR)
    message(FATAL_ERROR "Set QV_FLAC_INCLUDE_DIR to the include directory of the libFLAC built for Windows")
  endif()
  set(QV_FLAC_LIBRARY_FILE "libFLAC.dll")
else()
  if(NOT QV_FLAC_INCLUDE_DIR)
    find_path(QV_FLAC_HEADER_DIR FLAC/stream_decoder.h)
    if(NOT QV_FLAC_HEADER_DIR)
      message(FATAL_ERROR "libFLAC headers not found; install libflac-dev")
    endif()
    set(QV_FLAC_INCLUDE_DIR "${QV_FLAC_HEADER_DIR}" CACHE PATH "" FORCE)
  endif()
  find_library(QV_FLAC_SHARED_LIBRARY NAMES FLAC)
  if(NOT QV_FLAC_SHARED_LIBRARY)
    message(FATAL_ERROR "libFLAC not found; install libflac-dev")
  endif()
  # The shared-object name is what the system loader knows the library by.
  find_program(QV_READELF NAMES readelf ${CMAKE_READELF})
  if(NOT QV_READELF)
    message(FATAL_ERROR "readelf is needed to read libFLAC's shared-object name")
  endif()
  execute_process(COMMAND ${QV_READELF} -d ${QV_FLAC_SHARED_LIBRARY}
                  OUTPUT_VARIABLE QV_FLAC_DYNAMIC_SECTION RESULT_VARIABLE QV_READELF_RESULT)
  string(REGEX MATCH "Library soname: \\[([^]]+)\\]" QV_FLAC_SONAME_MATCH "${QV_FLAC_DYNAMIC_SECTION}")
  if(NOT QV_READELF_RESULT EQUAL 0 OR NOT CMAKE_MATCH_1)
    message(FATAL_ERROR "Cannot read the shared-object name of ${QV_FLAC_SHARED_LIBRARY}")
  endif()
  set(QV_FLAC_LIBRARY_FILE "${CMAKE_MATCH_1}")
endif()

message(STATUS "libFLAC: headers in ${QV_FLAC_INCLUDE_DIR}, loaded at run time as ${QV_FLAC_LIBRARY_FILE}")
target_include_directories(qv_core PUBLIC ${QV_FLAC_INCLUDE_DIR})
# The headers only declare the functions; FLAC__NO_DLL keeps them free of import
# decorations, since nothing is linked against the library.
target_compile_definitions(qv_core PUBLIC FLAC__NO_DLL PRIVATE QV_FLAC_LIBRARY_FILE="${QV_FLAC_LIBRARY_FILE}")

# Tests find the library's file name here, and load a stand-in library that
# lacks one entry point.
file(WRITE ${CMAKE_BINARY_DIR}/flac_library_file.txt "${QV_FLAC_LIBRARY_FILE}")
if(QV_BUILD_TESTS AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/flac_stub ${CMAKE_BINARY_DIR}/tests/flac_stub)
endif()
