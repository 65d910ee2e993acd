# Short smoke runs of the libFuzzer targets: each replays its seed corpus and
# the crash inputs kept as regressions, then fuzzes for a few seconds. The
# targets are built by `make fuzz-targets` (clang) into QV_FUZZ_BUILD_DIR; a
# target that is not built makes its test skip.
set(QV_FUZZ_BUILD_DIR "${CMAKE_SOURCE_DIR}/fuzz-build" CACHE PATH "Build tree of the fuzz targets")
set(QV_FUZZ_SMOKE_SECONDS 4 CACHE STRING "Seconds of fuzzing per target in the smoke runs")
foreach(target wav_reader flac_reader hdcd command_line)
  add_test(NAME fuzz.${target}
           COMMAND bash ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer.sh ${QV_FUZZ_BUILD_DIR}/fuzz_${target} ${target}
                   ${CMAKE_BINARY_DIR}/fuzz-smoke/${target} ${QV_FUZZ_SMOKE_SECONDS} fresh)
  set_tests_properties(fuzz.${target} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()
