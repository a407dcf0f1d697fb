#!/bin/sh
# The quick round for working on the program: sets up what is missing,
# builds the Linux program and runs its tests (the core's and the window's).
# scripts/test.sh runs this and everything else CI runs.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# The tests' temporary game folders go to memory when it can hold them:
# their many flushes to disk then cost nothing, and no test can see the
# difference.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
ctest --test-dir build --output-on-failure -j "$(nproc)"
