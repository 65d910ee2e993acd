#!/usr/bin/env bash
# Runs a Windows program under Debian's 64-bit wine in the project's own wine
# prefix, without wine's debug chatter: the command-line tests use this as the
# prefix of the program they run. The prefix is made by `make windows`.
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${QV_WINEPREFIX:-$ROOT/build-windows/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# wine turns the Unix bytes of arguments and file names into Unicode by the
# locale: a UTF-8 one lets every name through, as on a Windows system whose
# programs declare the UTF-8 code page.
export LC_ALL=C.UTF-8
# wine's background processes (services.exe, explorer.exe...) start with the
# first program of a wine server's life and inherit its output: started from a
# test, they would hold the test's pipes open until the server ends. So a new
# server (wineserver exits 0 when it started one, 2 when one is running) gets a
# first, empty program with no output of ours, and it lingers 30 seconds after
# the last program so that the next run finds it.
if /usr/lib/wine/wineserver -p30 </dev/null >/dev/null 2>&1; then
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
exec /usr/lib/wine/wine64 "$@"
