"""The Windows platform draws plain bitmap pictures straight from their bitmap: the
screen must get the same pixels as through IPicture::Render, and many pictures
must leave nothing behind."""
import ctypes
import ctypes.util
import hashlib
import os
import subprocess

import run_e2e as e2e
from wine_env import SCREEN, wait_until

# Smaller than the 1024x768 screen, odd against it (the centring halves truncate),
# and larger than it, wider or taller, so that the picture starts left of or above
# the screen. Noise, so that a band taken one pixel off shows. Each is small in at
# least one direction: the Render path takes minutes for a large picture under Wine.
PICTURES = [("bmp", 120, 90), ("jpg", 120, 90), ("gif", 120, 90),
            ("bmp", 131, 97), ("jpg", 131, 97), ("gif", 131, 97),
            ("bmp", 1040, 64), ("jpg", 1040, 64), ("gif", 96, 790)]
# Frames after these fractions of a transition's drawing calls. A clear ends black
# whichever way the picture was drawn, so only its middle tells anything.
REVEAL_STOPS, CLEAR_STOPS = (1, 1 / 4, 1 / 2), (1 / 2,)


def make_noise_picture(world, windows_path, width, height, seed):
    path = world.host_path(windows_path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    target = ("BMP3:" if path.endswith(".bmp") else "") + path
    subprocess.run(["convert", "-seed", str(seed), "-size", f"{width}x{height}", "xc:gray50", "+noise", "Random",
                    "-type", "TrueColor", "+matte", target], check=True)


class XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + \
               [("data", ctypes.c_void_p)] + \
               [(name, ctypes.c_int) for name in ("byte_order", "bitmap_unit", "bitmap_bit_order", "bitmap_pad",
                                                  "depth", "bytes_per_line", "bits_per_pixel")]


class Screen:
    """Screenshots straight from the X server over one connection: a new process per
    shot would cost more than all the drawing."""

    def __init__(self, display):
        x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype, x.XOpenDisplay.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
        x.XDefaultRootWindow.restype, x.XDefaultRootWindow.argtypes = ctypes.c_ulong, [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x, self.display = x, x.XOpenDisplay(display.encode())
        assert self.display, "cannot open the X display"
        self.root = x.XDefaultRootWindow(self.display)

    def hash(self):
        z_pixmap = 2
        image = self.x.XGetImage(self.display, self.root, 0, 0, SCREEN[0], SCREEN[1], 0xFFFFFFFF, z_pixmap)
        assert image, "no screenshot"
        try:
            return hashlib.sha1(ctypes.string_at(image.contents.data,
                                                 image.contents.bytes_per_line * image.contents.height)).hexdigest()
        finally:
            self.x.XDestroyImage(image)

    def close(self):
        self.x.XCloseDisplay(self.display)


class Frames:
    """vellora-bench in its frames mode: draws a transition stopped after some calls."""

    def __init__(self, world, render):
        env = dict(world.env)
        if render:
            env["VELLORA_RENDER_PATH"] = "render"
        self.process = subprocess.Popen(["wine", r"C:\vellora-bench.exe", "frames"], env=env, cwd=world.drive,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def ask(self, line):
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().decode().split()

    def close(self):
        try:
            self.ask("quit")
            self.process.wait(timeout=20)
        finally:
            e2e.kill(self.process)


def draw_every_frame(world, render, on_frame):
    """Draws every picture's reveal and clear of rows 1 to 19 up to each stop;
    `on_frame(key)` takes each screenshot."""
    frames = Frames(world, render)
    try:
        for kind, width, height in PICTURES:
            picture = rf"C:\fastpath\{width}x{height}.{kind}"
            assert frames.ask("load " + picture)[0] == "placed", picture
            for row in range(1, 20):
                for direction, stops in (("reveal", REVEAL_STOPS), ("clear", CLEAR_STOPS)):
                    for stop in stops:
                        answer = frames.ask(f"draw {row} {direction} {stop}")
                        assert answer[0] == "done", answer
                        if stop == 1 and direction == "reveal":
                            assert answer[2] == ("0" if render else "1"), f"{picture} {row}: not drawn the intended way"
                        on_frame((picture, row, direction, stop))
    finally:
        frames.close()


def test_bitmap_path_draws_the_same_pixels_as_render(world):
    for i, (kind, width, height) in enumerate(PICTURES):
        make_noise_picture(world, rf"C:\fastpath\{width}x{height}.{kind}", width, height, seed=i + 1)
    screen = Screen(world.env["DISPLAY"])
    try:
        expected, differing = {}, []

        def settled():
            # A frame can reach the X server a moment late: the reference is the screen
            # once two readings 20 ms apart agree.
            readings = [screen.hash()]

            def steady():
                readings.append(screen.hash())
                return len(readings) > 2 and readings[-1] == readings[-2]

            wait_until(steady, 1.0, interval=0.02)
            return readings[-1]

        draw_every_frame(world, False, lambda key: expected.__setitem__(key, settled()))

        def compare(key):
            # A frame can reach the X server a moment late; it gets that moment before it counts as different.
            if not wait_until(lambda: screen.hash() == expected[key], 1.0, interval=0.05):
                differing.append(key)

        draw_every_frame(world, True, compare)
    finally:
        screen.close()
    # Frames that never changed would compare equal whatever was drawn.
    halfway = [k for k in expected if k[2] == "reveal" and k[3] == 1 / 2]
    unlike_final = [k for k in halfway if expected[k] != expected[k[:3] + (1,)]]
    assert len(unlike_final) >= 0.9 * len(halfway), f"only {len(unlike_final)} of {len(halfway)} frames changed"
    assert not differing, f"{len(differing)} of {len(expected)} frames differ, first: {differing[:5]}"


def test_no_growth_over_two_hundred_pictures(world):
    # Wine's GetGuiResources reports no GDI objects at all (0 before and after); where
    # a system counts them the count must not grow. Pictures own their bitmaps, so 200
    # of them (300 KB each) may leave no more than allocator slack behind on either path.
    make_noise_picture(world, r"C:\fastpath\leak.jpg", 320, 240, seed=99)
    growth = {}
    for path in ("bitmap", "render"):
        env = dict(world.env, VELLORA_RENDER_PATH=path)
        done = subprocess.run(["wine", r"C:\vellora-bench.exe", "leak", r"C:\fastpath\leak.jpg", "200"], env=env,
                              cwd=world.drive, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=300)
        facts = {line.split()[0]: [int(v) for v in line.split()[1:]] for line in done.stdout.decode().splitlines()}
        assert done.returncode == 0 and facts["fast"] == [200 if path == "bitmap" else 0], (path, facts)
        gdi_before, gdi_after = facts["gdi"]
        assert gdi_after <= gdi_before, f"{path}: GDI objects grew from {gdi_before} to {gdi_after}"
        growth[path] = facts["memory"][1] - facts["memory"][0]
    assert max(growth.values()) <= 1 << 20, growth
