# Benchmark programs. The HDCD core benchmark is built only when Google
# Benchmark is installed; the test-audio generator always is, and its signal
# is also linked into the unit tests, which check what it carries.
# `make bench` (mk/bench.mk) runs them.
if(NOT CMAKE_CROSSCOMPILING)
  add_library(qv_bench_signal STATIC ${CMAKE_SOURCE_DIR}/bench/bench_signal.cpp)
  target_include_directories(qv_bench_signal PUBLIC ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(qv_bench_signal PUBLIC qv_core)

  add_executable(make_bench_audio ${CMAKE_SOURCE_DIR}/bench/make_bench_audio.cpp)
  target_link_libraries(make_bench_audio PRIVATE qv_bench_signal)

  if(TARGET unit_tests)
    target_link_libraries(unit_tests PRIVATE qv_bench_signal)
  endif()
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND AND NOT CMAKE_CROSSCOMPILING)
  add_executable(hdcd_core_bench ${CMAKE_SOURCE_DIR}/bench/hdcd_core_bench.cpp)
  target_link_libraries(hdcd_core_bench PRIVATE qv_core benchmark::benchmark benchmark::benchmark_main)
endif()
