#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo use, and only
# those that are missing, so that a second run changes nothing.
set -euo pipefail

packages=(
  cmake make g++ python3 libgtest-dev libgmock-dev libbenchmark-dev
  libflac-dev flac sox python3-numpy python3-soundfile
  g++-mingw-w64-x86-64 wine wine64 icoutils librsvg2-bin dpkg-dev zip
  clang libclang-rt-14-dev time
  nlohmann-json3-dev chromium
)

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
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
