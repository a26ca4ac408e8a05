#!/usr/bin/env bash
# Builds Tikora and passes every test: once in a normal build, once more under AddressSanitizer
# and UndefinedBehaviorSanitizer in a build folder of its own. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

jobs=$(nproc)
run_suite() {  # build-folder, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTIKORA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 900)
}

echo "== build and test (RelWithDebInfo)"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --install build --prefix build/dist >/dev/null

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DTIKORA_SANITIZE=ON -DTIKORA_BENCH=OFF -DTIKORA_E2E=OFF \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
echo "== all tests passed"
