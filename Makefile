# Set-up and everyday commands. `make demo` and `make test` work on a fresh
# Debian 12 machine (as root): they install what is missing, build, then run.
# `make demo` (and `make build`) install the demo tier of Debian packages,
# `make package` the package tier, `make test` the test tier
# (scripts/install-deps.sh).
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
QV_VERSION := $(shell sed -n 's/^\#define QV_VERSION_TEXT "\(.*\)"/\1/p' src/console/version_info.h)

# Reproducible builds: the file times in the .deb and the zip (and the time
# stamp of a libFLAC.dll built here) come from SOURCE_DATE_EPOCH; the Windows
# programs carry none (cmake/windows.cmake).
# Unless it is given, it is the time of the last commit, or outside a git
# checkout that of the changelog's latest entry.
ifeq ($(origin SOURCE_DATE_EPOCH),undefined)
SOURCE_DATE_EPOCH := $(shell git -C $(CURDIR) log -1 --format=%ct 2>/dev/null || \
  date -d "$$(sed -n 's/^ -- .*>  //p' packaging/changelog | head -n 1)" +%s)
endif
export SOURCE_DATE_EPOCH

.DEFAULT_GOAL := all
# Further targets (windows, bench, fuzz) live in mk/; they may add to
# TEST_PREREQS what `make test` must build before CTest runs.
TEST_PREREQS :=
-include mk/*.mk

.PHONY: all deps deps-test configure build demo test clean

all: build

deps:
	@bash scripts/install-deps.sh demo

deps-test:
	@bash scripts/install-deps.sh test

# Configured on every run (quick when nothing changed), so that a tree first
# configured for the demo finds GoogleTest once the test tier is installed.
configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

test: deps-test build $(TEST_PREREQS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)
