#!/usr/bin/env bash
# Installs the Debian packages of one set-up tier, and only those that are
# missing, so that a second run installs nothing.
#   demo     what building the program and running the demo need (`make demo`,
#            `make build`)
#   package  the demo tier and what building the Debian package needs
#            (`make package`)
#   test     everything: the tiers above and what the tests, the Windows build
#            under wine, the fuzz targets and the benchmark need (`make test`)
# Usage: scripts/install-deps.sh [demo|package|test]   (default demo)
set -euo pipefail

tier="${1:-demo}"

demo_packages=(cmake make g++ libflac-dev nlohmann-json3-dev)
package_packages=(dpkg-dev)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev flac sox python3 python3-numpy python3-soundfile
  g++-mingw-w64-x86-64 wine wine64 icoutils librsvg2-bin zip unzip lintian man-db
  clang libclang-rt-14-dev time strace chromium
)

case "$tier" in
  demo) packages=("${demo_packages[@]}"); recommends=(--no-install-recommends) ;;
  package) packages=("${demo_packages[@]}" "${package_packages[@]}"); recommends=(--no-install-recommends) ;;
  test) packages=("${demo_packages[@]}" "${package_packages[@]}" "${test_packages[@]}"); recommends=() ;;
  *) echo "install-deps: unknown tier '$tier' (demo, package or test)" >&2; exit 1 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root or install them by hand." >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Other apt runs may hold the lock for a while: wait for it rather than fail.
apt=(apt-get -o DPkg::Lock::Timeout=900)
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq "${recommends[@]}" "${missing[@]}"
