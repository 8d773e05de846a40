"""Private X and Wayland worlds for the tests of the native program: a virtual
screen or compositor, a settings folder of its own, and helpers that wait by
polling, never by sleeping a fixed time."""
import contextlib
import os
import pwd
import re
import shutil
import signal
import subprocess
import tempfile
import time

SCREEN = (640, 480)
LOCALE = "zh_CN.UTF-8"


def wait_until(check, timeout, interval=0.02):
    """Polls `check` until it returns something true; returns that, or None."""
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


# The calls a durable replace is made of, for strace's -e trace=.
REPLACE_CALLS = "openat,fsync,rename,renameat,renameat2"


def replaced_durably(trace, target):
    """Whether an strace log of REPLACE_CALLS shows `target` replaced by a rename of a
    file that was flushed after it was opened for writing, and the folder flushed
    after the rename."""
    events = []
    for line in trace.splitlines():
        if m := re.search(r'openat\(AT_FDCWD, "([^"]*)", ([A-Z_|]+)(?:, \d+)?\)\s*= (\d+)', line):
            events.append(("open", m[1], int(m[3]), "O_DIRECTORY" in m[2], "O_WRONLY" in m[2] or "O_RDWR" in m[2]))
        elif m := re.search(r"fsync\((\d+)\)\s*= 0", line):
            events.append(("fsync", int(m[1])))
        elif m := re.search(r'rename(?:at2?)?\((?:AT_FDCWD, )?"([^"]*)", (?:AT_FDCWD, )?"([^"]*)"', line):
            if re.search(r"\)\s*= 0$", line.rstrip()):
                events.append(("rename", m[1], m[2]))
    for at, event in enumerate(events):
        if event[0] != "rename" or event[2] != target:
            continue
        opened = [i for i, e in enumerate(events[:at]) if e[0] == "open" and e[1] == event[1] and e[4]]
        flushed = opened and any(e == ("fsync", events[opened[-1]][2]) for e in events[opened[-1]:at])
        folders = [e[2] for e in events[at:] if e[0] == "open" and e[3] and e[1] == os.path.dirname(target)]
        return bool(flushed and folders and any(e[0] == "fsync" and e[1] in folders for e in events[at:]))
    return False


def free_display():
    for n in range(300, 400):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return n
    raise RuntimeError("no free X display")


def himetric(pixels):
    return (pixels * 2540 + 48) // 96


class World:
    """What every display system's world shares: a settings folder, pictures, and the program."""

    def __init__(self, build_dir):
        self.build = os.path.abspath(build_dir)
        self.program = os.path.join(self.build, "vellora")
        self.root = tempfile.mkdtemp(prefix="vellora-linux-", dir=self.build)
        self.config = os.path.join(self.root, "config")
        self.settings = os.path.join(self.config, "vellora", "Tessaview.ini")
        self.pictures = os.path.join(self.root, "pictures")
        os.makedirs(self.pictures)
        self.env = dict(os.environ)
        self.env["XDG_CONFIG_HOME"] = self.config
        # A home of its own, so that the user's real picture folders, cache and shuffle stay out of the tests.
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home)
        self.env["HOME"] = self.home
        self.env["XDG_CACHE_HOME"] = os.path.join(self.root, "cache")
        self.env["XDG_STATE_HOME"] = os.path.join(self.root, "state")
        self.env.pop("XSCREENSAVER_WINDOW", None)
        # The program speaks the session's language; its texts are checked in Chinese,
        # the language of the GBK texts they are translated from.
        self.env["LC_ALL"] = LOCALE

    def expected(self, row, device, picture, with_rect=False):
        """The test platform's screen after the reveal; with the picture's rectangle when asked."""
        result = subprocess.run([os.path.join(self.build, "vellora-surface"), str(row), *map(str, device), picture],
                                capture_output=True, timeout=60, check=True)
        if not with_rect:
            return result.stdout
        rect = tuple(int(v) for v in result.stderr.split()[1:5])
        return result.stdout, rect

    def write_show(self, pictures, row=1, delay=60, random_order=0, list_name="list.txt"):
        listing = os.path.join(self.root, list_name)
        with open(listing, "wb") as f:
            f.write(b"".join(p.encode() + b"\r\n" for p in pictures))
        os.makedirs(os.path.dirname(self.settings), exist_ok=True)
        with open(self.settings, "wb") as f:
            f.write(b"%s\r\n%d\r\n%d\r\n%d" % (listing.encode(), row, delay, random_order))
        return listing

    def picture(self, name, width, height):
        """A picture whose every pixel differs from its neighbours' and from black."""
        path = os.path.join(self.pictures, name)
        if not os.path.exists(path):
            target = ("BMP3:" if name.endswith(".bmp") else "") + path
            subprocess.run(["convert", "-size", f"{width}x{height}", "gradient:#ff2020-#2020ff", "-fill", "#30c030",
                            "-draw", f"rectangle 0,0 {width // 3},{height // 4}", "-fill", "#f0f020",
                            "-draw", f"circle {width // 2},{height // 2} {width // 2},{height // 3}",
                            "+level", "8%,100%", "-type", "TrueColor", target], check=True)
        return path

    def launch(self, *args, env=None, stdin=None):
        return subprocess.Popen([self.program, *map(str, args)], env=env or self.env, stdin=stdin,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def running_shows(self):
        """Every running process of this build's program in this world, whoever
        started it: they all have the world's settings folder."""
        return self.running(self.program)

    def running(self, program):
        """Every running process of `program` in this world (see running_shows)."""
        found, ours = [], b"XDG_CONFIG_HOME=" + self.config.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/stat") as f:
                    state = f.read().rsplit(")", 1)[1].split()[0]
                with open(f"/proc/{pid}/environ", "rb") as f:
                    here = ours in f.read().split(b"\0")
                if here and state != "Z" and os.readlink(f"/proc/{pid}/exe") == os.path.realpath(program):
                    found.append(int(pid))
            except (OSError, IndexError):
                continue
        return found


class XWorld(World):
    """One virtual screen of `depth` bits (the default visual of that depth Xvfb offers)."""

    def __init__(self, build_dir, depth=24):
        super().__init__(build_dir)
        # Run inside a Wayland session, the program would otherwise show on the compositor.
        self.env.pop("WAYLAND_DISPLAY", None)
        # The session's runtime folder, where `vellora --stop` finds the show, is the world's own.
        self.env["XDG_RUNTIME_DIR"] = os.path.join(self.root, "runtime")
        os.mkdir(self.env["XDG_RUNTIME_DIR"], 0o700)
        self.xvfb = None
        self.screen_mm = None
        self.depth = depth

    def start(self):
        display = free_display()
        self.xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x{self.depth}",
                                      "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = f":{display}"
        if not wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 20):
            raise RuntimeError("Xvfb did not start")
        info = wait_until(lambda: self.helper("info", check=False), 10)
        width, height, mm_w, mm_h = map(int, info.split())
        assert (width, height) == SCREEN
        self.screen_mm = (mm_w, mm_h)

    def stop(self):
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)
        shutil.rmtree(self.root, ignore_errors=True)

    def helper(self, *args, check=True, env=None):
        result = subprocess.run([os.path.join(self.build, "vellora-xwindow"), *map(str, args)], env=env or self.env,
                                capture_output=True, timeout=30)
        if check and result.returncode != 0:
            raise RuntimeError(f"vellora-xwindow {args} failed: {result.stderr!r}")
        return result.stdout.decode() if args[0] != "shot" else result.stdout

    def shot(self, window=0, env=None):
        return self.helper("shot", window, env=env)

    def key(self, name="space"):
        subprocess.run(["xdotool", "key", name], env=self.env, check=True, timeout=10)

    def nested(self, *heads):
        """A server inside this one with a head of each size, side by side, as
        Xinerama tells; its RandR knows one monitor. For `with`: gives its env."""
        return NestedServer(self, heads)

    def device(self, size=None):
        """The device metrics the program reports for the full screen or a window of `size`."""
        if size is None:
            return (*SCREEN, *self.screen_mm)
        w, h = size
        return (w, h, (w * self.screen_mm[0] + SCREEN[0] // 2) // SCREEN[0],
                (h * self.screen_mm[1] + SCREEN[1] // 2) // SCREEN[1])

    def make_window(self, x, y, w, h, *depth):
        """A window of the screen's default visual, or of the 32-bit one with alpha when `depth` is 32."""
        helper = subprocess.Popen([os.path.join(self.build, "vellora-xwindow"), "create", str(x), str(y), str(w),
                                   str(h), *map(str, depth)], env=self.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE)
        window = int(helper.stdout.readline())
        return helper, window


class NestedServer:
    def __init__(self, world, heads):
        self.world, self.heads, self.server = world, heads, None

    def __enter__(self):
        display = free_display()
        screens = [arg for w, h in self.heads for arg in ("-screen", f"{w}x{h}")]
        self.server = subprocess.Popen(["Xephyr", f":{display}", "+xinerama", *screens, "-nolisten", "tcp"],
                                       env=self.world.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env = dict(self.world.env, DISPLAY=f":{display}")
        if not wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}") and
                          self.world.helper("info", check=False, env=env), 20):
            self.__exit__()
            raise RuntimeError("Xephyr did not start")
        return env

    def __exit__(self, *_):
        self.server.terminate()
        self.server.wait(10)


NOBODY = 65534  # sway refuses to run as root: as root the tests start it as this user


class WaylandWorld(World):
    """A private headless compositor: sway (started as another user when the tests run
    as root) with outputs of given mode sizes and scales, or weston; screenshots in the
    same form as XWorld's, a virtual pointer of the tests' own and keys through wtype."""

    def __init__(self, build_dir):
        super().__init__(build_dir)
        self.compositor = None
        self.layout = None
        self.runtime = None
        self.launched = None
        self.pointer = None
        self.log = None
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"):
            self.env.pop(name, None)

    @staticmethod
    def unavailable():
        """Why these tests cannot run here, or None."""
        if not shutil.which("sway") or not shutil.which("grim"):
            return "sway or grim is not installed"
        if os.geteuid() == 0:
            try:
                pwd.getpwuid(NOBODY)
            except KeyError:
                return "sway refuses to run as root and there is no other user"
        return None

    def start(self, outputs=((640, 480, 1),), compositor="sway"):
        """(Re)starts the compositor unless it already runs with these outputs: each
        output is (mode width, mode height, scale), placed side by side."""
        layout = (compositor, tuple(outputs))
        if self.layout == layout and self.compositor and self.compositor.poll() is None:
            return
        self.stop_compositor()
        self.layout = layout
        self.runtime = tempfile.mkdtemp(prefix="vellora-wayland-")
        user = NOBODY if os.geteuid() == 0 else os.geteuid()
        os.chown(self.runtime, user, NOBODY if os.geteuid() == 0 else os.getegid())
        os.chmod(self.runtime, 0o700)
        self.log = open(os.path.join(self.root, "compositor.log"), "ab")
        env = dict(self.env, XDG_RUNTIME_DIR=self.runtime)
        if compositor == "sway":
            config = os.path.join(self.runtime, "config")
            lines = ["xwayland disable", "default_border none", "output * bg #204060 solid_color"]
            x = 0
            for i, (w, h, scale) in enumerate(outputs):
                lines.append(f"output HEADLESS-{i + 1} mode {w}x{h}@60Hz scale {scale} position {x} 0")
                x += int(w / scale)
            with open(config, "w") as f:
                f.write("\n".join(lines) + "\n")
            os.chown(config, user, -1)
            env.update(WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1",
                       WLR_HEADLESS_OUTPUTS=str(len(outputs)))
            command = ["sway", "-c", config]
            if os.geteuid() == 0:
                command = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", *command]
        else:
            (w, h, _), = outputs
            command = ["weston", "--backend=headless-backend.so", "--use-pixman", f"--width={w}", f"--height={h}",
                       "--socket=wayland-1", "--idle-time=0", "--debug"]
        self.launched = (command, env)
        self.compositor, socket = self.launch_compositor()
        self.env.update(XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY=socket)
        if compositor == "sway":
            self.pointer = subprocess.Popen([os.path.join(self.build, "vellora-wlpointer")], env=self.env,
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            assert self.pointer.stdout.readline().strip() == "ready", "no virtual pointer"
        if not wait_until(lambda: self.shot(0, check=False), 20):
            raise RuntimeError("no screenshot of the compositor")

    def launch_compositor(self):
        """Starts the compositor as start() last set it up; it and its new socket."""
        taken = set(os.listdir(self.runtime))
        command, env = self.launched
        compositor = subprocess.Popen(command, env=env, cwd=self.runtime, stdout=self.log, stderr=self.log)
        socket = wait_until(lambda: next((n for n in sorted(os.listdir(self.runtime)) if n.startswith("wayland-")
                                          and not n.endswith(".lock") and n not in taken), None), 20)
        if not socket:
            compositor.kill()
            compositor.wait()
            raise RuntimeError(f"{command[-3:]} did not start")
        return compositor, socket

    @contextlib.contextmanager
    def another_session(self):
        """A second compositor like the first in the same runtime folder, as a second
        log-in of the same user has: for a `with`, the environment of its programs."""
        compositor, socket = self.launch_compositor()
        try:
            yield dict(self.env, WAYLAND_DISPLAY=socket)
        finally:
            compositor.terminate()
            compositor.wait(10)

    def stop_compositor(self):
        if self.pointer:
            self.pointer.stdin.close()
            self.pointer.wait(10)
            self.pointer = None
        if self.compositor:
            self.compositor.terminate()
            try:
                self.compositor.wait(10)
            except subprocess.TimeoutExpired:
                self.compositor.kill()
                self.compositor.wait()
            self.compositor = None
        if self.runtime:
            shutil.rmtree(self.runtime, ignore_errors=True)
            self.runtime = None
        if self.log:
            self.log.close()
            self.log = None
        self.layout = None

    def stop(self):
        self.stop_compositor()
        shutil.rmtree(self.root, ignore_errors=True)

    def shot(self, output=0, check=True):
        """The output's device pixels as 0xRRGGBB words, like XWorld's screenshots: on
        sway exactly as the compositor holds them (before the output's transform), on
        weston from its own screenshot."""
        w, h, _ = self.layout[1][output]
        if self.layout[0] == "weston":
            rgb = self.weston_screenshot()
            assert len(rgb) == w * h * 3, f"a screenshot of {len(rgb)} bytes for {w}x{h}"
            words = bytearray(w * h * 4)
            words[0::4], words[1::4], words[2::4] = rgb[2::3], rgb[1::3], rgb[0::3]
            return bytes(words)
        path = os.path.join(self.root, "shot.raw")
        answer = self.helper_says(f"shot {output} {path}")
        if answer == "?" and not check:
            return None
        assert answer == f"ok {w} {h}", f"a screenshot of output {output} answered {answer!r} for {w}x{h}"
        with open(path, "rb") as f:
            return f.read()

    def weston_screenshot(self):
        """Weston's own screenshot (it offers no screencopy), a PNG file in the working folder."""
        folder = tempfile.mkdtemp(dir=self.root)
        try:
            subprocess.run(["weston-screenshooter"], env=self.env, cwd=folder, check=True, timeout=30,
                           capture_output=True)
            png = os.path.join(folder, os.listdir(folder)[0])
            return subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def device(self, output=0):
        """The device metrics the program reports: the output's pixels, no physical size."""
        w, h, _ = self.layout[1][output]
        return (w, h, 0, 0)

    def helper_says(self, action):
        """The answer of vellora-wlpointer to one action."""
        self.pointer.stdin.write(action + "\n")
        self.pointer.stdin.flush()
        return self.pointer.stdout.readline().strip()

    def point(self, action):
        """A pointer action for vellora-wlpointer: move DX DY, warp X Y W H, click N or scroll."""
        assert self.helper_says(action) == "ok", f"pointer action {action!r} failed"

    def sway(self, command):
        """A sway command through its IPC socket; whether sway carried it out."""
        sockets = [n for n in os.listdir(self.runtime) if n.startswith("sway-ipc.")]
        if not sockets:
            return False
        done = subprocess.run(["swaymsg", "-s", os.path.join(self.runtime, sockets[0]), command], env=self.env,
                              capture_output=True, timeout=10)
        return done.returncode == 0

    def key(self, name="space"):
        # Without the pause one key in five is sent before the program has its keyboard.
        subprocess.run(["wtype", "-s", "200", "-k", name], env=self.env, check=True, timeout=10)

    @contextlib.contextmanager
    def held_keyboard(self):
        """A keyboard on the seat for the time of a `with`, as a real one is there
        throughout (the headless seat has none but while a key is typed): a
        virtual keyboard that types nothing."""
        keyboard = subprocess.Popen(["wtype", "-s", "600000"], env=self.env)
        try:
            yield
        finally:
            keyboard.kill()
            keyboard.wait(10)


def check_input_outcome(process, name, ends):
    """That the input called `name` ended the show with 0 when it should, and left it
    running for a second when it should not."""
    if ends:
        assert wait_until(lambda: process.poll() is not None, 5), f"{name}: the show went on"
        assert process.returncode == 0, f"{name}: exit code {process.returncode}"
    else:
        assert not wait_until(lambda: process.poll() is not None, 1), f"{name}: the show ended"


def check_ends_quickly(process, trigger, what, limit=0.1):
    """That `trigger()` ends the running show with 0 within `limit` seconds; prints how fast."""
    sent = time.monotonic()
    trigger()
    ended = wait_until(lambda: process.poll() is not None, 5, interval=0.005)
    took = time.monotonic() - sent
    assert ended, f"{what}: the show went on"
    assert process.returncode == 0, f"{what}: exit code {process.returncode}"
    assert took < limit, f"{what}: took {took * 1000:.0f} ms"
    print(f"  {what} ended the show in {took * 1000:.1f} ms")


def check_each_stop_ends_its_own_show(program, first, first_env, second, second_env):
    """That `vellora --stop` in the session of `second_env` ends that session's show
    and leaves the other's, and then the same in the session of `first_env`."""
    for stopped, env, left in ((second, second_env, first), (first, first_env, None)):
        stop = subprocess.run([program, "--stop"], env=env, capture_output=True, timeout=10)
        assert stop.returncode == 0 and not stop.stderr, f"--stop: {stop.returncode} {stop.stderr!r}"
        assert wait_until(lambda: stopped.poll() is not None, 5), "--stop did not end its session's show"
        assert stopped.returncode == 0
        assert left is None or left.poll() is None, "--stop ended the other session's show"


def end(process, timeout=5):
    """Stops a program that is still running; returns its exit code."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait()
