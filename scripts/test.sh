#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the unit and GUI suites under
# ctest (with a real CUPS queue that prints to PDF), the ThreadSanitizer run of the
# storage suite, and each fuzz target for 60 seconds.
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
(cd build && ctest --output-on-failure -j"$JOBS" --timeout 600)

echo "== ThreadSanitizer"
bash scripts/sanitize.sh

echo "== fuzzing"
bash scripts/fuzz.sh 60
