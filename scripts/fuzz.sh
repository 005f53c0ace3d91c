#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs them for the given seconds in all (default 240), shared equally among the
# targets, each on its seed corpus. Any crash, leak, input slower than 1 s or allocation
# over 256 MiB fails. A target may set its own bounds in fuzz/<target>.options (libFuzzer
# options, one a line, given after the common ones so that they win).
#
# The build and every target's own output (the fuzzer's progress and whatever the
# inputs make the libraries print) go to log files under build-fuzz/logs; the screen
# gets one line per target. With QRP_TEST_SUMMARY set, a line for the run's summary is
# added to that file.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TOTAL=${1:-240}
LOGS=build-fuzz/logs
mkdir -p "$LOGS" build-fuzz/artifacts

. scripts/build-logged.sh
build_logged fuzz "fuzz targets" "$LOGS/build.log" build-fuzz fuzz_targets \
  -DQRP_BUILD_FUZZ=ON -DQRP_BUILD_TESTS=OFF -DQRP_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"

targets=()
for target in build-fuzz/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] && targets+=("$target")
done
[ "${#targets[@]}" -gt 0 ] || { echo "fuzz: no targets were built" >&2; exit 1; }
SECONDS_EACH=$((SECONDS_TOTAL / ${#targets[@]}))
[ "$SECONDS_EACH" -ge 1 ] || SECONDS_EACH=1

ran=0
failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  own=()
  if [ -f "fuzz/$name.options" ]; then
    mapfile -t own < <(grep -v -e '^#' -e '^[[:space:]]*$' "fuzz/$name.options")
  fi
  seeds="fuzz/corpus/${name#fuzz_}"
  log="$LOGS/$name.log"
  work=$(mktemp -d)
  status=0
  # AddressSanitizer holds freed blocks back for reuse checks (256 MiB by default), which
  # counts against -rss_limit_mb; a 16 MiB hold keeps the limit about the inputs' memory.
  ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
  LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp" QT_QPA_PLATFORM=offscreen "$target" \
    -artifact_prefix=build-fuzz/artifacts/"$name"- -max_total_time="$SECONDS_EACH" -timeout=1 -rss_limit_mb=2048 \
    -malloc_limit_mb=256 -print_final_stats=1 "${own[@]}" "$work" "$seeds" >"$log" 2>&1 || status=$?
  rm -rf "$work"
  ran=$((ran + 1))
  # A target that fails on its seeds prints no coverage: the lines must not end the run.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1 || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2 || true)
  if [ "$status" -eq 0 ]; then
    echo "fuzz: $name: ${runs:-?} inputs in ${SECONDS_EACH} s, coverage ${cov:-?}, no failure (log: $log)"
  else
    failed=$((failed + 1))
    reason=$(grep -m1 -o -E 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer): [^(]*' "$log" ||
             grep -m1 -E 'runtime error:|SUMMARY:' "$log" || echo "status $status")
    echo "fuzz: $name: FAILED after ${runs:-?} inputs: $reason (log: $log; input in build-fuzz/artifacts)"
  fi
done
[ -z "${QRP_TEST_SUMMARY:-}" ] ||
  echo "fuzz targets: $ran ran for $SECONDS_EACH s each ($SECONDS_TOTAL s in all), $((ran - failed)) without failure, $failed failed" \
       >>"$QRP_TEST_SUMMARY"
[ "$failed" -eq 0 ]
