# Release packages and install rules: the programs, their manual pages and the
# user documentation.
#   Linux:   `cmake --install` and the Debian package (cpack -G DEB) hold
#            bin/<program>, share/man/man1/<program>.1.gz and
#            share/doc/qv-hdcd/{README.md,copyright,changelog.gz}; that
#            README.md is the user's guide packaging/README-Linux.md.
#   Windows: the zip (cpack -G ZIP) holds one folder, QV-HDCD, with
#            <program>.exe, libFLAC.dll, README-Windows.txt, the program's
#            terms (COPYRIGHT.txt, the package's copyright file) and the
#            licences of what is built in, all text files with CRLF line ends.
# `make package` and `make dist` (mk/) run CPack and copy the results to dist/.

# Every program the packages ship; each has its manual page packaging/<program>.1.
set(QV_PROGRAMS qv-hdcd qv-hdcd-batch)

set(QV_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(QV_PACKAGING_BINARY_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${QV_PACKAGING_BINARY_DIR})

set(CPACK_PACKAGE_NAME qv-hdcd)
set(CPACK_PACKAGE_VENDOR Varnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter for HDCD-encoded CD audio")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # The folder name is what the guide's install path and EAC program path
  # (C:\Program Files\QV-HDCD\qv-hdcd.exe) rest on.
  set(QV_ZIP_FOLDER QV-HDCD)
  get_filename_component(QV_LIBFLAC_DEFAULT_DIR ${QV_FLAC_INCLUDE_DIR} DIRECTORY)
  set(QV_LIBFLAC_WINDOWS_DIR ${QV_LIBFLAC_DEFAULT_DIR} CACHE PATH
      "Where scripts/build-libflac-windows.sh put libFLAC.dll and the licence texts")

  configure_file(${QV_PACKAGING_DIR}/README-Windows.txt ${QV_PACKAGING_BINARY_DIR}/README-Windows.txt
                 @ONLY NEWLINE_STYLE CRLF)
  set(QV_WINDOWS_TEXTS ${QV_PACKAGING_BINARY_DIR}/README-Windows.txt)
  foreach(licence "${QV_LIBFLAC_WINDOWS_DIR}/COPYING.Xiph;LICENSE-libFLAC.txt"
                  "${QV_LIBFLAC_WINDOWS_DIR}/COPYING.MinGW-w64;LICENSE-MinGW-w64.txt"
                  "${QV_PACKAGING_DIR}/LICENSE-nlohmann-json.txt;LICENSE-nlohmann-json.txt"
                  "${QV_PACKAGING_DIR}/copyright;COPYRIGHT.txt")
    list(GET licence 0 source)
    list(GET licence 1 target)
    add_custom_command(
      OUTPUT ${QV_PACKAGING_BINARY_DIR}/${target}
      COMMAND sed -e "s/\\r*$/\\r/" ${source} > ${QV_PACKAGING_BINARY_DIR}/${target}
      DEPENDS ${source}
      VERBATIM)
    list(APPEND QV_WINDOWS_TEXTS ${QV_PACKAGING_BINARY_DIR}/${target})
  endforeach()
  add_custom_target(qv-package-texts ALL DEPENDS ${QV_WINDOWS_TEXTS})

  install(TARGETS ${QV_PROGRAMS} RUNTIME DESTINATION ${QV_ZIP_FOLDER})
  install(FILES ${QV_LIBFLAC_WINDOWS_DIR}/libFLAC.dll ${QV_WINDOWS_TEXTS} DESTINATION ${QV_ZIP_FOLDER})

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qv-hdcd-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(QV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/qv-hdcd)

# Debian wants manual pages and the changelog compressed, without a time stamp.
function(qv_gzip source target)
  add_custom_command(
    OUTPUT ${target}
    COMMAND gzip -9 -n -c ${source} > ${target}
    DEPENDS ${source}
    VERBATIM)
endfunction()
set(QV_COMPRESSED_DOCS ${QV_PACKAGING_BINARY_DIR}/changelog.gz)
qv_gzip(${QV_PACKAGING_DIR}/changelog ${QV_PACKAGING_BINARY_DIR}/changelog.gz)
foreach(program ${QV_PROGRAMS})
  qv_gzip(${QV_PACKAGING_DIR}/${program}.1 ${QV_PACKAGING_BINARY_DIR}/${program}.1.gz)
  list(APPEND QV_COMPRESSED_DOCS ${QV_PACKAGING_BINARY_DIR}/${program}.1.gz)
  install(FILES ${QV_PACKAGING_BINARY_DIR}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(qv-package-texts ALL DEPENDS ${QV_COMPRESSED_DOCS})

install(TARGETS ${QV_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The programs go without a .comment section (the compilers' version texts),
# as Debian's own packages do; cmake/hardening.cmake sets the rest.
foreach(program ${QV_PROGRAMS})
  add_custom_command(TARGET ${program} POST_BUILD
                     COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${program}>
                     VERBATIM)
endforeach()
# The user's README; the README.md of the source is the developers'.
install(FILES ${QV_PACKAGING_DIR}/README-Linux.md DESTINATION ${QV_DOC_DIR} RENAME README.md)
install(FILES ${QV_PACKAGING_DIR}/copyright ${QV_PACKAGING_BINARY_DIR}/changelog.gz DESTINATION ${QV_DOC_DIR})

# The package recommends the Debian packages of the libFLAC files the program
# loads (cmake/flac.cmake): libFLAC.so.14 comes with libflac14 (Debian 13),
# libFLAC.so.12 with libflac12 (Debian 12).
set(QV_FLAC_DEBIAN_PACKAGES ${QV_FLAC_LIBRARY_FILES})
list(TRANSFORM QV_FLAC_DEBIAN_PACKAGES REPLACE "^libFLAC\\.so\\.([0-9]+)$" "libflac\\1")
string(REPLACE ";" " | " QV_FLAC_DEBIAN_RECOMMENDS "${QV_FLAC_DEBIAN_PACKAGES}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Varnel <qv-hdcd@varnel.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${QV_FLAC_DEBIAN_RECOMMENDS}")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGE_DESCRIPTION [=[
HDCD (High Definition Compatible Digital) CDs hide control packets in the
least significant bit of their 16-bit samples. Decoding them restores the
extra dynamic range (Peak Extend and Low-Level Gain), turning the 16-bit
audio into 24-bit audio.
.
qv-hdcd works on one file: it decodes, reads and writes WAV/RF64 and FLAC,
writes tags into FLAC output, scans a file for HDCD signalling, converts
between containers keeping the 16-bit samples, and has a mode for running
as the external encoder of the CD ripper EAC.
.
qv-hdcd-batch works on a whole collection: it scans every WAV and FLAC file
below the given folders on every processor, reports the HDCD tracks and
albums on the console and as CSV, JSON or HTML, and decodes them into
another folder with the same layout.
.
FLAC support comes from libFLAC (libFLAC.so.14 or libFLAC.so.12), loaded at
run time.]=])
include(CPack)
