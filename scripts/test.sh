#!/bin/sh
# Sets up a fresh Debian 12 machine, builds, and runs every test CI runs:
#   1. the Linux program (Release, every warning an error) and its tests,
#      the core's and the window's (scripts/test-linux.sh);
#   2. the Debian package (scripts/package-linux.sh: lintian,
#      desktop-file-validate, appstreamcli validate) and the installed
#      program as a new user meets it (scripts/check-installed.sh);
#   3. the core's tests built with AddressSanitizer and UBSan
#      (scripts/test-sanitize.sh);
#   4. the Windows dependencies from Debian's sources (built once, then
#      kept in ~/.cache/korva-zid), the Windows program cross-built with
#      mingw-w64 (scripts/build-windows.sh), and its tests under wine
#      (scripts/test-windows.sh), the zip's and the setup's among them.
# 3 runs beside 4: each is mostly one test process on one core. Its output
# goes to build-asan/test.log; its end is shown when it is done.
set -eu
cd "$(dirname "$0")/.."
start=$(date +%s)
scripts/test-linux.sh
echo "test.sh: Linux tests done after $(($(date +%s) - start)) s"
scripts/package-linux.sh
scripts/check-installed.sh
echo "test.sh: Debian package checked after $(($(date +%s) - start)) s"
mkdir -p build-asan
scripts/test-sanitize.sh > build-asan/test.log 2>&1 &
sanitizer=$!
status=0
scripts/build-windows.sh && scripts/test-windows.sh || status=1
echo "test.sh: Windows tests done after $(($(date +%s) - start)) s"
if wait "$sanitizer"; then tail -n 3 build-asan/test.log; else tail -n 60 build-asan/test.log; status=1; fi
echo "test.sh: sanitizer tests done after $(($(date +%s) - start)) s"
[ "$status" -eq 0 ] || { echo "test.sh: FAILED (see above; the sanitizer's output is in build-asan/test.log)"; exit 1; }
echo "test.sh: every test passed in $(($(date +%s) - start)) s"
