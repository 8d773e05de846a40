#!/usr/bin/env bash
# Builds both builds: build/native (core, test platform, unit tests under ASan and
# UBSan, developer tools) and build/win32 (vellora.scr and its Wine test helpers).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLORA_SANITIZE=ON >/dev/null
cmake --build build/native
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win32
