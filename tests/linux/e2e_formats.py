"""Pictures in every format the native program decodes, told apart by their
content: each shows in its place at its natural size, whatever its name says."""
import os
import shutil
import subprocess

from e2e_options import WINDOW_AT, WINDOW_SIZE, quadrant_picture, shows_quadrants
from linux_env import end, wait_until

# How each picture is made from a 160 × 120 PNG of four quadrants.
ENCODERS = (
    ("webp", ["cwebp", "-quiet", "-lossless", "{in}", "-o", "{out}"]),
    ("heic", ["heif-enc", "-q", "90", "{in}", "-o", "{out}"]),
    ("avif", ["avifenc", "-j", "1", "-l", "{in}", "{out}"]),
    ("tif", ["convert", "{in}", "-compress", "LZW", "TIFF:{out}"]),
    ("jxl", ["cjxl", "-d", "0", "{in}", "{out}"]),
)


def encoded_pictures(world):
    # Stored as truecolour: heif-enc misreads palette PNGs, which is what convert
    # writes for four colours.
    source = os.path.join(world.pictures, "formats24.png")
    subprocess.run(["convert", quadrant_picture(world, "formats.png", 0), f"PNG24:{source}"], check=True)
    pictures = []
    for extension, command in ENCODERS:
        path = os.path.join(world.pictures, f"formats.{extension}")
        subprocess.run([part.format(**{"in": source, "out": path}) if "{" in part else part for part in command],
                       check=True, capture_output=True)
        pictures.append(path)
    # A WebP file that calls itself a JPEG.
    renamed = os.path.join(world.pictures, "webp-named.jpg")
    shutil.copy(pictures[0], renamed)
    pictures.append(renamed)
    # A JPEG in Display P3, whose profile is converted wherever the show decodes.
    bench = os.path.join(world.build, "vellora-decode-bench")
    if os.path.exists(bench):
        profile, p3 = os.path.join(world.root, "p3.icc"), os.path.join(world.pictures, "p3.jpg")
        subprocess.run([bench, "p3", profile], check=True)
        subprocess.run(["convert", source, "-profile", profile, "-quality", "95", p3], check=True)
        pictures.append(p3)
    return pictures


def test_every_format_shows_in_its_place_whatever_its_name(world):
    pictures = encoded_pictures(world)
    device = world.device(WINDOW_SIZE)
    expected = [world.expected(1, device, picture, with_rect=True) for picture in pictures]
    for (_, rect), picture in zip(expected, pictures):
        assert rect[2:] == expected[0][1][2:], f"{picture}: placed at {rect}, not as the others"
    world.write_show(pictures, row=1, delay=2)
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    process = world.launch("--window-id", window)
    try:
        # The pictures come one after another in the list's order; each must show
        # exactly as the test platform draws it, in the colours it was made with.
        for picture, (screen, rect) in zip(pictures, expected):
            shown = wait_until(lambda: world.shot(window) == screen, 30)
            assert shown, f"{os.path.basename(picture)} was not shown as expected (the program " \
                          f"{'runs' if process.poll() is None else 'ended'})"
            assert shows_quadrants(world, window, rect), f"{os.path.basename(picture)}: not its colours"
    finally:
        assert end(process) == 0
        helper.stdin.close()
        helper.wait(10)
