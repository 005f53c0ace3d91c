#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the unit and GUI suites under
# ctest (with a real CUPS queue that prints to PDF), the ThreadSanitizer run of the
# plain suites (base, storage, page picture), the fuzz targets for 240 seconds in all, and the
# Debian package, installed, checked and removed. The build is warning-free or fails.
#
# Each phase starts with a "==" line; long outputs (the sanitizer and fuzzing builds,
# every fuzz target's own output) are kept in log files that the lines name. A test
# that is skipped says why. The run ends with one line per suite and fails when any
# suite failed. The print system is left as it was found.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)
START=$(date +%s)

phase() { echo; echo "== $* ($(( $(date +%s) - START )) s)"; }

phase "packages"
bash scripts/install-deps.sh || exit 1

phase "build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null ||
  exit 1
cmake --build build -j"$JOBS" || exit 1

LOGS=$ROOT/build/test-logs
mkdir -p "$LOGS"
export QRP_TEST_SUMMARY=$LOGS/summary.txt
: >"$QRP_TEST_SUMMARY"
failed=0

phase "print system"
bash scripts/cups-pdf-queue.sh start || exit 1
trap 'echo; bash "$ROOT/scripts/cups-pdf-queue.sh" stop || true' EXIT

# Runs one suite; each adds its own line to the summary, and one that stops before it
# can gets a line here.
suite() {
  local name=$1 before
  shift
  before=$(wc -l <"$QRP_TEST_SUMMARY")
  "$@" || failed=1
  [ "$(wc -l <"$QRP_TEST_SUMMARY")" -gt "$before" ] || echo "$name: FAILED before it could count" >>"$QRP_TEST_SUMMARY"
}
ctest_main() {
  local status=0
  (cd build && ctest --output-on-failure -j"$JOBS" --timeout 600 --output-junit "$LOGS/ctest.xml") || status=1
  python3 scripts/ctest-report.py "$LOGS/ctest.xml" "ctest, main suite" "$QRP_TEST_SUMMARY" || status=1
  return $status
}

phase "tests (ctest)"
suite "ctest, main suite" ctest_main

phase "ThreadSanitizer"
suite "ThreadSanitizer, plain suites" bash scripts/sanitize.sh

phase "fuzzing"
suite "fuzz targets" bash scripts/fuzz.sh 240

phase "Debian package"
suite "package check" bash scripts/package-smoke.sh build

phase "summary"
cat "$QRP_TEST_SUMMARY"
if [ "$failed" -ne 0 ]; then
  echo "FAILED: see the suites above"
  exit 1
fi
echo "all suites passed"
