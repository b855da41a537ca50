#!/usr/bin/env bash
# Installs what is missing, builds the converter, the builder, the check
# and the preview (./test.sh builds the rest), builds the bundled example data set,
# converts it and draws its screens.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/ensure-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The README's tour needs these; qml-preview is left out of a tree without Qt
# Quick (see its CMakeLists.txt). grep reads the whole list, so that pipefail
# does not see cmake cut off.
targets=(prt2qml prt-build prt-check)
if cmake --build build --target help | grep '^qml-preview:' >/dev/null; then targets+=(qml-preview); fi
cmake --build build -j "$(nproc)" --target "${targets[@]}"

example=examples/plant
mkdir -p "$example/out"
build/bin/prt-build "$example/plant.json" "$example/out/plant.prt"
build/bin/prt2qml "$example/out/plant.prt"
echo "Converted $example/out/plant.prt; documents in $example/out/qmls"
if [ -x build/bin/qml-preview ]; then
  build/bin/qml-preview "$example/out/qmls" -o "$example/out/pictures" --prt "$example/out/plant.prt"
  echo "Pictures of the screens in $example/out/pictures (index.html shows them all)"
fi
