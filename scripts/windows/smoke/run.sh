#!/usr/bin/env bash
# Builds the smoke programs of this folder for Windows, checks that they need
# no DLL besides Windows' own, and runs them under wine (and Xvfb, for the wx
# window) with ctest. Then compares the DXT blocks of libsquish with Debian's
# Linux libsquish when that is installed.
#   scripts/windows/smoke/run.sh [build folder]   (default: build-windows-smoke)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../../.." && pwd)
build=${1:-$repo/build-windows-smoke}
cache=${KORVA_CACHE_DIR:-$HOME/.cache/korva-zid}

prefix=$("$repo/scripts/windows/deps.sh" | tail -1)
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/windows-toolchain.cmake" \
  -DKORVA_WINDOWS_DEPS="$prefix"
cmake --build "$build" -j"$(nproc)"

# Every DLL an .exe imports must be one of the wine prefix's system DLLs
# (no libstdc++-6.dll, libwinpthread-1.dll, zlib1.dll, ...).
system32="$cache/wineprefix/drive_c/windows/system32"
status=0
for exe in "$build"/*.exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    if ! find "$system32" -maxdepth 1 -iname "$dll" | grep -q .; then
      echo "FAIL: $(basename "$exe") needs $dll, which is not a Windows DLL"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "every .exe imports Windows' own DLLs only"

# One wine session for all the tests: a wine server that stays up and wine's
# helper processes started once with their output going nowhere. Otherwise
# every test starts them anew (a second or more each), and they would hold
# the test's output open, so that ctest waits for them.
export WINEPREFIX="$(dirname "$prefix")/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb-run -a sh -c '
  wineserver -p30 && wine cmd /c exit < /dev/null > /dev/null 2>&1
  ctest --test-dir "$1" --output-on-failure
  status=$?
  wineserver -k
  exit $status' sh "$build" || status=1

# The same DXT blocks as on Linux.
if [ -f /usr/include/squish.h ]; then
  g++ -std=c++17 -O2 "$here/squish_smoke.cpp" -lsquish -o "$build/squish_smoke_linux"
  linux=$("$build/squish_smoke_linux" | grep '^squish digest')
  windows=$("$repo/scripts/windows/wine-run.sh" "$build/squish_smoke.exe" | tr -d '\r' | grep '^squish digest')
  if [ "$linux" = "$windows" ]; then
    echo "libsquish: Windows and Linux blocks are the same ($windows)"
  else
    echo "FAIL: libsquish blocks differ: Linux '$linux', Windows '$windows'"
    status=1
  fi
else
  echo "libsquish-dev is not installed: Windows and Linux blocks not compared"
fi
exit "$status"
