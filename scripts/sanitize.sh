#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/
# (or $MERGIX_BUILD_DIR) and runs the whole test suite there. The database reader's own
# standard error is passed to the test log, so that a report from inside it is seen too.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir="${MERGIX_BUILD_DIR:-build-sanitize}"
# GCC 12 warns falsely about std::function inside std::regex once the sanitizers are on.
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
flags+=" -Wno-maybe-uninitialized"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERGIX_BUILD_BENCH=OFF \
    -DMERGIX_WARNINGS_AS_ERRORS=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build_dir"
cd "$build_dir"
export MERGIX_DBREADER_STDERR=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --output-on-failure --timeout 900 -j "$(nproc)"
