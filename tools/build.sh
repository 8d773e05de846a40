#!/usr/bin/env bash
# Builds both builds: build/native (core, test platform, unit tests under ASan and
# UBSan, developer tools) and build/win32 (vellora.scr and its Wine test helpers),
# and build/release, the native program vellora without sanitizers.
# On a machine that cannot run 32-bit code it also makes build/win64, the same
# programs for 64-bit Wine, which the end-to-end tests then run (tools/wine.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLORA_SANITIZE=ON >/dev/null
cmake --build build/native
# The native program as people run it (and as its tests and benchmarks measure it).
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
# The program, its decoder, and the helpers of its end-to-end tests and benchmarks.
cmake --build build/release --target vellora vellora-decoder vellora-surface vellora-xwindow vellora-wlpointer \
  vellora-linux-bench vellora-decoder-hooked vellora-decoder-bench
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win32
if [ "$WINE_BUILD" = build/win64 ]; then
  cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
  cmake --build build/win64
fi
