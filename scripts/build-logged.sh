# Sourced by the scripts that build a tree of their own (sanitize.sh, fuzz.sh):
#
#   build_logged WHO SUITE LOG BUILD_DIR TARGET CMAKE_ARGS...
#
# configures BUILD_DIR from the source folder with CMAKE_ARGS and builds TARGET (all
# when empty), with the output of both in LOG; says in one line how long it took. On
# a failure it shows the end of the log, notes "SUITE: the build FAILED" for the test
# run's summary (QRP_TEST_SUMMARY, when set) and returns 1.
build_logged() {
  local who=$1 suite=$2 log=$3 dir=$4 target=$5 started
  shift 5
  started=$(date +%s)
  if ! { cmake -S . -B "$dir" -G Ninja "$@" &&
         cmake --build "$dir" -j"$(nproc)" ${target:+--target "$target"}; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "$who: the build failed (log: $log)" >&2
    [ -z "${QRP_TEST_SUMMARY:-}" ] || echo "$suite: the build FAILED" >>"$QRP_TEST_SUMMARY"
    return 1
  fi
  echo "$who: built in $(( $(date +%s) - started )) s (log: $log)"
}
