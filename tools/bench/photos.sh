#!/usr/bin/env bash
# --backdrop and --caption on a 1920x1080 display, as ratios to baselines in the same
# run: the backdrop of a 12-megapixel JPEG, shrunk to fit, against that picture's
# decoding (target: at most 0.5x), and writing a caption (and taking it away) against one memcpy of
# the frame (target: at most 2 ms).
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build/bench/photos
mkdir -p "$out"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora-photos-bench vellora-decode-bench >/dev/null
# A picture as busy as a photo, made as the decoding benchmark makes its own.
picture=$out/12mp.jpg
[ -s "$out/12mp.ppm" ] || build/release/vellora-decode-bench picture 4000 3000 "$out/12mp.ppm"
[ -s "$picture" ] || cjpeg -quality 90 -outfile "$picture" "$out/12mp.ppm"
build/release/vellora-photos-bench "$picture" | tee "$out/results.txt"
