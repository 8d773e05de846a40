#!/usr/bin/env bash
# Decoding a 12-megapixel picture through decodePicture, each format against a
# reference in the same run: JPEG against libjpeg-turbo's own tjbench, to the same
# pixel format (BGRX); WebP, HEIF, AVIF, TIFF and JPEG XL against a bare call of
# their library (vellora-decode-bench bare) with the same threads and 8-bit pixel
# layout, which is what the decoder adds its checks and pixel finishing to. And
# the colour-profile conversion of a 12-megapixel picture (Display P3 to sRGB)
# against one memcpy of it. Targets: within 1.2x of tjbench, 1.15x of each bare call.
# Extra JPEG files given as arguments are measured like the first. Runs alternate
# between ours and the reference, and the best of each is kept, so that other load
# on the machine hits both alike.
#
# Two figures for decodePicture: "fresh", which maps and clears new memory for
# each picture as a one-off decodePicture does, and "reused", decodePictureInto
# with the same image each time, which is what tjbench and the bare calls measure.
#
# Then the same 12-megapixel JPEG, HEIC and JPEG XL as the native program loads
# them, through its locked-down decoder process against in the program's own
# process (open, read or hand over, decode into reused storage), in the same run:
# target at most 1.10x each, replacements of the decoder for its CPU limit
# included; and the decoder process's start-up (once per show, and again
# whenever its hard CPU limit leaves too little) in milliseconds. Last, a
# 48-megapixel HEIC (the size of some phones' photos, the slowest format here:
# about 6 s on a quiet 2-core machine) through the decoder process against in
# process, once: the process's time allowance grows with the size the header
# claims, so it must come back decoded rather than cut off.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build/bench/decode
mkdir -p "$out"
rounds=${DECODE_BENCH_ROUNDS:-7}
seconds=${DECODE_BENCH_SECONDS:-0.5}

for program in tjbench cjpeg cwebp avifenc heif-enc cjxl convert; do
  command -v "$program" >/dev/null || { echo "$program is missing: run tools/install-deps.sh" >&2; exit 1; }
done

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora-decode-bench vellora-decoder-bench vellora-decoder >/dev/null
tool=build/release/vellora-decode-bench

# The test pictures, made once: the encoders take a while at this size.
source=$out/12mp.ppm
[ -s "$source" ] || "$tool" picture 4000 3000 "$source"
make_picture() {
  local file=$out/12mp.$1
  shift
  [ -s "$file" ] || "$@" "$file" >/dev/null 2>&1
}
[ -s "$out/12mp.png" ] || convert "$source" "$out/12mp.png"
make_picture webp cwebp -q 90 "$out/12mp.png" -o
make_picture avif avifenc -j 2 -s 8 "$out/12mp.png"
make_picture heic heif-enc -q 90 "$out/12mp.png" -o
make_picture jxl cjxl -d 1 -e 3 "$out/12mp.png"
make_picture tif convert "$source" -compress LZW
"$tool" p3 "$out/p3.icc"
# cjpeg wants its input as the last argument.
[ -s "$out/12mp.jpg" ] || cjpeg -quality 90 -outfile "$out/12mp.jpg" "$source"

best() { sort -g | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# One picture decoded by the reference: JPEG by tjbench, the others by a bare call of
# their library. Prints "NAME MILLISECONDS".
reference() {
  local file=$1
  case "$file" in
    *.jpg | *.jpeg | *.JPG | *.JPEG)
      # tjbench -quiet ends with one row whose last field is megapixels per second.
      local rate size
      rate=$(tjbench "$file" -bgrx -benchtime "$seconds" -warmup 0.5 -nowrite -quiet | awk 'NF {last = $NF} END {print last}')
      size=$("$tool" size "$file")
      awk -v mp="$size" -v rate="$rate" 'BEGIN {printf "tjbench %.3f\n", mp / rate * 1000}' ;;
    *) echo "bare $("$tool" bare "$file" "$seconds" | awk '{print $2}')" ;;
  esac
}

measure_format() {
  local file=$1 fresh=() reused=() theirs=() name=
  for _ in $(seq "$rounds"); do
    local ours ms
    ours=$("$tool" decode "$file" "$seconds")
    fresh+=("$(awk '$1 == "fresh" {print $2}' <<<"$ours")")
    reused+=("$(awk '$1 == "reused" {print $2}' <<<"$ours")")
    read -r name ms < <(reference "$file")
    theirs+=("$ms")
  done
  local f r t
  f=$(printf '%s\n' "${fresh[@]}" | best)
  r=$(printf '%s\n' "${reused[@]}" | best)
  t=$(printf '%s\n' "${theirs[@]}" | best)
  printf '%-16s %-7s %8.1f ms   fresh %8.1f ms (%sx)   reused %8.1f ms (%sx)\n' \
    "$(basename "$file")" "$name" "$t" "$f" "$(ratio "$f" "$t")" "$r" "$(ratio "$r" "$t")" | tee -a "$out/results.txt"
}

measure_profile() {
  local copy=() convert=()
  for _ in $(seq "$rounds"); do
    local figures
    figures=$("$tool" profile "$out/p3.icc" "$seconds")
    copy+=("$(awk '$1 == "memcpy" {print $2}' <<<"$figures")")
    convert+=("$(awk '$1 == "convert" {print $2}' <<<"$figures")")
  done
  local c v
  c=$(printf '%s\n' "${copy[@]}" | best)
  v=$(printf '%s\n' "${convert[@]}" | best)
  printf '%-16s memcpy  %8.1f ms   P3 to sRGB %8.1f ms (%sx)\n' "profile" "$c" "$v" "$(ratio "$v" "$c")" |
    tee -a "$out/results.txt"
}

: >"$out/results.txt"
for format in jpg webp heic avif tif jxl; do measure_format "$out/12mp.$format"; done
measure_profile
for extra in "$@"; do
  case "$extra" in *.jpg | *.jpeg | *.JPG | *.JPEG) measure_format "$extra" ;; esac
done
echo "targets: JPEG within 1.2x of tjbench; the other formats within 1.15x of a bare call of their library"

measure_process() {
  local file=$1 here=() there=() start=()
  for _ in $(seq "$rounds"); do
    local result
    result=$(build/release/vellora-decoder-bench "$file" "$seconds" build/release/vellora-decoder)
    here+=("$(awk '$1 == "inprocess" {print $2}' <<<"$result")")
    there+=("$(awk '$1 == "process" {print $2}' <<<"$result")")
    start+=("$(awk '$1 == "startup" {print $2}' <<<"$result")")
  done
  local h p s
  h=$(printf '%s\n' "${here[@]}" | best)
  p=$(printf '%s\n' "${there[@]}" | best)
  s=$(printf '%s\n' "${start[@]}" | best)
  printf '%-28s in process %8.1f ms   decoder process %8.1f ms (%.2fx)   decoder start-up %6.1f ms\n' \
    "$(basename "$file")" "$h" "$p" "$(awk -v a="$p" -v b="$h" 'BEGIN {print a / b}')" "$s" | tee -a "$out/results.txt"
}
for format in jpg heic jxl; do measure_process "$out/12mp.$format"; done
echo "target: the decoder process within 1.10x of decoding in process"

[ -s "$out/48mp.png" ] || { "$tool" picture 8000 6000 "$out/48mp.ppm" && convert "$out/48mp.ppm" "$out/48mp.png"; }
[ -s "$out/48mp.heic" ] || heif-enc -q 90 "$out/48mp.png" -o "$out/48mp.heic" >/dev/null 2>&1
rounds=1 seconds=0 measure_process "$out/48mp.heic"
echo "target: decoded through the decoder process, within 1.10x of decoding in process"
