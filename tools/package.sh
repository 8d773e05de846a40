#!/usr/bin/env bash
# Builds the Debian package of the native program into build/package/ and checks it
# with lintian: tools/package.sh [--check]. With --check it also installs the
# package into an empty root of its own, runs it from there and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/package
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$out" --target vellora vellora-package-files >/dev/null
(cd "$out" && cpack -G DEB >/dev/null)
deb=$(ls "$out"/vellora_*_amd64.deb)
echo "$deb"
# Errors fail; warnings and notes are printed for the record.
lintian --tag-display-limit 0 "$deb" 2>/dev/null | tee "$out/lintian.txt" | grep -v '^[WIN]: ' && exit 1 || true
[ "${1:-}" = --check ] || exit 0

root=$(mktemp -d "$PWD/$out/root.XXXXXX")
trap 'rm -rf "$root" "$root.log"' EXIT
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
touch "$root/var/lib/dpkg/status"
dpkg_here() { dpkg --root="$root" --force-script-chrootless --force-not-root --force-depends "$@"; }
# The root holds no other package, so the dependencies are reported and overridden.
dpkg_here -i "$deb" >/dev/null 2>"$root.log" || { cat "$root.log"; exit 1; }
for f in usr/libexec/xscreensaver/vellora usr/libexec/xscreensaver/vellora-decoder usr/bin/vellora usr/share/xscreensaver/config/vellora.xml \
         usr/share/applications/vellora-settings.desktop usr/share/vellora/vellora-idle.desktop usr/share/man/man1/vellora.1.gz usr/share/doc/vellora/copyright \
         usr/share/locale/zh_CN/LC_MESSAGES/vellora.mo usr/share/vellora/xscreensaver/zh_CN/vellora.xml; do
  [ -e "$root/$f" ] || { echo "missing after install: /$f"; exit 1; }
done
"$root/usr/bin/vellora" --help | head -1
dpkg_here -r vellora >/dev/null
left=$(find "$root" -path "$root/var" -prune -o -type f -print)
[ -z "$left" ] || { echo "left after removal: $left"; exit 1; }
echo "installed, ran and removed cleanly"
