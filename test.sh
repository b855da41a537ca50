#!/usr/bin/env bash
# Builds everything and runs every test through ctest, then the sanitizer
# suites (AddressSanitizer and ThreadSanitizer builds of the data layer).
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
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPRT_SANITIZE=$kind >/dev/null
  cmake --build "$dir" -j "$jobs" --target sanitize_$kind
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L "sanitize_$kind"
done
