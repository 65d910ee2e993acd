#!/usr/bin/env bash
# Builds libFLAC 1.5.0 for Linux, with its encoder's threads, and the flac
# program from the same source, from Debian's source package
# (scripts/fetch-flac-source.sh). The tests and the benchmark run a copy of
# qv-hdcd beside this library, which the loader prefers to the system's.
# Everything lands below OUT_DIR:
#   OUT_DIR/lib/libFLAC.so.N   the library, under its own shared-object name
#   OUT_DIR/bin/flac           the flac program linked against it
# A second run finds these in place and does nothing.
#
# Usage: scripts/build-libflac-linux.sh [OUT_DIR]   (default build/libflac-1.5)
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT_DIR="${1:-$ROOT/build/libflac-1.5}"
mkdir -p "$OUT_DIR"
OUT_DIR="$(cd "$OUT_DIR" && pwd)"

if [ -x "$OUT_DIR/bin/flac" ] && ls "$OUT_DIR"/lib/libFLAC.so.* >/dev/null 2>&1; then
  exit 0
fi

tree="$(bash "$ROOT/scripts/fetch-flac-source.sh" "$OUT_DIR/source")"
echo "build-libflac-linux: building libFLAC and flac from $(basename "$tree")"
cmake -S "$tree" -B "$OUT_DIR/build" \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=ON \
  -DWITH_OGG=OFF \
  -DENABLE_MULTITHREADING=ON \
  -DBUILD_CXXLIBS=OFF \
  -DBUILD_PROGRAMS=ON \
  -DBUILD_TESTING=OFF \
  -DBUILD_DOCS=OFF \
  -DBUILD_EXAMPLES=OFF \
  -DINSTALL_MANPAGES=OFF \
  -DENABLE_WERROR=OFF \
  -DCMAKE_INSTALL_PREFIX="$OUT_DIR/install" \
  >"$OUT_DIR/configure.log"
cmake --build "$OUT_DIR/build" --target FLAC flacapp -j 2 >"$OUT_DIR/build.log"

library="$(find "$OUT_DIR/build/src/libFLAC" -maxdepth 1 -name 'libFLAC.so.*.*' -type f | sort | head -n 1)"
program="$OUT_DIR/build/src/flac/flac"
if [ -z "$library" ] || [ ! -x "$program" ]; then
  echo "build-libflac-linux: the build produced no libFLAC or flac (see $OUT_DIR/build.log)" >&2
  exit 1
fi
soname="$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\].*/\1/p')"
mkdir -p "$OUT_DIR/lib" "$OUT_DIR/bin"
cp "$library" "$OUT_DIR/lib/$soname.part"
mv "$OUT_DIR/lib/$soname.part" "$OUT_DIR/lib/$soname"
# The build gives flac an RPATH into the build tree, so the copy keeps using
# this library, never the system's.
cp "$program" "$OUT_DIR/bin/flac.part"
mv "$OUT_DIR/bin/flac.part" "$OUT_DIR/bin/flac"
echo "build-libflac-linux: $OUT_DIR/lib/$soname and $OUT_DIR/bin/flac"
