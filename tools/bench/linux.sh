#!/usr/bin/env bash
# The native program on a virtual 1920x1080 screen:
# - one whole-screen render at natural size against one memcpy of a 1920x1080x4
#   frame, in the same run (target: within 3x), and against the bare shared-memory
#   put of a frame that is the floor for drawing on the client;
# - the pace of every row against the pauses it asks for (paced rows: within 3%);
# - peak memory while showing a 12-megapixel JPEG, against the decoded picture plus
#   two screen-sized frames plus 32 MB.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build/bench/linux
mkdir -p "$out"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora vellora-linux-bench vellora-xwindow >/dev/null
bin=build/release

for n in $(seq 400 499); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
show=
cleanup() { [ -n "$show" ] && kill "$show" 2>/dev/null; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY=":$n"
for _ in $(seq 200); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done

echo "-- render"
"$bin/vellora-linux-bench" render | tee "$out/render.txt"

echo "-- pace (ratio: elapsed over nominal pauses; pauses-took: time spent in pauses over nominal)"
"$bin/vellora-linux-bench" pace | tee "$out/pace.txt"

echo "-- peak memory"
picture=$out/12mp.jpg
[ -s "$picture" ] || convert -size 4000x3000 gradient:'#ff4020-#2040ff' -quality 90 "$picture"
config=$(mktemp -d)
mkdir -p "$config/vellora"
printf '%s\r\n' "$PWD/$picture" >"$config/list.txt"
printf '%s\r\n1\r\n60\r\n0' "$config/list.txt" >"$config/vellora/Tessaview.ini"
XDG_CONFIG_HOME=$config "$bin/vellora" &
show=$!
# The picture is up once the screen's centre is no longer black.
centre_lit() { "$bin/vellora-xwindow" shot 0 | od -An -tx4 -j $(((540 * 1920 + 960) * 4)) -N4 | grep -qv ' 00000000'; }
for _ in $(seq 300); do centre_lit && break; sleep 0.05; done
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$show/status")
kill "$show"; wait "$show" || true; show=
rm -rf "$config"
bound_kb=$(((4000 * 3000 * 4 + 2 * 1920 * 1080 * 4) / 1024 + 32 * 1024))
awk -v p="$peak_kb" -v b="$bound_kb" 'BEGIN {printf "peak %.1f MB, bound %.1f MB (picture + two frames + 32 MB), ratio %.2f\n", p / 1024, b / 1024, p / b}' |
  tee "$out/memory.txt"
