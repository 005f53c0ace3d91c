#!/usr/bin/env bash
# Builds the Qt-free libraries and their tests with ThreadSanitizer (clang) and runs
# the plain suites (base, storage and the page picture), whose producer/reader test
# exercises the locks.
#
# The build goes to build-tsan/logs/build.log; the screen gets ctest's lines, the reason
# of every skipped test and a count. With QRP_TEST_SUMMARY set, the count is also added
# to that file.
set -euo pipefail
cd "$(dirname "$0")/.."
SUITE="ThreadSanitizer, plain suites"
LOGS=build-tsan/logs
mkdir -p "$LOGS"
. scripts/build-logged.sh
build_logged sanitize "$SUITE" "$LOGS/build.log" build-tsan "" \
  -DQRP_CORE_ONLY=ON -DQRP_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
status=0
junit=$PWD/$LOGS/ctest.xml
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1" ctest --output-on-failure -j"$(nproc)" -L "base|storage|emf" \
   --output-junit "$junit") || status=$?
python3 scripts/ctest-report.py "$junit" "$SUITE" ${QRP_TEST_SUMMARY:+"$QRP_TEST_SUMMARY"} || status=1
exit "$status"
