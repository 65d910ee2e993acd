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
exec /usr/lib/wine/wine64 "$@"
