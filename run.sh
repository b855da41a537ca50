#!/usr/bin/env bash
# Installs what is missing, builds, builds the bundled example data set,
# converts it and draws its screens.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/ensure-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

example=examples/plant
mkdir -p "$example/out"
build/bin/prt-build "$example/plant.json" "$example/out/plant.prt"
build/bin/prt2qml "$example/out/plant.prt"
echo "Converted $example/out/plant.prt; documents in $example/out/qmls"
if [ -x build/bin/qml-preview ]; then
  build/bin/qml-preview "$example/out/qmls" -o "$example/out/pictures" --prt "$example/out/plant.prt"
  echo "Pictures of the screens in $example/out/pictures (index.html shows them all)"
fi
