#!/usr/bin/env bash
# Builds libFLAC.dll for the Windows program from Debian's flac source package
# (the version scripts/fetch-flac-source.sh pins), with the mingw-w64 cross
# compilers: a shared library with the encoder's multithreading, without Ogg,
# programs, tests, documentation or examples. Everything lands below OUT_DIR:
#   OUT_DIR/libFLAC.dll            the library the program loads from its own directory
#   OUT_DIR/include/FLAC/          the headers the program is compiled against
#   OUT_DIR/COPYING.Xiph           libFLAC's licence, shipped in the package
#   OUT_DIR/COPYING.MinGW-w64      the licences of the mingw-w64 runtime (winpthreads
#                                  among them) linked into the DLL and the program
#   OUT_DIR/built-from             the name of the source tree the DLL was built from
# A second run finds these in place, built from the same source, and does nothing.
#
# Usage: scripts/build-libflac-windows.sh [OUT_DIR]   (default build-windows/libflac)
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT_DIR="${1:-$ROOT/build-windows/libflac}"
mkdir -p "$OUT_DIR"
OUT_DIR="$(cd "$OUT_DIR" && pwd)"
OBJDUMP="${MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump}"

tree="$(bash "$ROOT/scripts/fetch-flac-source.sh" "$OUT_DIR/source")"
source_name="$(basename "$tree")"
if [ -f "$OUT_DIR/libFLAC.dll" ] && [ -f "$OUT_DIR/include/FLAC/all.h" ] && [ -f "$OUT_DIR/COPYING.Xiph" ] \
    && [ -f "$OUT_DIR/COPYING.MinGW-w64" ] && [ "$(cat "$OUT_DIR/built-from" 2>/dev/null)" = "$source_name" ]; then
  exit 0
fi

echo "build-libflac-windows: building libFLAC from $source_name"
# The encoder's threads come from winpthreads. "-static" makes the linker take
# the static winpthread and libgcc, so the DLL needs nothing beyond the system
# DLLs. Stack protection and fortification would make it depend on libssp,
# which the system does not have.
rm -rf "$OUT_DIR/build"
fail() {
  tail -n 20 "$1" >&2
  echo "build-libflac-windows: $2 failed (see $1)" >&2
  exit 1
}
cmake -S "$tree" -B "$OUT_DIR/build" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=ON \
  -DENABLE_MULTITHREADING=ON \
  -DWITH_OGG=OFF \
  -DBUILD_CXXLIBS=OFF \
  -DBUILD_PROGRAMS=OFF \
  -DBUILD_TESTING=OFF \
  -DBUILD_DOCS=OFF \
  -DBUILD_EXAMPLES=OFF \
  -DINSTALL_MANPAGES=OFF \
  -DINSTALL_PKGCONFIG_MODULES=OFF \
  -DINSTALL_CMAKE_CONFIG_MODULE=OFF \
  -DWITH_STACK_PROTECTOR=OFF \
  -DWITH_FORTIFY_SOURCE=OFF \
  -DENABLE_WERROR=OFF \
  -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc -static" \
  >"$OUT_DIR/configure.log" 2>&1 || fail "$OUT_DIR/configure.log" "configuring libFLAC"
if ! grep -q '^#define HAVE_PTHREAD 1' "$OUT_DIR/build/config.h"; then
  echo "build-libflac-windows: the cross compiler offers no pthreads; libFLAC would encode on one thread" >&2
  exit 1
fi
cmake --build "$OUT_DIR/build" --target FLAC -j 2 >"$OUT_DIR/build.log" 2>&1 || fail "$OUT_DIR/build.log" "building libFLAC"

# flac's build may give the library a versioned name (libFLAC-14.dll, say); the
# program looks for libFLAC.dll.
dll="$(find "$OUT_DIR/build" -name 'libFLAC*.dll' ! -name '*++*' | sort | head -n 1)"
if [ -z "$dll" ]; then
  echo "build-libflac-windows: the build produced no libFLAC DLL (see $OUT_DIR/build.log)" >&2
  exit 1
fi
imports="$("$OBJDUMP" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')"
if [ "$imports" != "kernel32.dll msvcrt.dll " ]; then
  echo "build-libflac-windows: $dll imports $imports; expected only kernel32.dll and msvcrt.dll" >&2
  exit 1
fi
"${MINGW_STRIP:-x86_64-w64-mingw32-strip}" -o "$OUT_DIR/libFLAC.dll.part" "$dll"
rm -rf "$OUT_DIR/include.part"
mkdir -p "$OUT_DIR/include.part"
cp -R "$tree/include/FLAC" "$OUT_DIR/include.part/FLAC"
cp "$tree/COPYING.Xiph" "$OUT_DIR/COPYING.Xiph"
cp /usr/share/doc/mingw-w64-common/copyright "$OUT_DIR/COPYING.MinGW-w64"
rm -rf "$OUT_DIR/include"
mv "$OUT_DIR/include.part" "$OUT_DIR/include"
mv "$OUT_DIR/libFLAC.dll.part" "$OUT_DIR/libFLAC.dll"
echo "$source_name" >"$OUT_DIR/built-from"
echo "build-libflac-windows: $OUT_DIR/libFLAC.dll (from $(basename "$dll"))"
