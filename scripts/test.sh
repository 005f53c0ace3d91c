#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the unit and GUI suites under
# ctest (with a real CUPS queue that prints to PDF), the ThreadSanitizer run of the
# plain suites (base, storage, page picture), and each fuzz target for 60 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)

bash scripts/install-deps.sh

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"

echo "== print system"
bash scripts/cups-pdf-queue.sh start
trap 'bash "$ROOT/scripts/cups-pdf-queue.sh" stop || true' EXIT

echo "== tests"
CTEST_LOG=$(mktemp)
(cd build && ctest --output-on-failure -j"$JOBS" --timeout 600) 2>&1 | tee "$CTEST_LOG"

echo "== ThreadSanitizer"
bash scripts/sanitize.sh

echo "== fuzzing"
bash scripts/fuzz.sh 60

echo "== Debian package"
bash scripts/package-smoke.sh build

# ctest's own summary scrolled away above; repeat its count as the run's last line.
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$CTEST_LOG" | tail -n1)
failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
total=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
rm -f "$CTEST_LOG"
echo "ctest: $((total - failed)) passed, $failed failed"
