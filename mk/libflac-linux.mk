# libFLAC 1.5.0 with its encoder's threads, and the flac program of the same
# source, built for Linux below $(BUILD_DIR)/libflac-1.5: the tests and the
# benchmark run a copy of the program beside this library.
#   make linux-libflac15   fetches Debian's flac source and builds both (once).
LINUX_LIBFLAC15 := $(abspath $(BUILD_DIR))/libflac-1.5

TEST_PREREQS += linux-libflac15

.PHONY: linux-libflac15

linux-libflac15: deps-test
	bash scripts/build-libflac-linux.sh $(LINUX_LIBFLAC15)
