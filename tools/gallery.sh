#!/usr/bin/env bash
# Regenerates the transition gallery: the reveal and the clear of rows 2 to 19 on
# the sunset sample, as animated GIFs in docs/gallery/ (seed 1, so the mosaic's
# random cells come out the same on every run).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLORA_SANITIZE=ON >/dev/null
cmake --build build/native --target vellora-gallery
mkdir -p docs/gallery
build/native/vellora-gallery resources/samples/sunset.bmp docs/gallery --seed 1
du -cb docs/gallery/*.gif | tail -1
