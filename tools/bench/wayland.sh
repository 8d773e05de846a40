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
if ! command -v sway >/dev/null; then echo "skipped: sway is not installed"; exit 0; fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora-wayland-bench >/dev/null
bin=$PWD/build/release

runtime=$(mktemp -d /tmp/vellora-bench-XXXXXX)
chmod 700 "$runtime"
run_as=()
if [ "$(id -u)" = 0 ]; then
  if ! getent passwd 65534 >/dev/null; then echo "skipped: sway refuses root and there is no other user"; exit 0; fi
  chown 65534:65534 "$runtime"
  run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
printf 'xwayland disable\noutput HEADLESS-1 mode 1920x1080@60Hz scale 1\n' >"$runtime/config"
chmod 644 "$runtime/config"
XDG_RUNTIME_DIR=$runtime WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=1 \
  "${run_as[@]}" sway -c "$runtime/config" >"$out/sway.log" 2>&1 &
sway=$!
cleanup() { kill "$sway" 2>/dev/null || true; wait "$sway" 2>/dev/null || true; rm -rf "$runtime"; }
trap cleanup EXIT
for _ in $(seq 200); do ls "$runtime" | grep -q '^wayland-[0-9]*$' && break; sleep 0.05; done
export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$(ls "$runtime" | grep '^wayland-[0-9]*$' | head -1)

echo "-- render (client CPU per whole-output frame, and the compositor's beside it)"
"$bin/vellora-wayland-bench" render "$sway" | tee "$out/render.txt"

echo "-- pace (ratio: elapsed over nominal pauses; pauses-took: time spent in pauses over nominal)"
"$bin/vellora-wayland-bench" pace | tee "$out/pace.txt"
