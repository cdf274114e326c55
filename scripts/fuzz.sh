#!/usr/bin/env bash
# Builds the fuzz targets with clang (address and undefined-behaviour sanitizers) in
# build-fuzz/ and fuzzes the template language for the given number of seconds (default 180).
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
cmake --build build-fuzz --target fuzz_template
corpus="build-fuzz/corpus-template"
mkdir -p "$corpus"
build-fuzz/tests/fuzz/fuzz_template -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 "$corpus" tests/fuzz/corpus/template
