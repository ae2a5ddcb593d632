#!/usr/bin/env bash
# Runs every test: the C++ tests (plain and with AddressSanitizer + UBSan),
# then the Python tests against the installed package. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JOBS=$(nproc)

ensure_debian_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev \
  libprotobuf-dev protobuf-compiler clang libclang-rt-14-dev
"$PYTHON" -m pip install --quiet cmake ninja pytest pytest-timeout protobuf grpcio-tools crcmod

run_ctest() {  # build directory, extra cmake options...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DOVIK_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  (cd "$dir" && ctest -j "$JOBS" --output-on-failure --timeout 300)
}

echo "== C++ tests"
run_ctest build/tests -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== C++ tests with AddressSanitizer + UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan -DCMAKE_BUILD_TYPE=Debug -DOVIK_SANITIZE=ON

echo "== Python tests"
"$PYTHON" -m pip install --quiet .
"$PYTHON" -m pytest tests/python -q
