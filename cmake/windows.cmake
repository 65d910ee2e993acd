# Windows build of qv-hdcd.exe and qv-hdcd-batch.exe: version resource, icon and manifest, a runtime
# linked in statically so that the program imports nothing but system DLLs, and
# the definitions the Windows headers and runtime want. libFLAC.dll is loaded at
# run time from the program's directory, so nothing here links it.
if(NOT WIN32)
  return()
endif()

# Lean Windows headers without the min/max macros; Windows 7 and later. The
# runtime's C99 printf family, so that "%llu" and "%.1f" print as on Linux.
target_compile_definitions(qv_core PUBLIC
  WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 __USE_MINGW_ANSI_STDIO=1)

# libgcc, libstdc++ and (with the posix-threads compiler) winpthread go into the
# executable itself.
target_link_options(qv-hdcd PRIVATE -static -static-libgcc -static-libstdc++)
target_link_options(qv-hdcd-batch PRIVATE -static -static-libgcc -static-libstdc++)
# No link time in the PE header (its time stamp is 0), so that a build of the
# same sources gives the same programs however and whenever it is made.
target_link_options(qv-hdcd PRIVATE -Wl,--no-insert-timestamp)
target_link_options(qv-hdcd-batch PRIVATE -Wl,--no-insert-timestamp)

# The icon is drawn from our SVG at build time.
set(QV_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/resources)
set(QV_GENERATED_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
file(MAKE_DIRECTORY ${QV_GENERATED_RESOURCE_DIR})
set(QV_ICON ${QV_GENERATED_RESOURCE_DIR}/qv-hdcd.ico)
add_custom_command(
  OUTPUT ${QV_ICON}
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/make-icon.sh ${QV_RESOURCE_DIR}/qv-hdcd.svg ${QV_ICON}
  DEPENDS ${QV_RESOURCE_DIR}/qv-hdcd.svg ${CMAKE_SOURCE_DIR}/scripts/make-icon.sh
  COMMENT "Drawing the application icon"
  VERBATIM)
add_custom_target(qv-hdcd-icon DEPENDS ${QV_ICON})
add_dependencies(qv-hdcd qv-hdcd-icon)
add_dependencies(qv-hdcd-batch qv-hdcd-icon)

set(QV_RESOURCE_SCRIPT ${QV_RESOURCE_DIR}/qv-hdcd.rc)
set_source_files_properties(${QV_RESOURCE_SCRIPT} PROPERTIES
  OBJECT_DEPENDS "${QV_ICON};${QV_RESOURCE_DIR}/qv-hdcd.manifest;${CMAKE_SOURCE_DIR}/src/console/version_info.h")
# windres looks for the files the script names (icon, manifest) in its include
# directories too. Both programs share the script; QV_BATCH_RESOURCE gives
# qv-hdcd-batch.exe its own file name and description.
foreach(program qv-hdcd qv-hdcd-batch)
  target_sources(${program} PRIVATE ${QV_RESOURCE_SCRIPT})
  target_include_directories(${program} PRIVATE
    ${QV_GENERATED_RESOURCE_DIR} ${QV_RESOURCE_DIR} ${CMAKE_SOURCE_DIR}/src)
endforeach()
target_compile_definitions(qv-hdcd-batch PRIVATE QV_BATCH_RESOURCE)

# The package test starts the program from the unpacked zip with the guide's
# EAC command line through this helper, as EAC would.
if(QV_BUILD_TESTS)
  add_executable(run_command_line ${CMAKE_SOURCE_DIR}/tests/windows/run_command_line.cpp)
  target_link_options(run_command_line PRIVATE -static -static-libgcc -static-libstdc++)
endif()
