#!/usr/bin/env bash
# Runs the program on its built-in example and shows what it does.
set -euo pipefail
build_dir=${1:-build}
program="$build_dir/qv-hdcd"

echo "== $program --version"
"$program" --version
echo
echo "== $program --selftest"
"$program" --selftest
