# Sourced by the scripts that run Wine. Some machines cannot execute 32-bit code
# (their kernel has IA-32 emulation switched off), so 32-bit Wine cannot start
# there; on those the Windows program is run from the 64-bit test build under
# 64-bit Wine instead. Sets WINE_BUILD to the build folder whose programs to run.

# True when this machine runs 32-bit Linux programs (and so 32-bit Wine).
runs_32bit_code() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if runs_32bit_code; then
  WINE_BUILD=build/win32
  WINE_ARCH=win32
else
  WINE_BUILD=build/win64
  WINE_ARCH=win64
fi

# Sets up the environment for a private prefix: use_wine_prefix PREFIX
use_wine_prefix() {
  export WINEPREFIX=$1 WINEARCH=$WINE_ARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ "$WINE_ARCH" = win64 ]; then
    # The system's wine scripts pick the 32-bit loader whenever it is installed.
    local shims=$1.bin
    mkdir -p "$shims"
    for name in wine wine-stable; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$shims/$name"
      chmod +x "$shims/$name"
    done
    export PATH=$shims:$PATH WINELOADER=/usr/lib/wine/wine64
  fi
}
