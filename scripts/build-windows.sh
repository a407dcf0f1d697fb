#!/usr/bin/env bash
# Builds the program for 64-bit Windows, cross-compiled on Debian with
# mingw-w64: the window (korva-zid.exe), the command line
# (korva-zid-cli.exe), the tools (tools/crunch.exe, tools/quickbms.exe), the
# core's tests and the window's tests. The build folder is a Windows program
# folder.
#
#   scripts/build-windows.sh [--no-window] [build folder]
#       (default: build-windows; --no-window leaves out the window and its
#        tests)
#
# The Windows libraries come from scripts/windows/deps.sh (built once, then
# kept). Exits non-zero when anything fails.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
window=ON
if [ "${1:-}" = --no-window ]; then
  window=OFF
  shift
fi
build=${1:-$repo/build-windows}

# By its real path: the prefix's own files (wx-config, the pkg-config files)
# name it so, also when the cache folder is reached through a link.
prefix=$(realpath "$("$repo/scripts/windows/deps.sh" | tail -1)")
start=$SECONDS
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/windows-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKORVA_WINDOWS_DEPS="$prefix" -DKORVA_WINDOW="$window" "${launcher[@]}"
cmake --build "$build" -j"$(nproc)"
echo "build-windows.sh: built $build in $((SECONDS - start)) s"
