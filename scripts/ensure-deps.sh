#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev qt6-declarative-dev qt6-declarative-private-dev
          qt6-qmllint-plugins libgtest-dev nlohmann-json3-dev
          # the companion programs' command line (header-only: needed only to build)
          libcli11-dev
          # the content hash of data files, documents and caches
          libxxhash-dev
          # qml-preview: the QML runtime modules the documents import, a font for the labels,
          # libdeflate for the checksums of its PNG files
          qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
          qml6-module-qtquick-window qml6-module-qt-labs-qmlmodels qml6-module-qtqml-workerscript
          fonts-dejavu-core libdeflate-dev
          # the package and its checks: dpkg-shlibdeps and man
          dpkg-dev man-db
          # the address sanitizer's tree and the data-set fuzzer: clang 16 (14 cannot build
          # the tree) with its libFuzzer and sanitizer runtimes
          clang-16 libclang-rt-16-dev
          # the preview benchmark's pixel comparison and the fuzz corpus script
          python3
          # the gallery's test in a real browser (headless)
          chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
