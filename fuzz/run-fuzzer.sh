#!/usr/bin/env bash
# run-fuzzer.sh BINARY NAME WORK_DIR SECONDS [fresh]: runs one fuzz target on fuzz/corpus/NAME, the
# crash inputs kept in fuzz/regressions/NAME and fuzz/dict/NAME.dict, growing WORK_DIR/corpus ("fresh"
# empties WORK_DIR first), and reports how many inputs it executed. Exit 77: the target is not built.
set -euo pipefail
binary=$1 name=$2 work=$3 seconds=$4
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$binary" ] || { echo "run-fuzzer: $binary is not built (make fuzz-targets)" >&2; exit 77; }
[ "${5:-}" != fresh ] || rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
inputs=("$work/corpus" "$here/corpus/$name")
[ ! -d "$here/regressions/$name" ] || inputs+=("$here/regressions/$name")
options=(-max_total_time="$seconds" -timeout=10 -error_exitcode=1 -timeout_exitcode=1 -rss_limit_mb=2048
         -max_len=65536 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$work/artifacts/")
[ ! -f "$here/dict/$name.dict" ] || options+=(-dict="$here/dict/$name.dict")
TMPDIR="$work" "$binary" "${options[@]}" "${inputs[@]}" >"$work/last-run.log" 2>&1 && status=0 || status=$?
executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/last-run.log" | tail -n 1)
echo "fuzz $name: ${executed:-?} inputs in ${seconds}s, status $status"
[ "$status" -eq 0 ] || tail -n 60 "$work/last-run.log" >&2
exit "$status"
