# The Debian package of the Linux build.
#   make package   builds dist/qv-hdcd_VERSION_ARCH.deb (or in DIST_DIR) with CPack from the
#                  install rules in cmake/package.cmake (the same files
#                  `cmake --install` installs); `make test` builds it for the
#                  package tests.
DIST_DIR ?= dist
DEB_FILE := qv-hdcd_$(QV_VERSION)_$(shell dpkg --print-architecture 2>/dev/null || echo amd64).deb

TEST_PREREQS += package

.PHONY: package deps-package

deps-package:
	@bash scripts/install-deps.sh package

package: deps-package build
	rm -rf $(BUILD_DIR)/package
	cd $(BUILD_DIR) && cpack -G DEB -B $(abspath $(BUILD_DIR))/package >/dev/null
	mkdir -p $(DIST_DIR)
	cp $(BUILD_DIR)/package/$(DEB_FILE) $(DIST_DIR)/$(DEB_FILE)
	@echo "Package: $(DIST_DIR)/$(DEB_FILE)"
