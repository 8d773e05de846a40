#!/usr/bin/env bash
# Installs what is needed, builds both builds and runs every test: the unit tests
# on the test platform, each fuzz target for 20 s, then the end-to-end tests of
# vellora.scr under Wine, of the GTK settings dialog and of the native program
# under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh
source tools/wine.sh
status=0
(cd build/native && ctest --output-on-failure -j2) || status=1
bash tools/fuzz.sh 20 || status=1
if [ "$WINE_BUILD" = build/win64 ]; then
  echo "note: this machine cannot run 32-bit code; the Wine tests run the 64-bit build of the same sources"
fi
python3 tests/wine/run_e2e.py "$WINE_BUILD" || status=1
# The GTK settings dialog under Xvfb, read through the accessibility bus of a
# private D-Bus session with the system's GObject bindings (about 20 s).
dbus-run-session -- /usr/bin/python3 tests/linux/settings_dialog_test.py build/native 2> >(grep -v '^dbus-daemon' >&2) || status=1
# The native program under Xvfb; the message boxes are read through the
# accessibility bus of a private D-Bus session, with the system's GObject bindings.
dbus-run-session -- /usr/bin/python3 tests/linux/run_linux.py build/release 2> >(grep -v '^dbus-daemon' >&2) || status=1
# The Debian package: lintian finds no error, and it installs, runs and removes
# cleanly in an empty root.
bash tools/package.sh --check || status=1
exit $status
