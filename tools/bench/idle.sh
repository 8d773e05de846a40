#!/usr/bin/env bash
# The idle watcher of `vellora --idle` on a virtual 640x480 screen (MIT-SCREEN-SAVER),
# then on a headless sway of the same size (org_kde_kwin_idle):
# - its CPU over 60 s of waiting against `sleep` over the same 60 s, in clock ticks
#   (both near zero), with their context switches;
# - the delay from the moment the session has been idle for the threshold to the
#   first picture on the screen, against the delay from starting the show directly
#   to its first picture, in the same run (median of three each).
# sway refuses to run as root: as root it runs as user 65534.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build/bench/idle
mkdir -p "$out"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORA_SANITIZE=OFF >/dev/null
cmake --build build/release --target vellora vellora-xwindow >/dev/null

work=$(mktemp -d)
xvfb="" sway="" runtime=""
cleanup() {
  for pid in $xvfb $sway; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work" ${runtime:+"$runtime"}
}
trap cleanup EXIT

convert -size 400x300 xc:'#40c060' -type TrueColor "BMP3:$work/picture.bmp"
mkdir -p "$work/config/vellora" "$work/run"
chmod 700 "$work/run"
printf '%s\r\n' "$work/picture.bmp" >"$work/list.txt"
printf '%s\r\n1\r\n60\r\n0' "$work/list.txt" >"$work/config/vellora/Tessaview.ini"

cat >"$work/measure.py" <<'PY'
import os, select, signal, statistics, subprocess, sys, time

build, out, world = sys.argv[1], sys.argv[2], sys.argv[3]
program = os.path.join(build, "vellora")


def ticks(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def switches(pid):
    counts = dict(line.split(":") for line in open(f"/proc/{pid}/status") if "ctxt_switches" in line)
    return sum(int(v) for v in counts.values())


def centre():
    if world == "x11":
        shot = subprocess.run([os.path.join(build, "vellora-xwindow"), "shot", "0"], capture_output=True).stdout
        i = (240 * 640 + 320) * 4
        return shot[i:i + 3]
    shot = subprocess.run(["grim", "-g", "320,240 1x1", "-t", "ppm", "-"], capture_output=True).stdout
    return shot[-3:]


def busy():
    """Input that makes the session busy: the idle time starts again from here."""
    if world == "x11":
        subprocess.run(["xdotool", "mousemove", "1", "1", "mousemove", "2", "2"], check=True)
    else:
        subprocess.run(["wtype", "-k", "space"], check=True)


background = centre()  # the root window's black, or the compositor's background


def centre_lit():
    return centre() not in (background, b"\0\0\0")


def first_picture_after(start):
    while not centre_lit():
        if time.monotonic() - start > 30:
            raise SystemExit("no picture within 30 s")
        time.sleep(0.005)
    return time.monotonic() - start


def ended(process):
    process.send_signal(signal.SIGTERM)
    process.wait(10)
    while centre_lit():
        time.sleep(0.02)


def watching(watcher):
    """Waits for the watcher's line that it has its idle source, and gives the source."""
    ready, _, _ = select.select([watcher.stderr], [], [], 10)
    line = watcher.stderr.readline().decode() if ready else ""
    if "watching" not in line:
        raise SystemExit(f"the watcher did not start: {line!r}")
    return line.rsplit(" of ", 1)[1].strip()


# CPU while waiting: the threshold (ten minutes) is far beyond the minute measured,
# which starts once both have started up.
watcher = subprocess.Popen([program, "--idle", "10"], stderr=subprocess.PIPE)
source = watching(watcher)
sleeper = subprocess.Popen(["sleep", "70"])
time.sleep(2)
before = [(ticks(p.pid), switches(p.pid)) for p in (watcher, sleeper)]
time.sleep(60)
(wt, ws), (st, ss) = [(ticks(p.pid) - t, switches(p.pid) - s) for p, (t, s) in zip((watcher, sleeper), before)]
ratio = f"{wt / st:.2f}" if st else "undefined (sleep used none)"
lines = [f"{world} ({source}), waiting 60 s: watcher {wt} ticks, {ws} context switches; sleep {st} ticks, "
         f"{ss} context switches (ticks of {os.sysconf('SC_CLK_TCK')} a second); tick ratio {ratio}"]
watcher.terminate(); sleeper.terminate(); watcher.wait(); sleeper.wait()

direct, idle = [], []
for _ in range(3):
    start = time.monotonic()
    show = subprocess.Popen([program])
    direct.append(first_picture_after(start))
    ended(show)
    # Once the watcher has its source, the input that makes the session busy; idle
    # for the threshold three seconds later.
    watcher = subprocess.Popen([program, "--idle", "0.05"], stderr=subprocess.PIPE)
    watching(watcher)
    busy()
    busy_since = time.monotonic()
    idle.append(first_picture_after(busy_since) - 3.0)
    ended(watcher)
d, i = statistics.median(direct) * 1000, statistics.median(idle) * 1000
lines.append(f"{world}: first picture {i:.0f} ms after the idle moment, {d:.0f} ms after a direct start; "
             f"ratio {i / d:.2f}")
print("\n".join(lines))
open(os.path.join(out, f"idle-{world}.txt"), "w").write("\n".join(lines) + "\n")
PY

for n in $(seq 400 499); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY DISPLAY=":$n" XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/run" python3 "$work/measure.py" build/release "$out" x11
kill "$xvfb"; wait "$xvfb" 2>/dev/null || true; xvfb=""

if ! command -v grim >/dev/null || ! command -v wtype >/dev/null; then
  echo "sway: skipped (grim or wtype is not installed)"; exit 0
fi
source tools/bench/lib/headless_sway.sh
status=0
start_headless_sway 640x480 "$out/sway.log" || status=$?
[ "$status" = 2 ] && exit 0
[ "$status" = 0 ] || exit 1
# The socket by its full path, so that the watcher's lock stays in a runtime folder of its own.
env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY WAYLAND_DISPLAY="$socket" XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/run" python3 "$work/measure.py" build/release "$out" sway
