#!/usr/bin/env bash
# The converter alone configures with only Qt and CMake: every optional part
# off and GoogleTest, nlohmann-json and CLI11 hidden; and asking for the tests
# without the tools they need leaves them off instead of breaking the tree.
# Usage: check-converter-alone.sh <source folder> <scratch build folder>
set -uo pipefail
source=$1 build=$2
failures=0
configure() {  # <expected summary> <cmake options>...
  local expected=$1; shift
  rm -rf "$build"
  if ! output=$(cmake -S "$source" -B "$build" -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
                  -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON "$@" 2>&1); then
    echo "FAIL configure $*:"; echo "$output"; failures=$((failures + 1)); return
  fi
  grep -qF "$expected" <<<"$output" || { echo "FAIL $*: no '$expected' in:"; echo "$output"; failures=$((failures + 1)); }
}
off="tools OFF, bench OFF, tests OFF, fuzzer OFF"
configure "$off" -DPRT_BUILD_TOOLS=OFF -DPRT_BUILD_BENCH=OFF -DPRT_BUILD_TESTS=OFF -DPRT_BUILD_FUZZER=OFF
configure "$off" -DPRT_BUILD_TOOLS=OFF
configure "$off" -DPRT_BUILD_TOOLS=OFF -DPRT_BUILD_TESTS=ON -DPRT_BUILD_FUZZER=ON
rm -rf "$build"
[ "$failures" -eq 0 ] && echo "the converter configures alone"
exit $((failures > 0))
