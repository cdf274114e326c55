#!/usr/bin/env bash
# Configures and builds Mergix, its tests and benchmarks in build/ (or $MERGIX_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${MERGIX_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${MERGIX_BUILD_TYPE:-RelWithDebInfo}" \
    -DMERGIX_WARNINGS_AS_ERRORS=ON "$@"
cmake --build "$build_dir"
