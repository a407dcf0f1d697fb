#!/bin/sh
# Builds the core's tests with AddressSanitizer and UndefinedBehaviorSanitizer
# into ./build-asan and runs them: any bad memory access, leak or undefined
# behaviour fails the run. The sweeps that cut every operation off at every
# change run in the plain build only; under the sanitizers they would take
# most of an hour.
set -eu
cd "$(dirname "$0")/.."
launcher=""
if command -v ccache >/dev/null 2>&1; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
# shellcheck disable=SC2086
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DKORVA_SANITIZE=ON $launcher
cmake --build build-asan -j "$(nproc)" --target korva_tests
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  build-asan/tests/korva_tests --gtest_filter='-OperationCutTest.*' --gtest_brief=1
