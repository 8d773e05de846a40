#!/usr/bin/env bash
# Installs what is needed, builds vellora.scr and runs it full screen under Wine on
# the bundled sample pictures, in a private Wine prefix. On the current display when
# there is one (any key ends the show); otherwise on a virtual screen, where it saves
# a few screenshots, reports where they are and ends the show with a key.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh >/dev/null
source tools/wine.sh

root=$PWD/build/show
mkdir -p "$root"
use_wine_prefix "$root/prefix"
# The Chinese code page only for Wine's commands: exported here, it would make this
# shell re-read a locale that install-deps.sh may have generated moments ago.
wine() { env LC_ALL=zh_CN.UTF-8 wine "$@"; }

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 199); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
fi
cleanup() { wineserver -k 2>/dev/null || true; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT

[ -f "$WINEPREFIX/system.reg" ] || { env LC_ALL=zh_CN.UTF-8 wineboot -i >/dev/null 2>&1; wineserver -w; }
drive=$WINEPREFIX/drive_c
mkdir -p "$drive/vellora"
cp resources/samples/* "$WINE_BUILD/vellora.scr" "$drive/vellora/"
list=
for f in resources/samples/*; do list+="C:\\vellora\\$(basename "$f")"$'\r\n'; done
printf '%s' "$list" > "$drive/vellora/pictures.txt"
# The list, the random transition row, 3 seconds per picture, list order.
printf 'C:\\vellora\\pictures.txt\r\n0\r\n3\r\n0' > "$drive/windows/Tessaview.ini"

cd "$drive/vellora"
if [ -z "$xvfb_pid" ]; then
  echo "Vellora is running full screen on $DISPLAY; press any key to end it."
  wine 'C:\vellora\vellora.scr' /s || true
else
  shots=$root/screenshots
  mkdir -p "$shots"
  wine 'C:\vellora\vellora.scr' /s &
  show=$!
  for i in 1 2 3 4; do
    # Each shot once the next tick's transition has had time to finish.
    sleep 6
    import -window root "$shots/show-$i.png"
  done
  xdotool key space
  wait "$show" || true
  echo "No display was set, so the show ran on a virtual screen. Screenshots:"
  ls -1 "$shots"/*.png
fi
