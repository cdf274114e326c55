#!/usr/bin/env bash
# Builds the fuzz targets with clang (address and undefined-behaviour sanitizers) in
# build-fuzz/ and runs each fuzz target for the given number of seconds (default 180): the
# template language, the parser of the database reader's stream and the CSV reader.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-180}"
./scripts/install-deps.sh
for package in clang libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q clang libclang-rt-14-dev
        break
    fi
done
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMERGIX_BUILD_FUZZ=ON -DMERGIX_BUILD_TESTS=OFF -DMERGIX_BUILD_BENCH=OFF
for target in template reader_stream csv_file spreadsheet; do
    cmake --build build-fuzz --target "fuzz_$target"
    corpus="build-fuzz/corpus-$target"
    mkdir -p "$corpus"
    build-fuzz/tests/fuzz/"fuzz_$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 "$corpus" "tests/fuzz/corpus/$target"
done
