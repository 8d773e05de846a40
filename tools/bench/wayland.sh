#!/usr/bin/env bash
# The Wayland backend on a headless sway with one 1920x1080 output:
# - one whole-output render (drawing, the copy into a shared buffer, the commit)
#   against one memcpy of a 1920x1080x4 frame, in the same run (client CPU);
# - the compositor's processor time per whole frame against the same memcpy;
# - the pace of every row against the pauses it asks for (paced rows: within 3%).
# sway refuses to run as root: as root it runs as user 65534.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build/bench/wayland
mkdir -p "$out"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora-wayland-bench >/dev/null
bin=$PWD/build/release

source tools/bench/lib/headless_sway.sh
sway="" runtime=""
cleanup() { [ -z "$sway" ] || { kill "$sway" 2>/dev/null; wait "$sway" 2>/dev/null; } || true; rm -rf ${runtime:+"$runtime"}; }
trap cleanup EXIT
status=0
start_headless_sway 1920x1080 "$out/sway.log" || status=$?
[ "$status" = 2 ] && exit 0
[ "$status" = 0 ] || exit 1
export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket

echo "-- render (client CPU per whole-output frame, and the compositor's beside it)"
"$bin/vellora-wayland-bench" render "$sway" | tee "$out/render.txt"

echo "-- pace (ratio: elapsed over nominal pauses; pauses-took: time spent in pauses over nominal)"
"$bin/vellora-wayland-bench" pace | tee "$out/pace.txt"
