"""Long shows in bounded memory, and the formats that only the Windows Imaging
Component decodes."""
import ctypes
import os
import struct
import subprocess
import time

import run_e2e as e2e
from wine_env import SCREEN, close_to, is_black, wait_until

QUADRANTS = (e2e.RED, e2e.GREEN, e2e.BLUE, e2e.YELLOW)


class OpenCounter:
    """Counts how often each file of a folder is opened (inotify), so a test knows
    how many pictures the show has loaded without asking the show."""
    IN_OPEN = 0x20

    def __init__(self, folder):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        assert self.fd >= 0, "inotify unavailable"
        assert self.libc.inotify_add_watch(self.fd, folder.encode(), self.IN_OPEN) >= 0
        self.counts = {}

    def poll(self):
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return self.counts
            pos = 0
            while pos < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16:pos + 16 + length].rstrip(b"\0").decode()
                self.counts[name] = self.counts.get(name, 0) + 1
                pos += 16 + length

    def close(self):
        os.close(self.fd)


def private_memory(pid):
    """The process's anonymous resident memory in bytes: where decoded bitmaps live."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("RssAnon:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no RssAnon")


def make_soak_pictures(world):
    folder = world.host_path(r"C:\soak")
    os.makedirs(folder, exist_ok=True)
    e2e.make_picture(world, r"C:\soak\big.jpg", 3000, 2000, QUADRANTS)
    e2e.make_picture(world, r"C:\soak\mid.bmp", 1600, 1200, QUADRANTS)
    e2e.make_picture(world, r"C:\soak\small.gif", 400, 300, QUADRANTS)
    open(os.path.join(folder, "zero.jpg"), "wb").close()
    whole = open(os.path.join(folder, "big.jpg"), "rb").read()
    with open(os.path.join(folder, "cut.jpg"), "wb") as f:
        f.write(whole[:len(whole) // 3])
    with open(os.path.join(folder, "text.jpg"), "wb") as f:
        f.write(b"not a picture\r\n" * 20)
    good = ["big.jpg", "mid.bmp", "small.gif"]
    order = ["big.jpg", "zero.jpg", "mid.bmp", "cut.jpg", "small.gif", "text.jpg"]
    return folder, good, ["C:\\soak\\" + name for name in order]


def test_a_long_show_of_large_pictures_stays_in_bounded_memory(world):
    folder, good, entries = make_soak_pictures(world)
    e2e.write_show(world, entries, row=1, delay=1)
    counter = OpenCounter(folder)
    world.xdotool("mousemove", "500", "400")
    saver = world.start_saver("/s")
    try:
        loads = lambda: sum(counter.poll().get(name, 0) for name in good)
        # Memory is compared at the same phase of the list's cycle: the highest
        # reading over two cycles after the tenth load, and over the last two cycles.
        samples, deadline = [], time.monotonic() + 300
        while time.monotonic() < deadline and saver.poll() is None:
            count = loads()
            if count >= 66:
                break
            if count >= 10:
                samples.append((count, private_memory(saver.pid)))
            time.sleep(0.1)
        assert loads() >= 66, f"only {loads()} pictures loaded"
        assert saver.poll() is None, "the show ended"
        early = max(m for n, m in samples if n < 16)
        late = max(m for n, m in samples if n >= 60)
        growth = (late - early) / 2**20
        assert growth <= 32, f"memory grew by {growth:.0f} MB over {loads() - 10} pictures"
        assert world.probe("wait-box", "0") is None, "a message box appeared"
        # Still drawing: the next picture comes, whichever it is.
        assert wait_until(lambda: not is_black(world.screenshot().at(SCREEN[0] // 2 - 2, SCREEN[1] // 2 - 2)), 10), \
            "nothing is drawn any more"
    finally:
        counter.close()
        e2e.kill(saver)
        world.probe("gone", e2e.CLASS, e2e.TITLE, "10000")


def draw_picture(world, windows_path, *extra):
    """The helper's drawing of a picture at 96 pixels per inch: (HIMETRIC size, ppm)."""
    out = r"C:\drawn.ppm"
    world.remove_file(out)
    done = world.run(["wine", r"C:\vellora-picture.exe", windows_path, out, *extra])
    if done.returncode != 0:
        return None, None
    size = tuple(int(v) for v in done.stdout.split()[1:3])
    return size, open(world.host_path(out), "rb").read()


def ppm_pixel(data, x, y):
    magic, w, h, rest = data.split(b"\n", 3)[0], *data.split(b"\n", 3)[1].split(), data.split(b"\n", 3)[3]
    i = (y * int(w) + x) * 3
    return tuple(rest[i:i + 3])


def make_alpha_png(world, windows_path):
    """Opaque red top-left, half-transparent green top-right, transparent bottom."""
    subprocess.run(["convert", "-size", "64x48", "xc:none", "-fill", "red", "-draw", "rectangle 0,0 31,23", "-fill",
                    "rgba(0,255,0,0.5)", "-draw", "rectangle 32,0 63,23", "PNG32:" + world.host_path(windows_path)],
                   check=True)


def test_formats_beyond_ole_come_through_the_imaging_component(world):
    e2e.make_picture(world, r"C:\pics\q.bmp", 120, 90, QUADRANTS)
    subprocess.run(["convert", world.host_path(r"C:\pics\q.bmp"), world.host_path(r"C:\pics\q.tif")], check=True)
    make_alpha_png(world, r"C:\pics\alpha.png")
    bmp_size, bmp_pixels = draw_picture(world, r"C:\pics\q.bmp")
    tif_size, tif_pixels = draw_picture(world, r"C:\pics\q.tif", "wic")
    assert tif_size == bmp_size and tif_pixels == bmp_pixels, "the TIFF does not draw as the same BMP"
    png_size, png_pixels = draw_picture(world, r"C:\pics\alpha.png", "wic")
    assert png_size == (1693, 1270), png_size  # 64 × 48 pixels at 96 per inch
    for (x, y), want in [((5, 5), (255, 0, 0)), ((40, 5), (0, 127, 0)), ((5, 40), (0, 0, 0)), ((60, 45), (0, 0, 0))]:
        assert close_to(ppm_pixel(png_pixels, x, y), want, tolerance=2), (x, y, ppm_pixel(png_pixels, x, y))
    # And in the show: the TIFF lands where the same BMP would.
    e2e.write_show(world, [r"C:\pics\q.tif"])
    world.xdotool("mousemove", "500", "400")
    saver = world.start_saver("/s")
    try:
        assert e2e.wait_for_picture(world, e2e.expected_rect(e2e.devcaps(world), 120, 90), QUADRANTS), \
            "the TIFF is not shown in the BMP's place"
    finally:
        e2e.kill(saver)
        world.probe("gone", e2e.CLASS, e2e.TITLE, "10000")


def test_without_the_imaging_component_a_bmp_shows_and_a_tiff_fails_quietly(world):
    e2e.make_picture(world, r"C:\pics\q.bmp", 120, 90, QUADRANTS)
    subprocess.run(["convert", world.host_path(r"C:\pics\q.bmp"), world.host_path(r"C:\pics\q.tif")], check=True)
    e2e.write_show(world, [r"C:\pics\q.tif", r"C:\pics\q.bmp"])
    env = dict(world.env, WINEDLLOVERRIDES=world.env["WINEDLLOVERRIDES"] + ";windowscodecs=d")
    world.xdotool("mousemove", "500", "400")
    saver = world.start_saver("/s", env=env)
    try:
        assert e2e.wait_for_picture(world, e2e.expected_rect(e2e.devcaps(world), 120, 90), QUADRANTS), \
            "the BMP is not shown"
        assert world.probe("wait-box", "0") is None, "the TIFF's failure was reported"
        assert saver.poll() is None
    finally:
        e2e.kill(saver)
        world.probe("gone", e2e.CLASS, e2e.TITLE, "10000")
    assert world.run(["wine", r"C:\vellora-picture.exe", r"C:\pics\q.tif", r"C:\drawn.ppm"]).returncode == 0
    done = subprocess.run(["wine", r"C:\vellora-picture.exe", r"C:\pics\q.tif", r"C:\drawn.ppm"], env=env,
                          cwd=world.drive, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    assert done.returncode == 1, "a TIFF decoded without the imaging component"


def test_imaging_component_pictures_free_their_memory(world):
    path = r"C:\pics\large.png"
    subprocess.run(["convert", "-size", "1600x1200", "gradient:red-blue", world.host_path(path)], check=True)
    done = world.run(["wine", r"C:\vellora-picture.exe", path, "repeat", "40", "wic"], timeout=300)
    assert done.returncode == 0, "the picture did not load"
    after_ten, after_all = (int(v) for v in done.stdout.split()[1:3])
    growth = (after_all - after_ten) / 2**20
    assert growth <= 8, f"private memory grew by {growth:.0f} MB over 30 pictures of 7.5 MB each"


def write_black_png(path, width, height):
    """A 1-bit grey PNG of any size that stays a few kilobytes on disk."""
    import zlib

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    row = b"\0" * (1 + (width + 7) // 8)
    compressor = zlib.compressobj(9)
    data = b"".join(compressor.compress(row) for _ in range(height)) + compressor.flush()
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0)) +
                chunk(b"IDAT", data) + chunk(b"IEND", b""))


def test_a_picture_over_the_pixel_cap_fails_before_decoding(world):
    # Both decode under Wine when asked; only the header's size tells them apart.
    for width, height, loads in [(9000, 11000, True), (10001, 10000, False)]:
        path = r"C:\pics\cap.png"
        write_black_png(world.host_path(path), width, height)
        done = world.run(["wine", r"C:\vellora-picture.exe", path, "repeat", "1"], timeout=120)
        assert (done.returncode == 0) == loads, f"{width}×{height}: loaded {done.returncode == 0}"
