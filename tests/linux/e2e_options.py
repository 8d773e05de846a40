"""The options beyond the settings file: overriding it for one run, and turning
photos upright by their EXIF orientation."""
import os
import struct
import subprocess

from linux_env import end, wait_until

WINDOW_AT, WINDOW_SIZE = (40, 30), (400, 300)
QUADRANTS = ((255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0))  # top-left, top-right, bottom-left, bottom-right


def quadrant_picture(world, name, turn):
    """A 160 × 120 picture of four solid quadrants, stored turned by `turn` degrees."""
    path = os.path.join(world.pictures, name)
    r, g, b, y = ("rgb(%d,%d,%d)" % c for c in QUADRANTS)
    subprocess.run(["convert", "-size", "80x60", f"xc:{r}", "(", "-size", "80x60", f"xc:{g}", ")", "+append", "(",
                    "-size", "80x60", f"xc:{b}", "(", "-size", "80x60", f"xc:{y}", ")", "+append", ")", "-append",
                    "-rotate", str(turn), "-quality", "95", path], check=True)
    return path


def with_exif(path, tiff):
    """The JPEG with an EXIF block holding the TIFF structure `tiff`."""
    body = b"Exif\x00\x00" + tiff
    data = open(path, "rb").read()
    with open(path, "wb") as f:
        f.write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + data[2:])
    return path


def with_orientation(path, orientation):
    """The JPEG with an EXIF block whose orientation tag says how to turn it upright."""
    return with_exif(path, b"MM\x00\x2a\x00\x00\x00\x08" + struct.pack(">HHHIHHI", 1, 0x0112, 3, 1, orientation, 0, 0))


def pixel(shot, width, x, y):
    i = (y * width + x) * 4
    return shot[i + 2], shot[i + 1], shot[i]


def shows_quadrants(world, window, rect):
    shot = world.shot(window)
    left, top, w, h = rect
    points = [(left + w // 4, top + h // 4), (left + 3 * w // 4, top + h // 4), (left + w // 4, top + 3 * h // 4),
              (left + 3 * w // 4, top + 3 * h // 4)]
    return all(max(abs(a - b) for a, b in zip(pixel(shot, WINDOW_SIZE[0], x, y), want)) < 60
               for (x, y), want in zip(points, QUADRANTS))


def test_options_override_the_settings_file_for_one_run(world):
    picture = quadrant_picture(world, "override.png", 0)
    listing = os.path.join(world.root, "override.txt")
    with open(listing, "wb") as f:
        f.write(picture.encode() + b"\n")
    if os.path.exists(world.settings):
        os.remove(world.settings)
    _, rect = world.expected(1, world.device(WINDOW_SIZE), picture, with_rect=True)
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    try:
        process = world.launch("--window-id", window, "--list", listing, "--effect", "1", "--delay", "60")
        try:
            assert wait_until(lambda: shows_quadrants(world, window, rect), 15), "the list given was not shown"
        finally:
            assert end(process) == 0
        assert not os.path.exists(world.settings), "the options were saved"
    finally:
        helper.stdin.close()
        helper.wait(10)


def test_upright_turns_photos_by_their_orientation(world):
    upright = quadrant_picture(world, "upright.jpg", 0)
    _, rect = world.expected(1, world.device(WINDOW_SIZE), upright, with_rect=True)
    for orientation, stored_turn in ((6, -90), (3, 180)):
        picture = with_orientation(quadrant_picture(world, f"turned{orientation}.jpg", stored_turn), orientation)
        world.write_show([picture], row=1, delay=60)
        helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)  # a fresh, black window each time
        process = world.launch("--window-id", window, "--upright")
        try:
            assert wait_until(lambda: shows_quadrants(world, window, rect), 15), \
                f"orientation {orientation}: not the right way up"
        finally:
            assert end(process) == 0
            helper.stdin.close()
            helper.wait(10)


def test_saved_options_are_read_and_the_command_line_wins(world):
    """Options.ini beside the settings file: its fit is in effect without the flag,
    --no-fit wins for one run, and a damaged file means the defaults."""
    picture = os.path.join(world.pictures, "framed.png")
    # Far larger than the window: a blue frame around white, so the window's corner is
    # blue only when the whole picture is shrunk into it.
    subprocess.run(["convert", "-size", "1600x1200", "xc:blue", "-fill", "white", "-draw",
                    "rectangle 200,150 1399,1049", picture], check=True)
    world.write_show([picture], row=1, delay=60)
    options = os.path.join(os.path.dirname(world.settings), "Options.ini")
    corner = {True: (0, 0, 255), False: (255, 255, 255)}
    try:
        for name, text, args, fitted in [
                ("saved fit", b"# mine\n[Show]\nfit=true\n", (), True),
                ("saved fit, --no-fit", b"[Show]\nfit=true\n", ("--no-fit",), False),
                ("damaged", b"[Show]\nfit=perhaps\n", (), False),
                ("no file, --fit", None, ("--fit",), True)]:
            if text is None:
                os.remove(options)
            else:
                with open(options, "wb") as f:
                    f.write(text)
            helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
            process = world.launch("--window-id", window, *args)
            try:
                assert wait_until(lambda: max(abs(a - b) for a, b in zip(
                    pixel(world.shot(window), WINDOW_SIZE[0], 8, 8), corner[fitted])) < 40, 15), name
            finally:
                assert end(process) == 0, name
                helper.stdin.close()
                helper.wait(10)
            if text is not None:
                assert open(options, "rb").read() == text, f"{name}: the show changed the file"
    finally:
        if os.path.exists(options):
            os.remove(options)
