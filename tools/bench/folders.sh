#!/usr/bin/env bash
# Folders as sources of pictures, on a tree of 50,000 empty *.jpg files in 500
# folders (the first of them a real picture), each figure a ratio to a baseline
# taken in the same run:
# - the walk against `find DIR -type f` on the same tree (target: at most 1.0x);
# - start to the first picture drawn, the tree with no cache against a one-file
#   list (target: at most 1.5x; medians of 5 starts on a virtual screen);
# - a second start's walk, with the cache, against the first's (target: at most 0.1x);
# - heap bytes per picture beyond its path, in the show's list and in the cache
#   (target: at most 200).
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build/bench/folders
mkdir -p "$out"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora vellora-folder-bench vellora-xwindow >/dev/null
bin=$PWD/build/release

tree=$out/tree
if [ ! -e "$tree/499/00099.jpg" ]; then
  rm -rf "$tree"
  for d in $(seq -f '%03g' 0 499); do
    mkdir -p "$tree/$d"
    (cd "$tree/$d" && touch $(seq -f "%05g.jpg" 0 99))
  done
fi
picture=$out/first.jpg
[ -s "$picture" ] || convert -size 160x120 gradient:'#ff4020-#2040ff' -quality 90 "$picture"
cp "$picture" "$tree/000/00000.jpg"
work=$(mktemp -d)
show=
xvfb=
cleanup() { [ -n "$show" ] && kill "$show" 2>/dev/null; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export XDG_CACHE_HOME=$work/cache XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config HOME=$work

now() { date +%s.%N; }
best_of_5() {  # seconds of the fastest of five runs of the command
  local fastest=
  for _ in 1 2 3 4 5; do
    local start end
    start=$(now); "$@" >/dev/null; end=$(now)
    fastest=$(awk -v a="$start" -v b="$end" -v f="$fastest" 'BEGIN {t = b - a; print (f == "" || t < f) ? t : f}')
  done
  echo "$fastest"
}

echo "-- walk (50,000 files in 500 folders, page cache warm)"
find_s=$(best_of_5 find "$tree" -type f)
read -r walk_s found < <("$bin/vellora-folder-bench" walk "$tree")
rm -rf "$XDG_CACHE_HOME"
read -r cached_s _ < <("$bin/vellora-folder-bench" cached "$tree")
awk -v f="$find_s" -v w="$walk_s" -v c="$cached_s" -v n="$found" 'BEGIN {
  printf "find %.1f ms, walk %.1f ms (%d pictures): ratio %.2f (target <= 1.0)\n", f * 1000, w * 1000, n, w / f
  printf "walk with the cache %.1f ms: ratio to the first walk %.3f (target <= 0.1)\n", c * 1000, c / w }' |
  tee "$out/walk.txt"

echo "-- memory"
rm -rf "$XDG_CACHE_HOME"
"$bin/vellora-folder-bench" memory "$tree" | tee "$out/memory.txt"

echo "-- start to the first picture (medians of 5)"
for n in $(seq 400 499); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$n"
for _ in $(seq 200); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
printf '%s\n' "$PWD/$picture" >"$work/one.txt"
# The picture is up once the screen's centre is no longer black. (od stops reading
# after the pixel, so the helper's exit status says nothing.)
centre_lit() {
  local pixel
  pixel=$("$bin/vellora-xwindow" shot 0 | od -An -tx4 -j $(((240 * 640 + 320) * 4)) -N4 || true)
  [[ $pixel =~ [1-9a-f] ]]
}
first_picture() {  # seconds from start to the picture on the screen, for --list $1
  rm -rf "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
  local start end
  start=$(now)
  "$bin/vellora" --list "$1" --effect 1 --delay 60 &
  show=$!
  for _ in $(seq 2000); do centre_lit && break; done
  end=$(now)
  kill "$show" || true; wait "$show" || true; show=
  # Black again before the next start.
  for _ in $(seq 200); do centre_lit || break; done
  awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
list_s=$(for _ in 1 2 3 4 5; do first_picture "$work/one.txt"; done | median)
tree_s=$(for _ in 1 2 3 4 5; do first_picture "$PWD/$tree"; done | median)
awk -v l="$list_s" -v t="$tree_s" 'BEGIN {
  printf "one-file list %.0f ms, the tree with no cache %.0f ms: ratio %.2f (target <= 1.5)\n", l * 1000, t * 1000, t / l }' |
  tee "$out/first-picture.txt"
