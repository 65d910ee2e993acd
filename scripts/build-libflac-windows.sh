#!/usr/bin/env bash
# Builds libFLAC.dll for the Windows program from Debian's flac source package,
# with the mingw-w64 cross compilers: a shared library without Ogg, programs,
# tests, documentation or examples. Everything lands below OUT_DIR:
#   OUT_DIR/libFLAC.dll      the library the program loads from its own directory
#   OUT_DIR/include/FLAC/    the headers the program is compiled against
#   OUT_DIR/COPYING.Xiph     libFLAC's licence, shipped in the package
# A second run finds these in place and does nothing.
#
# Usage: scripts/build-libflac-windows.sh [OUT_DIR]   (default build-windows/libflac)
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT_DIR="${1:-$ROOT/build-windows/libflac}"
mkdir -p "$OUT_DIR"
OUT_DIR="$(cd "$OUT_DIR" && pwd)"

if [ -f "$OUT_DIR/libFLAC.dll" ] && [ -f "$OUT_DIR/include/FLAC/all.h" ] && [ -f "$OUT_DIR/COPYING.Xiph" ]; then
  exit 0
fi

SRC_PARENT="$OUT_DIR/source"
mkdir -p "$SRC_PARENT"

find_source_tree() {
  find "$SRC_PARENT" -mindepth 1 -maxdepth 1 -type d -name 'flac-*' | sort | tail -n 1
}

# Source entries for the archives this machine already installs from: every
# enabled deb822 stanza or one-line "deb" entry that points at a Debian archive
# gets a matching deb-src entry in one file of ours, written once.
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/qv-hdcd-deb-src.sources
  if [ -f "$list" ] || grep -rqsE '^(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "build-libflac-windows: no deb-src entry for apt; run as root once, or add one by hand." >&2
    exit 1
  fi
  /usr/bin/python3 - "$list" <<'PY'
import glob, re, sys

stanzas = []
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    with open(path) as handle:
        for block in re.split(r"\n\s*\n", handle.read()):
            fields = {}
            for line in block.splitlines():
                if line.startswith("#") or ":" not in line or line[:1].isspace():
                    continue
                key, value = line.split(":", 1)
                fields[key.strip()] = value.strip()
            if "deb" in fields.get("Types", "").split() and fields.get("Enabled", "yes") != "no" \
                    and "debian" in fields.get("URIs", ""):
                stanzas.append(fields)
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        lines = open(path).read().splitlines()
    except OSError:
        continue
    for line in lines:
        words = line.split("#", 1)[0].split()
        if len(words) >= 4 and words[0] == "deb":
            options = []
            if words[1].startswith("["):
                while not words[1].endswith("]"):
                    options.append(words.pop(1))
                options.append(words.pop(1))
            if "debian" in words[1]:
                fields = {"URIs": words[1], "Suites": words[2], "Components": " ".join(words[3:])}
                match = re.search(r"signed-by=([^ \]]+)", " ".join(options))
                if match:
                    fields["Signed-By"] = match.group(1)
                stanzas.append(fields)
if not stanzas:
    sys.exit("build-libflac-windows: found no Debian archive among apt's sources")
with open(sys.argv[1], "w") as out:
    for fields in stanzas:
        out.write("Types: deb-src\n")
        for key in ("URIs", "Suites", "Components", "Signed-By"):
            if key in fields:
                out.write("%s: %s\n" % (key, fields[key]))
        out.write("\n")
PY
  apt-get -o DPkg::Lock::Timeout=900 update -qq
}

tree="$(find_source_tree)"
if [ -z "$tree" ]; then
  ensure_deb_src
  if ! command -v dpkg-source >/dev/null; then
    echo "build-libflac-windows: dpkg-dev is needed for apt-get source (make deps installs it)." >&2
    exit 1
  fi
  echo "build-libflac-windows: fetching Debian's flac source"
  if ! (cd "$SRC_PARENT" && apt-get source -qq flac >/dev/null 2>"$SRC_PARENT/apt-get-source.log"); then
    # The source index may be older than the entry written above.
    apt-get -o DPkg::Lock::Timeout=900 update -qq
    (cd "$SRC_PARENT" && apt-get source -qq flac >/dev/null)
  fi
  tree="$(find_source_tree)"
  if [ -z "$tree" ]; then
    echo "build-libflac-windows: apt-get source flac gave no flac-* directory" >&2
    exit 1
  fi
fi

echo "build-libflac-windows: building libFLAC from $(basename "$tree")"
# Stack protection and fortification would make the library depend on libssp,
# which the system does not have; libgcc is linked in for the same reason.
cmake -S "$tree" -B "$OUT_DIR/build" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=ON \
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
  -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc" \
  >"$OUT_DIR/configure.log"
cmake --build "$OUT_DIR/build" --target FLAC -j 2 >"$OUT_DIR/build.log"

# flac's build may give the library a versioned name (libFLAC-12.dll, say); the
# program looks for libFLAC.dll.
dll="$(find "$OUT_DIR/build" -name 'libFLAC*.dll' ! -name '*++*' | sort | head -n 1)"
if [ -z "$dll" ]; then
  echo "build-libflac-windows: the build produced no libFLAC DLL (see $OUT_DIR/build.log)" >&2
  exit 1
fi
"${MINGW_STRIP:-x86_64-w64-mingw32-strip}" -o "$OUT_DIR/libFLAC.dll.part" "$dll"
rm -rf "$OUT_DIR/include.part"
mkdir -p "$OUT_DIR/include.part"
cp -R "$tree/include/FLAC" "$OUT_DIR/include.part/FLAC"
cp "$tree/COPYING.Xiph" "$OUT_DIR/COPYING.Xiph"
rm -rf "$OUT_DIR/include"
mv "$OUT_DIR/include.part" "$OUT_DIR/include"
mv "$OUT_DIR/libFLAC.dll.part" "$OUT_DIR/libFLAC.dll"
echo "build-libflac-windows: $OUT_DIR/libFLAC.dll (from $(basename "$dll"))"
