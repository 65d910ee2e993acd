# Speed and memory against sox and the flac tool.
#   make bench   builds in Release, makes a 10-minute (and, for the memory
#                figures, a 60-minute) HDCD test file under $(BUILD_DIR)/bench-work,
#                times every case against its peer, runs the HDCD core benchmark,
#                prints the table and writes it to bench/results.md.
# BENCH_RUNS sets the timed runs per case (at least 5 for the published table).
BENCH_RUNS ?= 5
BENCH_MINUTES ?= 10
BENCH_LONG_MINUTES ?= 60

.PHONY: bench

bench: deps-test build linux-libflac15
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS) --target qv-hdcd qv-hdcd-batch make_bench_audio hdcd_core_bench
	/usr/bin/python3 bench/run_bench.py --build-dir $(BUILD_DIR) --results bench/results.md \
	  --runs $(BENCH_RUNS) --minutes $(BENCH_MINUTES) --long-minutes $(BENCH_LONG_MINUTES)
