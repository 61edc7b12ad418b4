#!/usr/bin/env bash
# Set up, build and run the whole test suite.
#   scripts/test.sh              normal build in build/
#   KVX_SANITIZE=1 scripts/test.sh   address+undefined sanitizers in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${KVX_SKIP_SETUP:-0}" = 1 ] || scripts/setup.sh

dir=build; opts=()
if [ "${KVX_SANITIZE:-0}" = 1 ]; then
  dir=build-asan; opts+=(-DKVX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
fi
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 300
