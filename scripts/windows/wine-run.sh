#!/bin/sh
# Runs a Windows program under wine with the project's wine prefix (made once
# by scripts/windows/deps.sh) and without wine's debug chatter. CMake's
# CROSSCOMPILING_EMULATOR in cmake/windows-toolchain.cmake, so ctest runs the
# Windows tests through it:
#   scripts/windows/wine-run.sh build-windows/program.exe args...
# The exit status is the program's.
set -eu
export WINEPREFIX="${WINEPREFIX:-${KORVA_CACHE_DIR:-$HOME/.cache/korva-zid}/wineprefix}"
export WINEDEBUG=-all
# No Mono and no Gecko: nothing here needs them, and wine would try to fetch them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# A missing prefix is made by wine itself on first use (slowly).
mkdir -p "$(dirname "$WINEPREFIX")"
exec wine "$@"
