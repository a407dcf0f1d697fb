#!/bin/sh
# Configures and builds into ./build, which is then a complete program folder,
# in the Release configuration with every warning an error, as distributions
# and users build it.
# Compiler results are kept by ccache (in ~/.cache/ccache) when it is there,
# so a rebuild from a fresh clone takes a fraction of the first one.
set -eu
cd "$(dirname "$0")/.."
launcher=""
if command -v ccache >/dev/null 2>&1; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
# shellcheck disable=SC2086
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $launcher
cmake --build build -j "$(nproc)"
