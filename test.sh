#!/usr/bin/env bash
# Installs what the tests need, builds a Debug build with AddressSanitizer and
# UBSan into build-test/, runs every test with CTest, then builds the fuzz
# targets with clang and runs each briefly from its seed corpus.
# FUZZ_SECONDS sets the time per fuzz target (default 30, 0 skips fuzzing);
# FUZZ_SEED the fuzzer's random seed (default 1, so a run can be repeated
# exactly; set another to explore further).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARON_SANITIZE=ON >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 900

fuzz_seconds="${FUZZ_SECONDS:-30}"
if [ "$fuzz_seconds" != "0" ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSARON_FUZZ=ON -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  shopt -s nullglob
  for target in build-fuzz/bin/*_fuzz; do
    name="$(basename "$target")"
    work="$(mktemp -d)"
    seeds="fuzz/corpus/$name"
    mkdir -p "$seeds"
    echo "fuzzing $name for ${fuzz_seconds}s"
    if ! "$target" -max_total_time="$fuzz_seconds" -seed="${FUZZ_SEED:-1}" -rss_limit_mb=2048 -timeout=20 \
         -artifact_prefix="$work/" -print_final_stats=0 "$work" "$seeds" >"$work/log" 2>&1; then
      tail -n 60 "$work/log"
      echo "fuzz target $name found a fault; the input is in $work"
      exit 1
    fi
    rm -rf "$work"
  done
  echo "fuzzing: no findings"
fi
