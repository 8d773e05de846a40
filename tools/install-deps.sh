#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
# Safe to run again: it only installs what is missing.
set -euo pipefail

need_root() { if [ "$(id -u)" -ne 0 ]; then echo "run as root (apt-get is needed)" >&2; exit 1; fi; }

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-i686-dev
  xvfb x11-utils x11-apps imagemagick xdotool strace
  locales fonts-wqy-microhei python3 gettext
  wine wine64 g++-mingw-w64-x86-64-win32
  clang libclang-rt-14-dev
  nsis p7zip-full
  libjpeg62-turbo-dev libpng-dev libgif-dev libjpeg-turbo-progs
  xscreensaver xscreensaver-data lintian dpkg-dev procps passwd util-linux
  libx11-dev libxext-dev libgtk-3-dev dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0 desktop-file-utils
  libpango1.0-dev libcairo2-dev fonts-dejavu-core libbrotli-dev
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev sway grim wtype swayidle swaylock weston
  libxrandr-dev libxinerama-dev libxss-dev xserver-xephyr x11-xserver-utils
  libheif-dev libheif-examples libavif-dev libavif-bin libwebp-dev webp libtiff-dev libtiff-tools
  libjxl-dev libjxl-tools liblcms2-dev libseccomp-dev
)
# 32-bit Wine runs the 32-bit program itself; without it the Wine tests run the
# 64-bit test build (as on machines that cannot run 32-bit code), so a package
# index that cannot supply it does not stop the rest.
optional=(wine32:i386)

not_installed() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_optional < <(not_installed "${optional[@]}")
have_i386=$(dpkg --print-foreign-architectures | grep -qx i386 && echo yes || echo no)

if [ "${#missing[@]}" -gt 0 ] || [ "${#missing_optional[@]}" -gt 0 ] || [ "$have_i386" = no ]; then
  need_root
  if [ "$have_i386" = no ]; then dpkg --add-architecture i386; fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync fails one index; what the other indexes hold is
  # usually enough, so the install below decides whether that mattered.
  for try in 1 2 3; do
    apt-get update -q && break
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" -eq 3 ] || sleep $((try * 10))
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"
  fi
  for p in "${missing_optional[@]}"; do
    apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "$p" ||
      echo "note: $p could not be installed; the Wine tests will run the 64-bit build" >&2
  done
fi

# Wine tests run with the Chinese ANSI code page, which needs zh_CN.UTF-8; the
# native program's texts are tested in English and Chinese sessions.
missing_locales=()
for l in zh_CN en_US; do
  locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$" || missing_locales+=("$l")
done
if [ "${#missing_locales[@]}" -gt 0 ]; then
  need_root
  for l in "${missing_locales[@]}"; do
    sed -i "s/^# *$l.UTF-8 UTF-8/$l.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null
fi
