#!/usr/bin/env bash
# Transition pace on the Windows platform: every row's reveal and clear, timed by
# vellora-bench under Wine on a virtual 1024x768 screen, once drawing from the
# picture's bitmap and once through IPicture::Render, side by side in one run; what
# pause(1) and pause(10) really last; the show's CPU use while it waits between ticks.
#   tools/bench/windows.sh [PICTURE...]    (extra pictures besides the samples)
# Prints a table and writes build/bench/pace.csv and build/bench/pace-system.csv.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/wine.sh
out=$PWD/build/bench
mkdir -p "$out/pictures"

toolchain=cmake/mingw-i686.cmake
[ "$WINE_BUILD" = build/win64 ] && toolchain=cmake/mingw-x86_64.cmake
[ -e "$WINE_BUILD/build.ninja" ] ||
  cmake -S . -B "$WINE_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$toolchain >/dev/null
cmake --build "$WINE_BUILD" -j2 --target vellora-bench vellora >/dev/null

use_wine_prefix "$out/wine-prefix"
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
show=
cleanup() {
  [ -n "$show" ] && kill "$show" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=:$display
for _ in $(seq 200); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
if [ ! -e "$WINEPREFIX/system.reg" ]; then wineboot -i >/dev/null 2>&1; wineserver -w; fi
drive=$WINEPREFIX/drive_c
mkdir -p "$drive/bench"
cp "$WINE_BUILD/vellora-bench.exe" "$WINE_BUILD/vellora.scr" "$drive/"

# Plasma is random unless seeded; a fixed seed keeps the pictures the same from run to run.
for size in 800x600 1600x1200; do
  [ -e "$out/pictures/plasma-$size.jpg" ] ||
    convert -seed 7 -size "$size" plasma:fractal -quality 90 "$out/pictures/plasma-$size.jpg"
done
pictures=(resources/samples/* "$out/pictures/plasma-800x600.jpg" "$out/pictures/plasma-1600x1200.jpg" "$@")

csv=$out/pace.csv
system=$out/pace-system.csv
echo "picture,path,row,direction,wall_ms,nominal_ms,pauses,renders,fills,pies,overhead_ms,real_pause_ms" > "$csv"
echo "measure,picture,path,mean,worst" > "$system"
for picture in "${pictures[@]}"; do
  name=$(basename "$picture")
  cp "$picture" "$drive/bench/$name"
  for path in bitmap render; do
    flag=()
    [ "$path" = render ] && flag=(--render)
    (cd "$drive" && wine 'C:\vellora-bench.exe' rows "C:\\bench\\$name" "${flag[@]}") > "$out/run.txt"
    grep -E '^[0-9]+,' "$out/run.txt" | sed "s|^|$name,$path,|" >> "$csv"
    awk -v n="$name" -v p="$path" '$1 == "pause" { print "pause(" $2 ") ms," n "," p "," $3 "," $4 }' "$out/run.txt" >> "$system"
  done
done

# Idle: the show with a 30-second delay, measured over 10 seconds after its first picture.
printf 'C:\\bench\\list.txt\r\n1\r\n30\r\n0' > "$drive/windows/Tessaview.ini"
printf 'C:\\bench\\%s\r\n' "$(basename "${pictures[0]}")" > "$drive/bench/list.txt"
(cd "$drive" && exec wine 'C:\vellora.scr' /s) >/dev/null 2>&1 &
show=$!
for _ in $(seq 300); do
  xdotool search --name '^Screen Saver$' >/dev/null 2>&1 && break
  sleep 0.1
done
# User and system time of the show's own process, in clock ticks (Wine runs it as one Linux process).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
sleep 3  # the first tick and its reveal, which is row 1 and immediate
before=$(cpu_ticks "$show")
sleep 10
after=$(cpu_ticks "$show")
hz=$(getconf CLK_TCK)
echo "idle CPU %,$(basename "${pictures[0]}"),show,$(awk -v a="$after" -v b="$before" -v hz="$hz" 'BEGIN { printf "%.2f", (a - b) / hz / 10 * 100 }'),-" >> "$system"
kill "$show" 2>/dev/null || true
show=

python3 tools/bench/pace_table.py "$csv" "$system"
