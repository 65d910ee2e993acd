#!/usr/bin/env bash
# Runs one fuzz target for a while and reports how many inputs it executed.
#   run-fuzzer.sh BINARY NAME WORK_DIR SECONDS [fresh]
# NAME picks the seed corpus fuzz/corpus/NAME, the crash inputs kept as
# regressions in fuzz/regressions/NAME (all replayed first) and the dictionary
# fuzz/dict/NAME.dict. New inputs go to WORK_DIR/corpus, crash inputs to
# WORK_DIR/artifacts; "fresh" empties WORK_DIR first. Exit status 77 means the
# target was not built.
set -euo pipefail

binary=$1
name=$2
work=$3
seconds=$4
fresh=${5:-}
here=$(cd "$(dirname "$0")" && pwd)

if [ ! -x "$binary" ]; then
  echo "run-fuzzer: $binary is not built (make fuzz-targets)" >&2
  exit 77
fi
if [ "$fresh" = fresh ]; then
  rm -rf "$work"
fi
mkdir -p "$work/corpus" "$work/artifacts"

inputs=("$work/corpus" "$here/corpus/$name")
if [ -d "$here/regressions/$name" ]; then
  inputs+=("$here/regressions/$name")
fi
options=(-max_total_time="$seconds" -timeout=10 -error_exitcode=1 -timeout_exitcode=1 -rss_limit_mb=2048 -max_len=65536
         -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$work/artifacts/")
if [ -f "$here/dict/$name.dict" ]; then
  options+=(-dict="$here/dict/$name.dict")
fi

log="$work/last-run.log"
status=0
TMPDIR="$work" "$binary" "${options[@]}" "${inputs[@]}" >"$log" 2>&1 || status=$?
executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "fuzz $name: ${executed:-?} inputs in ${seconds}s, status $status"
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log" >&2
fi
exit "$status"
