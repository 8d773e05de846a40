# Sourced by the benchmarks that need a compositor: start_headless_sway SIZE LOG
# starts a headless sway with one output of SIZE (WIDTHxHEIGHT) logging to LOG, and
# sets `sway` (its process), `runtime` (its runtime folder, apart from the caller's
# work folder, which sway's user could not enter) and `socket` (its socket by full
# path). sway refuses to run as root: as root it runs as user 65534. It returns 2,
# having said why, where sway cannot run here; 1 when it did not start.
start_headless_sway() {
  local size=$1 log=$2 run_as=()
  if ! command -v sway >/dev/null; then echo "skipped: sway is not installed"; return 2; fi
  if [ "$(id -u)" = 0 ] && ! getent passwd 65534 >/dev/null; then
    echo "skipped: sway refuses root and there is no other user"; return 2
  fi
  runtime=$(mktemp -d /tmp/vellora-bench-XXXXXX)
  chmod 700 "$runtime"
  if [ "$(id -u)" = 0 ]; then
    chown 65534:65534 "$runtime"
    run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  printf 'xwayland disable\noutput HEADLESS-1 mode %s@60Hz scale 1\n' "$size" >"$runtime/config"
  chmod 644 "$runtime/config"
  env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_HEADLESS_OUTPUTS=1 "${run_as[@]}" sway -c "$runtime/config" >"$log" 2>&1 &
  sway=$!
  for _ in $(seq 200); do ls "$runtime" | grep -q '^wayland-[0-9]*$' && break; sleep 0.05; done
  if ! ls "$runtime" | grep -q '^wayland-[0-9]*$'; then echo "sway did not start: see $log" >&2; return 1; fi
  socket="$runtime/$(ls "$runtime" | grep '^wayland-[0-9]*$' | head -1)"
}
