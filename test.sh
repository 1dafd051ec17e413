#!/usr/bin/env bash
# Sets up, builds everything once (warnings are errors) and runs every test with CTest, the Qt
# parts on the offscreen platform. Then, in their own build folders, the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), and a short run of each fuzz
# target (build-fuzz/, clang and libFuzzer). Prints one summary line per stage and exits
# non-zero when a build, a test or a fuzz run fails.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
source scripts/build_dir.sh

# Seconds of each fuzz run (FUZZ_SECONDS=0 skips fuzzing).
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
summary=()
failed=0

# Runs COMMAND... as stage NAME in a subshell that stops at the first failing command, and
# records its result and time.
stage() {
  local name=$1 start=$SECONDS status
  shift
  set +e
  (set -e; "$@")
  status=$?
  set -e
  local result="passed"
  (( status == 0 )) || { result="FAILED (exit status $status)"; failed=1; }
  summary+=("$(printf '%-28s %s in %d s' "$name:" "$result" $((SECONDS - start)))")
  return 0
}

main_tests() {
  configure_build_dir -DICTALSCOPE_WERROR=ON
  cmake --build "$BUILD_DIR" -j2
  cd "$BUILD_DIR"
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --no-tests=error --timeout 600
}

# Leak detection stays on (the window's tests leak nothing under it either), less fontconfig's
# own allocations (scripts/lsan.supp); UBSan stops at the first report with its stack.
sanitizer_tests() {
  BUILD_DIR=build-asan
  configure_build_dir -DICTALSCOPE_SANITIZE=ON -DICTALSCOPE_BENCH=OFF
  cmake --build "$BUILD_DIR" -j2
  local suppressions="$PWD/scripts/lsan.supp"
  cd "$BUILD_DIR"
  QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
    ctest --output-on-failure -j2 --no-tests=error --timeout 900
}

# Each target fuzzes a copy of its seed corpus; a crash, a sanitizer report, an input slower than
# 10 s or more than 2 GB fails the stage, and the input is kept in build-fuzz/artifacts/.
fuzz_runs() {
  BUILD_DIR=build-fuzz
  configure_build_dir -DCMAKE_CXX_COMPILER="$(command -v clang++)" -DICTALSCOPE_FUZZ=ON \
    -DICTALSCOPE_BENCH=OFF
  cmake --build "$BUILD_DIR" -j2
  local work status=0 target name log
  work=$(mktemp -d)
  mkdir -p "$BUILD_DIR/artifacts"
  for target in "$BUILD_DIR"/tests/fuzz/*_fuzzer; do
    name=$(basename "$target" _fuzzer)
    log="$BUILD_DIR/fuzz-$name.log"
    cp -r "tests/fuzz/corpus/$name" "$work/$name"
    if timeout $((FUZZ_SECONDS + 120)) "$target" -max_total_time="$FUZZ_SECONDS" \
      -rss_limit_mb=2048 -timeout=10 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$PWD/$BUILD_DIR/artifacts/$name-" "$work/$name" >"$log" 2>&1; then
      echo "fuzz $name: $(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no finding"
    else
      status=1
      tail -n 60 "$log"
      echo "fuzz $name: FAILED, see $log and $BUILD_DIR/artifacts/"
    fi
  done
  rm -rf "$work"
  return $status
}

stage "main build and tests" main_tests
stage "sanitizer build and tests" sanitizer_tests
if (( FUZZ_SECONDS > 0 )); then
  stage "fuzz build and runs" fuzz_runs
fi
printf 'test.sh: %s\n' "${summary[@]}"
exit $failed
