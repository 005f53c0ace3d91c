#!/usr/bin/env bash
# Builds the Qt-free libraries and their tests with ThreadSanitizer (clang) and runs
# the plain suites (base, storage and the page picture), whose producer/reader test
# exercises the locks.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DQRP_CORE_ONLY=ON -DQRP_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
cmake --build build-tsan -j"$(nproc)"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1" ctest --output-on-failure -j"$(nproc)" -L "base|storage|emf")
