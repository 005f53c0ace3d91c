#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs each for the given seconds (default 60) on its seed corpus. Any crash, leak,
# input slower than 1 s or allocation over 256 MiB fails.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DQRP_BUILD_FUZZ=ON -DQRP_BUILD_TESTS=OFF -DQRP_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets
for target in build-fuzz/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  echo "-- $name for ${SECONDS_EACH}s (seeds: $seeds)"
  mkdir -p build-fuzz/artifacts
  LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp" QT_QPA_PLATFORM=offscreen "$target" \
    -artifact_prefix=build-fuzz/artifacts/ -max_total_time="$SECONDS_EACH" -timeout=1 -rss_limit_mb=2048 \
    -malloc_limit_mb=256 -print_final_stats=1 "$work" "$seeds"
  rm -rf "$work"
done
