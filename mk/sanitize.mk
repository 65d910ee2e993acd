# The whole test suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the command-line tests then run the sanitized
# program). `make test` runs it before the main CTest run; `make sanitize-test`
# runs it alone. The fuzz smoke runs and the wine tests are left to the main
# tree, which runs them already.
ASAN_BUILD_DIR ?= build-asan
ASAN_TEST_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

TEST_PREREQS += sanitize-test

.PHONY: sanitize-test

$(ASAN_BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=ON

sanitize-test: deps-test $(ASAN_BUILD_DIR)/CMakeCache.txt
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && $(ASAN_TEST_ENV) ctest --output-on-failure -j $(JOBS) -E '^(fuzz|wine)\.'
