#!/usr/bin/env bash
# Installs what is missing, builds, and prints the test merge of the sample merge in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh >&2
exec "${MERGIX_BUILD_DIR:-build}/mergix" --test-merge examples/sample.mgx "$@"
