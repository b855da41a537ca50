#!/usr/bin/env bash
# Installs what is missing, builds, builds the bundled example data set and
# converts it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/ensure-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

example=examples/plant
mkdir -p "$example/out"
build/bin/prt-build "$example/plant.json" "$example/out/plant.prt"
build/bin/prt2qml "$example/out/plant.prt"
echo "Converted $example/out/plant.prt; output in $example/out/qmls"
