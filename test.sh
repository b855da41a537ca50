#!/usr/bin/env bash
# Builds everything and runs every test through ctest, then the sanitizer
# suites (AddressSanitizer and ThreadSanitizer builds of the data layer);
# the AddressSanitizer tree, built with clang 16, also builds the data-set
# fuzzer and runs it for a fixed number of inputs over fuzz/corpus.
# Between them, the Debian package is built and its programs run unpacked.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/ensure-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
./scripts/package-test.sh build

for kind in address thread; do
  dir=build-$kind
  options=(-DCMAKE_BUILD_TYPE=Debug -DPRT_SANITIZE=$kind)
  if [ $kind = address ]; then
    # clang 16 builds this tree and the fuzzer in it. A tree made with another
    # compiler starts afresh: on the switch CMake would drop the options.
    options+=(-DCMAKE_CXX_COMPILER=clang++-16 -DPRT_FUZZ=ON)
    grep -qs '^CMAKE_CXX_COMPILER:.*clang++-16$' "$dir/CMakeCache.txt" || rm -f "$dir/CMakeCache.txt"
  fi
  cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs" --target sanitize_$kind
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L "sanitize_$kind"
done
