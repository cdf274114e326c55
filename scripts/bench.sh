#!/usr/bin/env bash
# Runs every benchmark, each beside its reference in the same run, and ends with one table of
# the figures that have goals. The large databases come with the repository (bench/data/).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh >&2
build="${MERGIX_BUILD_DIR:-build}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

run() {
    local name="$1"
    shift
    echo "== $name" | tee -a "$log"
    if ! "$@" 2>&1 | tee -a "$log"; then
        echo "   ($name failed)" | tee -a "$log"
    fi
}
run template "$build/bench/bench_template"
run database "$build/bench/bench_database"
run smtp "$build/bench/bench_smtp"
run merge python3 bench/bench_merge.py "$build"
run recipients python3 bench/bench_recipients.py "$build"
run startup python3 bench/bench_startup.py "$build"
run tls python3 bench/bench_tls.py "$build"
run journal python3 bench/bench_journal.py "$build"
run results python3 bench/bench_results_window.py "$build"
run lists /usr/bin/python3 bench/bench_lists.py "$build"
run attachments /usr/bin/python3 bench/bench_attachments.py "$build"
run server /usr/bin/python3 bench/bench_server.py "$build"

echo
echo "Figures with goals"
printf '%-12s %s\n' "benchmark" "figure"
awk '/^== / { name = $2; next } /goal|failed/ { sub(/^ +/, ""); printf "%-12s %s\n", name, $0 }' "$log"
