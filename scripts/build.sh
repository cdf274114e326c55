#!/usr/bin/env bash
# Configures and builds Mergix, its tests and benchmarks in build/ (or $MERGIX_BUILD_DIR).
# A unity build (several sources compiled as one) halves the time on a small machine;
# -DCMAKE_UNITY_BUILD=OFF compiles each file on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${MERGIX_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${MERGIX_BUILD_TYPE:-RelWithDebInfo}" \
    -DCMAKE_UNITY_BUILD=ON -DMERGIX_BUILD_TESTS=ON -DMERGIX_BUILD_BENCH=ON \
    -DMERGIX_WARNINGS_AS_ERRORS=ON "$@"
cmake --build "$build_dir"
