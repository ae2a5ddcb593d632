#!/usr/bin/env bash
# Runs every test: the C++ tests (plain and with AddressSanitizer + UBSan),
# then the Python tests against the installed package. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JOBS=$(nproc)

setup_environment "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev \
  libprotobuf-dev protobuf-compiler clang-16 libclang-rt-16-dev
pip_install cmake ninja pytest pytest-timeout protobuf grpcio-tools crcmod numpy

run_ctest() {  # build directory, extra cmake options...
  local dir=$1
  shift
  # The oracle tests run under the interpreter that has their tools.
  cmake -S . -B "$dir" -G Ninja -DOVIK_BUILD_TESTS=ON -DOVIK_PYTHON="$PYTHON" "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  (cd "$dir" && ctest -j "$JOBS" --output-on-failure --timeout 300)
}

echo "== C++ tests"
run_ctest build/tests -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== C++ tests with AddressSanitizer + UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan -DCMAKE_BUILD_TYPE=Debug -DOVIK_SANITIZE=ON

echo "== Fuzz targets, time-boxed over the committed corpora"
# Inputs up to 100 KB from the start: past the parser's 80 KB receive buffer
# and the longest frame (64 KB of payload), which short inputs never reach.
FUZZ_FLAGS=(-max_len=102400 -len_control=0 -rss_limit_mb=2048 -print_final_stats=1)
CC=clang-16 CXX=clang++-16 cmake -S . -B build/fuzz -G Ninja -DOVIK_BUILD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j "$JOBS"
for target in build/fuzz/fuzz/*_fuzz; do
  name=$(basename "$target")
  mkdir -p "build/fuzz/new-$name"
  log="build/fuzz/$name.log"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$target" -max_total_time="${FUZZ_SECONDS:-30}" "${FUZZ_FLAGS[@]}" \
    "build/fuzz/new-$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $name found a failure"
    exit 1
  fi
  echo "$name: $(grep -E '^stat::number_of_executed_units' "$log")"
done

echo "== Python tests"
install_package
# The oracle tests run from ctest, which hands them the test-only codec tool.
"$PYTHON" -m pytest tests/python -q --ignore=tests/python/oracle
