#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# its committed seed corpus (fuzz/corpus/<name>); new inputs go to a scratch
# folder, so the committed corpus stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KVX_FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKVX_FUZZ=ON -DKVX_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_all
status=0
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=${target##*/fuzz_}
  scratch=$(mktemp -d)
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
       "$scratch" "fuzz/corpus/$name" > "build-fuzz/fuzz-$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -n 40 "build-fuzz/fuzz-$name.log"; status=1
  fi
  rm -rf "$scratch"
done
exit $status
