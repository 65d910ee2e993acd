# libFuzzer targets (fuzz/), built with clang in their own tree.
#   make fuzz          builds them and runs each for FUZZ_SECONDS (default 60),
#                      one after the other, growing the corpus in
#                      $(FUZZ_BUILD_DIR)/work/<target>/corpus
#   make fuzz-targets  just builds them; `make test` does this so that CTest's
#                      fuzz.* smoke runs (cmake/fuzz-tests.cmake) find them.
FUZZ_BUILD_DIR ?= fuzz-build
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := wav_reader flac_reader hdcd command_line

TEST_PREREQS += fuzz-targets

.PHONY: fuzz fuzz-targets

$(FUZZ_BUILD_DIR)/CMakeCache.txt:
	cmake -S fuzz -B $(FUZZ_BUILD_DIR) -DCMAKE_CXX_COMPILER=clang++

fuzz-targets: deps-test $(FUZZ_BUILD_DIR)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS)

fuzz: fuzz-targets
	@for target in $(FUZZ_TARGETS); do \
	  bash fuzz/run-fuzzer.sh $(FUZZ_BUILD_DIR)/fuzz_$$target $$target \
	    $(FUZZ_BUILD_DIR)/work/$$target $(FUZZ_SECONDS) || exit 1; \
	done
