# The command-line tests a second time, against the Windows program under wine
# ("wine.<file>"). `make windows` turns this on with the path of the .exe and of
# the wine prefix it prepared.
option(QV_WINE_TESTS "Run the command-line tests against the Windows build under wine" OFF)
set(QV_WINE_EXE "" CACHE FILEPATH "The Windows program the wine tests run")
set(QV_WINEPREFIX "" CACHE PATH "The wine prefix the wine tests use")

if(QV_WINE_TESTS)
  if(NOT EXISTS "${QV_WINE_EXE}")
    message(WARNING "QV_WINE_TESTS is on but ${QV_WINE_EXE} does not exist; no wine tests")
    return()
  endif()
  get_filename_component(QV_WINE_DIR "${QV_WINE_EXE}" DIRECTORY)
  qv_add_cli_tests(wine "${QV_WINE_EXE}" "${QV_WINE_DIR}/qv-hdcd-batch.exe" "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh")
  foreach(script ${QV_CLI_TESTS})
    get_filename_component(name ${script} NAME_WE)
    if(QV_WINEPREFIX)
      set_property(TEST wine.${name} APPEND PROPERTY ENVIRONMENT "QV_WINEPREFIX=${QV_WINEPREFIX}")
    endif()
  endforeach()
endif()
