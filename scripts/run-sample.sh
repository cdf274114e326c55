#!/usr/bin/env bash
# Installs what the program needs, builds the program alone, and prints the test merge of the
# sample merge in examples/. A build folder made by the test command is reused as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --run >&2 # standard output is the test merge alone
build_dir="${MERGIX_BUILD_DIR:-build}"
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    # The quickest build of the program: optimised, no debug information, no tests.
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_UNITY_BUILD=ON \
        -DMERGIX_BUILD_TESTS=OFF -DMERGIX_BUILD_BENCH=OFF -DMERGIX_WARNINGS_AS_ERRORS=ON >&2
fi
cmake --build "$build_dir" --target mergix mergix-dbreader >&2
exec "$build_dir/mergix" --test-merge examples/sample.mgx "$@"
