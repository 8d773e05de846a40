#!/usr/bin/env bash
# Remakes the README's pictures of the settings dialog on Linux, in English and in
# Chinese: docs/settings-en.png and docs/settings-zh_CN.png. Each is the dialog as a
# user sees it in a session of that language, on a virtual screen (Xvfb), with a
# settings file and options of its own.
# usage: tools/screenshots.sh [BUILD_FOLDER]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
cmake --build "$build" --target vellora-settings-gtk vellora-translations >/dev/null
work=$(mktemp -d "$PWD/$build/screenshots.XXXXXX")
display=:$(( 700 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
mkdir -p "$work/config/vellora"
printf '/home/me/Pictures\r\n9\r\n5\r\n0' > "$work/config/vellora/Tessaview.ini"
printf '[Show]\nfit=true\nupright=true\npaced=false\nshuffle=false\n' > "$work/config/vellora/Options.ini"
for language in en_US zh_CN; do
  name=${language%_US}
  env -i PATH="$PATH" HOME="$work" XDG_CONFIG_HOME="$work/config" DISPLAY="$display" GDK_BACKEND=x11 \
      LC_ALL="$language.UTF-8" GTK_THEME=Adwaita NO_AT_BRIDGE=1 "$build/vellora-settings-gtk" &
  dialog=$!
  window=$(DISPLAY=$display xdotool search --sync --onlyvisible --pid "$dialog" | head -1)
  sleep 1  # the first frame is drawn after the window is mapped
  DISPLAY=$display import -window "$window" "docs/settings-$name.png"
  kill "$dialog"
  wait "$dialog" 2>/dev/null || true
  echo "docs/settings-$name.png"
done
