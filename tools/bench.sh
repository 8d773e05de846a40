#!/usr/bin/env bash
# Runs every benchmark under tools/bench/ (each prints its own table and writes its
# figures under build/bench/). Arguments are handed to each: extra pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/bench
status=0
for part in tools/bench/*.sh; do
  [ -e "$part" ] || continue
  echo "== $(basename "$part" .sh)"
  bash "$part" "$@" || status=1
done
exit $status
