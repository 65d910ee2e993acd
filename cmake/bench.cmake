# Benchmarks of the HDCD signal core; built only when Google Benchmark is
# installed, and not part of the test suite.
find_package(benchmark QUIET)
if(benchmark_FOUND AND NOT CMAKE_CROSSCOMPILING)
  add_executable(hdcd_core_bench ${CMAKE_SOURCE_DIR}/bench/hdcd_core_bench.cpp)
  target_link_libraries(hdcd_core_bench PRIVATE qv_core benchmark::benchmark benchmark::benchmark_main)
endif()
