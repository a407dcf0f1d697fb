#!/bin/sh
# Sets up a fresh Debian 12 machine, builds, and runs every test CI runs:
#   1. the Linux program (Release, every warning an error) and its tests,
#      the core's and the window's (scripts/test-linux.sh);
#   2. the core's tests built with AddressSanitizer and UBSan
#      (scripts/test-sanitize.sh);
#   3. the Windows dependencies from Debian's sources (built once, then
#      kept in ~/.cache/korva-zid), the Windows program cross-built with
#      mingw-w64 (scripts/build-windows.sh), and its tests under wine
#      (scripts/test-windows.sh).
set -eu
cd "$(dirname "$0")/.."
start=$(date +%s)
scripts/test-linux.sh
echo "test.sh: Linux tests done after $(($(date +%s) - start)) s"
scripts/test-sanitize.sh
echo "test.sh: sanitizer tests done after $(($(date +%s) - start)) s"
scripts/build-windows.sh
scripts/test-windows.sh
echo "test.sh: every test passed in $(($(date +%s) - start)) s"
