#!/usr/bin/env bash
# The settings change's cost, against the build of the commit before it measured in
# the same run (build/bench-base, made from `git archive` of that commit):
# - the settings dialog's time to its first frame (vellora-settings-gtk, from start
#   to its window mapped), in English and in Chinese;
# - the show's start-up (vellora --window, from start to its window mapped), which now
#   also starts the translations and reads Options.ini.
# Medians of 9 alternating rounds each, on a virtual 1024x768 screen (Xvfb).
# VELLORA_SETTINGS_BASE names another commit to compare with.
set -euo pipefail
cd "$(dirname "$0")/../.."
base_commit=${VELLORA_SETTINGS_BASE:-d972008}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora vellora-decoder vellora-settings-gtk vellora-translations >/dev/null
base=build/bench-base
if [ "$(cat "$base/commit" 2>/dev/null)" != "$(git rev-parse "$base_commit")" ]; then
  rm -rf "$base"
  mkdir -p "$base/src"
  git archive "$base_commit" | tar -x -C "$base/src"
  cmake -S "$base/src" -B "$base/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
  git rev-parse "$base_commit" >"$base/commit"
fi
cmake --build "$base/build" --target vellora vellora-decoder vellora-settings-gtk >/dev/null

work=$(mktemp -d)
display=:$(( 800 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
convert -size 400x300 xc:'#40c060' -type TrueColor "BMP3:$work/picture.bmp"
mkdir -p "$work/config/vellora" "$work/home"
printf '%s\r\n' "$work/picture.bmp" >"$work/list.txt"
printf '%s\r\n1\r\n60\r\n0' "$work/list.txt" >"$work/config/vellora/Tessaview.ini"
printf '[Show]\nfit=true\n' >"$work/config/vellora/Options.ini"
export DISPLAY=$display XDG_CONFIG_HOME=$work/config HOME=$work/home GDK_BACKEND=x11 NO_AT_BRIDGE=1 GTK_THEME=Adwaita
unset WAYLAND_DISPLAY
for locale in en_US.UTF-8 zh_CN.UTF-8; do
  echo "settings dialog, time to first frame, LC_ALL=$locale:"
  LC_ALL=$locale python3 tools/bench/first_map.py 9 "base=$base/build/vellora-settings-gtk" \
    "now=build/release/vellora-settings-gtk"
done
echo "show start-up (vellora --window), LC_ALL=zh_CN.UTF-8:"
LC_ALL=zh_CN.UTF-8 python3 tools/bench/first_map.py 9 "base=$base/build/vellora,--window" "now=build/release/vellora,--window"
