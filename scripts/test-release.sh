#!/bin/sh
# Builds the program as distributions and users build it, in the Release
# configuration with every warning an error, into ./build-release, and runs
# the core's quick tests on it.
set -eu
cd "$(dirname "$0")/.."
launcher=""
if command -v ccache >/dev/null 2>&1; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
# shellcheck disable=SC2086
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release $launcher
cmake --build build-release -j "$(nproc)"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
build-release/tests/korva_tests --gtest_filter='-OperationCutTest.*:JournalTest.AnUndo*:RecordTest.AGameUpdate*' --gtest_brief=1
