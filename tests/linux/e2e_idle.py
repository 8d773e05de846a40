"""vellora --idle: the show starts once the session has been idle for the time
given, ends on input, is held off by an idle inhibitor and by a running
xscreensaver, and the watcher says so when the session has no idle time at all."""
import os
import select
import signal
import subprocess
import sys

from linux_env import end, wait_until

IDLE = "0.05"  # three seconds
PATIENCE = 3 + 10  # the idle time, and a show's start on a busy machine
QUIET = 3 + 2  # how long a show that must not start is waited for


def shown(world):
    return world.shot().count(0) != len(world.shot())


def watch_env(world):
    """The world's environment with a runtime folder (and lock) of the watcher's own,
    in which a compositor's socket is still found by its full path."""
    run = os.path.join(world.root, "run")
    os.makedirs(run, mode=0o700, exist_ok=True)
    env = dict(world.env, XDG_RUNTIME_DIR=run)
    if env.get("WAYLAND_DISPLAY"):
        env["WAYLAND_DISPLAY"] = os.path.join(world.env["XDG_RUNTIME_DIR"], env["WAYLAND_DISPLAY"])
    return env


def shows_running(world, watcher):
    return [pid for pid in world.running_shows() if pid != watcher.pid]


def start_watcher(world, env):
    world.write_show([world.picture("p0.bmp", 160, 120)], row=1, delay=60)
    return world.launch("--idle", IDLE, env=env)


def watching(watcher):
    """The line the watcher writes once it holds the lock and has its idle source."""
    ready, _, _ = select.select([watcher.stderr], [], [], 10)
    return watcher.stderr.readline().decode() if ready else ""


def test_idle_on_x11_starts_the_show_and_input_ends_it(world):
    env = watch_env(world)
    watcher = start_watcher(world, env)
    try:
        assert "X11 MIT-SCREEN-SAVER" in watching(watcher)
        second = world.launch("--idle", "5", env=env)
        _, err = second.communicate(timeout=10)
        assert second.returncode == 1 and b"already watching" in err, f"second watcher: {err!r}"

        assert wait_until(lambda: shown(world), PATIENCE), "the show did not start when idle"
        subprocess.run(["xdotool", "key", "a"], env=env, check=True, timeout=10)
        assert wait_until(lambda: not shows_running(world, watcher), 5), "input did not end the show"
        assert watcher.poll() is None, "the watcher ended with the show"

        # A screen saver daemon of the session, known by its marked window, keeps the show off.
        marked, window = world.make_window(0, 0, 1, 1)
        try:
            subprocess.run(["xprop", "-id", str(window), "-f", "_SCREENSAVER_VERSION", "8s", "-set",
                            "_SCREENSAVER_VERSION", "6.06"], env=env, check=True, timeout=10)
            subprocess.run(["xdotool", "mousemove", "5", "5"], env=env, check=True, timeout=10)
            assert not wait_until(lambda: shows_running(world, watcher), QUIET), "shown while xscreensaver runs"
        finally:
            marked.stdin.close()
            marked.wait(10)
        assert wait_until(lambda: shows_running(world, watcher), PATIENCE), "not shown once xscreensaver left"

        # The server's own screen saver (where X11 lockers start) takes over from the show.
        subprocess.run(["xset", "s", "activate"], env=env, check=True, timeout=10)
        try:
            assert wait_until(lambda: not shows_running(world, watcher), 5), "the show stayed over the server's saver"
        finally:
            subprocess.run(["xset", "s", "reset"], env=env, check=True, timeout=10)
        assert wait_until(lambda: shows_running(world, watcher), PATIENCE), "not shown after the saver went off"

        watcher.send_signal(signal.SIGTERM)
        assert watcher.wait(5) == 0
        assert wait_until(lambda: not world.running_shows(), 5), "SIGTERM left the show running"
    finally:
        end(watcher)


def test_idle_from_gnome_waits_for_the_inhibitor(world):
    env = watch_env(world)
    fake = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "fake_gnome_idle.py")],
                            env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        assert fake.stdout.readline().strip() == "ready"
        fake.stdin.write("inhibit\n")
        fake.stdin.flush()
        assert fake.stdout.readline().strip() == "done"
        watcher = start_watcher(world, env)
        try:
            assert "GNOME idle monitor" in watching(watcher), "not GNOME's idle time"
            assert not wait_until(lambda: shows_running(world, watcher), QUIET), "shown while inhibited"
            fake.stdin.write("allow\n")
            fake.stdin.flush()
            assert wait_until(lambda: shows_running(world, watcher), PATIENCE), "not shown once allowed"
            assert wait_until(lambda: shown(world), PATIENCE), "nothing drawn"
        finally:
            assert end(watcher) == 0
    finally:
        fake.stdin.close()
        fake.wait(10)


def test_idle_without_an_idle_source_says_so(world):
    env = {k: v for k, v in watch_env(world).items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    for wayland in (None, "wayland-nothing-here"):  # no compositor named, or one that is not there
        watcher = world.launch("--idle", "1", env=dict(env, WAYLAND_DISPLAY=wayland) if wayland else env)
        _, err = watcher.communicate(timeout=10)
        assert watcher.returncode == 1, f"{wayland}: exit code {watcher.returncode}"
        assert b"offers none" in err, f"{wayland}: {err!r}"
