#!/usr/bin/env bash
# Builds the Debian package (build-package/mergix_VERSION_amd64.deb, or $MERGIX_BUILD_DIR) in a
# Release build and checks it with desktop-file-validate, appstreamcli and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir="${MERGIX_BUILD_DIR:-build-package}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMERGIX_BUILD_TESTS=OFF \
    -DMERGIX_BUILD_BENCH=OFF
cmake --build "$build_dir"
(cd "$build_dir" && cpack -G DEB)
deb="$(ls "$build_dir"/mergix_*_amd64.deb)"
desktop-file-validate res/mergix.desktop
appstreamcli validate --no-net res/io.corvane.Mergix.metainfo.xml
# Errors fail the build; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$deb"
