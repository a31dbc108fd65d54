#!/bin/bash
# Builds kavel and runs every test: a Release build with -Wall -Wextra
# -Werror into build/, then an AddressSanitizer + UndefinedBehaviorSanitizer
# build into build-asan/, a ThreadSanitizer build into build-tsan/ for the
# decoding that saves on a second thread and the *.MSG posting that stores
# on one, and a fuzz smoke run. Installs missing tools and test peers first
# (needs root for that, as in CI). Exits non-zero on the first failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install_test_deps.sh

jobs=${KAVEL_JOBS:-2}
export CXX=${CXX:-g++}

echo "== Release build (build/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVEL_WERROR=ON -DKAVEL_TESTS=ON \
  -DKAVEL_SANITIZE=OFF
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
bash scripts/package_test.sh build  # Debian package, installed binary, manual page

echo "== Sanitizer build (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKAVEL_WERROR=ON -DKAVEL_SANITIZE=ON -DKAVEL_TESTS=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer build (build-tsan/): second threads of decoding and posting"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKAVEL_WERROR=ON -DKAVEL_TSAN=ON -DKAVEL_TESTS=ON
cmake --build build-tsan -j"$jobs" --target kavel kavel_e2e_tests kavel_unit_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/kavel_unit_tests \
  --gtest_filter='HeldLogTest.*:SetQueueTest.*:MsgAreaTest.*:TaskThreadTest.*'
TSAN_OPTIONS=halt_on_error=1 build-tsan/kavel_e2e_tests \
  --gtest_filter='*SaveWhileScanning*:EncodeTest.*:*PostingFault*'

echo "== Fuzz smoke run (build-fuzz/)"
bash scripts/fuzz_smoke.sh

echo "== All tests passed"
