# Set-up and everyday commands. `make demo` and `make test` work on a fresh
# Debian 12 machine (as root): they install what is missing, build, then run.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.DEFAULT_GOAL := all
# Further targets (windows, bench, fuzz) live in mk/; they may add to
# TEST_PREREQS what `make test` must build before CTest runs.
TEST_PREREQS :=
-include mk/*.mk

.PHONY: all deps configure build demo test clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

test: build $(TEST_PREREQS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)
