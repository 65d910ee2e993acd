# The Windows x64 program, cross-built with mingw-w64 and tested under wine.
#   make windows   libFLAC.dll from Debian's flac source, qv-hdcd.exe with the DLL
#                  beside it, a wine prefix for the tests, and the release zip;
#                  when the Linux build is configured, it also registers the
#                  command-line tests a second time against the .exe ("wine.*").
#   make dist      just the release zip, dist/qv-hdcd-VERSION-win64.zip (builds
#                  what it needs); cmake/package.cmake says what it holds.
# DIST_DIR puts the packages elsewhere, WINDOWS_LIBFLAC takes a libFLAC.dll
# built before (the reproducibility test builds a second tree this way).
WINDOWS_DIR ?= build-windows
WINDOWS_ABS := $(abspath $(WINDOWS_DIR))
WINDOWS_EXE := $(WINDOWS_ABS)/qv-hdcd.exe
WINDOWS_LIBFLAC ?= $(WINDOWS_ABS)/libflac
WINDOWS_WINEPREFIX := $(WINDOWS_ABS)/wineprefix
DIST_DIR ?= dist
DIST_ZIP := $(DIST_DIR)/qv-hdcd-$(QV_VERSION)-win64.zip

TEST_PREREQS += windows

.PHONY: windows windows-libflac windows-program windows-wineprefix windows-register-tests dist

windows: deps-test windows-program windows-wineprefix dist windows-register-tests

windows-libflac: deps-test
	bash scripts/build-libflac-windows.sh $(WINDOWS_LIBFLAC)

$(WINDOWS_DIR)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake \
	  -DQV_FLAC_INCLUDE_DIR=$(WINDOWS_LIBFLAC)/include

windows-program: windows-libflac $(WINDOWS_DIR)/CMakeCache.txt
	cmake --build $(WINDOWS_DIR) -j $(JOBS)
	cp -p $(WINDOWS_LIBFLAC)/libFLAC.dll $(WINDOWS_ABS)/libFLAC.dll

# One wine prefix for every test run, made once (wineboot is slow); no Mono or
# Gecko, which a console program does not need.
windows-wineprefix: deps-test
	@if [ ! -f $(WINDOWS_WINEPREFIX)/system.reg ]; then \
	  echo "Initialising the wine prefix $(WINDOWS_WINEPREFIX)"; \
	  mkdir -p $(WINDOWS_WINEPREFIX); \
	  WINEPREFIX=$(WINDOWS_WINEPREFIX) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
	    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1; \
	  WINEPREFIX=$(WINDOWS_WINEPREFIX) /usr/lib/wine/wineserver -w; \
	fi

windows-register-tests: windows-program windows-wineprefix
	@if [ -f $(BUILD_DIR)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD_DIR) -DQV_WINE_TESTS=ON -DQV_WINE_EXE=$(WINDOWS_EXE) \
	    -DQV_WINEPREFIX=$(WINDOWS_WINEPREFIX) >/dev/null; \
	fi

dist: windows-program
	rm -rf $(WINDOWS_DIR)/package
	cd $(WINDOWS_DIR) && cpack -G ZIP -B $(WINDOWS_ABS)/package >/dev/null
	mkdir -p $(DIST_DIR)
	cp $(WINDOWS_DIR)/package/$(notdir $(DIST_ZIP)) $(DIST_ZIP)
	@echo "Package: $(DIST_ZIP)"
