#!/usr/bin/env bash
# Unpacks Debian's flac source package, version FLAC_SOURCE_VERSION (default
# 1.5.0+ds-2, from the trixie suite), below DEST_PARENT and prints the path of
# the unpacked tree. apt runs with a private configuration (its own source list,
# package lists and cache under DEST_PARENT/apt), so the machine's own apt set-up
# is neither read for sources nor changed. A second run finds the tree and only
# prints its path.
#
# Usage: scripts/fetch-flac-source.sh DEST_PARENT
set -euo pipefail

VERSION="${FLAC_SOURCE_VERSION:-1.5.0+ds-2}"
SUITE="${FLAC_SOURCE_SUITE:-trixie}"
DEST_PARENT="${1:?usage: fetch-flac-source.sh DEST_PARENT}"
mkdir -p "$DEST_PARENT"
DEST_PARENT="$(cd "$DEST_PARENT" && pwd)"

tree="$DEST_PARENT/flac-${VERSION%-*}"
if [ -f "$tree/.qv-unpacked" ]; then
  echo "$tree"
  exit 0
fi

if ! command -v dpkg-source >/dev/null; then
  echo "fetch-flac-source: dpkg-dev is needed for apt-get source." >&2
  exit 1
fi

apt_dir="$DEST_PARENT/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
cat >"$apt_dir/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $SUITE main
LIST
apt_options=(
  -o "Dir::Etc::sourcelist=$apt_dir/sources.list"
  -o "Dir::Etc::sourceparts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=root"
)
if ! apt-get "${apt_options[@]}" -qq update >"$apt_dir/update.log" 2>&1; then
  echo "fetch-flac-source: apt-get update for the $SUITE sources failed (see $apt_dir/update.log)" >&2
  exit 1
fi
rm -rf "$tree"
if ! (cd "$DEST_PARENT" && apt-get "${apt_options[@]}" -qq source "flac=$VERSION" >"$apt_dir/source.log" 2>&1); then
  echo "fetch-flac-source: apt-get source flac=$VERSION failed (see $apt_dir/source.log)" >&2
  exit 1
fi
if [ ! -f "$tree/include/FLAC/all.h" ]; then
  echo "fetch-flac-source: apt-get source gave no $tree" >&2
  exit 1
fi
touch "$tree/.qv-unpacked"
echo "$tree"
