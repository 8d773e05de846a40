"""Photos as people like them: --caption writes when and where a photo was taken in
the screen's lower right corner once the photo is revealed, and the clear takes it
away with the photo; --backdrop puts the picture itself, blurred and darkened, where
the screen around it would be black. The checks serve both display systems."""
import os
import shutil
import struct
import time

from e2e_options import with_exif
from linux_env import end, wait_until
from run_linux import is_black, tiny_black

TAKEN = b"2019:08:12 10:20:30"


def dated_tiff(taken):
    """A TIFF structure whose IFD0 points to an Exif IFD holding DateTimeOriginal."""
    exif_ifd = 8 + 2 + 12 + 4
    text = taken + b"\0"
    return (b"MM\x00\x2a" + struct.pack(">I", 8) +
            struct.pack(">HHHII", 1, 0x8769, 4, 1, exif_ifd) + struct.pack(">I", 0) +
            struct.pack(">HHHII", 1, 0x9003, 2, len(text), exif_ifd + 2 + 12 + 4) + struct.pack(">I", 0) + text)


def album(world, name, taken=None, modified=None):
    """A fresh folder whose one picture, a 160 × 120 JPEG, lies in 2019/Holiday below it."""
    folder = os.path.join(world.root, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "2019", "Holiday"))
    photo = shutil.copy(world.picture("plain.jpg", 160, 120), os.path.join(folder, "2019", "Holiday", "photo.jpg"))
    if taken:
        with_exif(photo, dated_tiff(taken))
    if modified:
        os.utime(photo, (modified, modified))
    return folder, photo


def words(shot):
    return memoryview(shot).cast("I")


def captioned(shot, expected, width, height):
    """The test platform's screen but for a caption: pixels that are neither the
    picture nor black in the lower right corner, and no change anywhere else."""
    now, want = words(shot), words(expected)
    if len(now) != len(want):
        return False
    changed = [i for i in range(len(now)) if now[i] != want[i]]
    return bool(changed) and all(i % width >= width // 2 and i // width >= height * 3 // 4 and now[i] for i in changed)


def shows_caption(world, process, expected, what):
    width, height = world.device()[:2]
    shot = wait_until(lambda: (s := world.shot()) and captioned(s, expected, width, height) and s, 30)
    assert shot, f"{what}: no caption in the lower right corner (the program " + (
        "runs)" if process.poll() is None else f"ended: {process.stderr.read()[-300:]!r})")
    return shot


def check_caption(world):
    """A photo's EXIF date and its folder below the one shown, gone with the clear; a
    photo without metadata shows its file's date in the same way."""
    width, height = world.device()[:2]
    folder, photo = album(world, "album-exif", taken=TAKEN)
    expected = world.expected(1, world.device(), photo)
    process = world.launch("--list", folder, "--effect", "1", "--delay", "3", "--caption")
    try:
        with_exif_date = shows_caption(world, process, expected, "EXIF date")
        # The next tick clears the photo and then finds none: the show stays black
        # but for the box in the middle that says so.
        os.remove(photo)
        corner = [y * width + x for y in range(height * 3 // 4, height) for x in range(width // 2, width)]
        assert wait_until(lambda: not any(map(words(world.shot()).__getitem__, corner)), 20), \
            "the caption outlived its picture's clear"
    finally:
        assert end(process) == 0
    # The same photo without metadata, last changed on the day the EXIF date names: the same caption.
    noon = time.mktime((2019, 8, 12, 12, 0, 0, 0, 0, -1))
    later = time.mktime((2020, 2, 3, 12, 0, 0, 0, 0, -1))
    for name, modified, same in (("album-file-date", noon, True), ("album-other-date", later, False)):
        folder, _ = album(world, name, modified=modified)
        process = world.launch("--list", folder, "--effect", "1", "--delay", "60", "--caption")
        try:
            shot = shows_caption(world, process, expected, name)
            if same:
                assert wait_until(lambda: world.shot() == with_exif_date, 10), "not the caption of the EXIF date"
            else:
                assert shot != with_exif_date, "another file date, yet the caption of the EXIF date"
        finally:
            assert end(process) == 0


def channels(word):
    return word >> 16 & 0xFF, word >> 8 & 0xFF, word & 0xFF


def inside(rect, width):
    left, top, w, h = rect
    return {y * width + x for y in range(top, top + h) for x in range(left, left + w)}


def shows_picture(shot, expected, rect, width):
    """The picture's own pixels exactly, whatever lies around them."""
    now, want = words(shot), words(expected)
    return len(now) == len(want) and all(now[i] == want[i] for i in inside(rect, width))


def backdropped(shot, rect, width):
    """Around the picture no black, only dark colours that change little from one
    pixel to the next."""
    now, inside_rect = words(shot), inside(rect, width)
    for i, word in enumerate(now):
        if i in inside_rect:
            continue
        if word == 0 or max(channels(word)) > 160:
            return False
        for j in (i + 1, i + width):
            if j < len(now) and j not in inside_rect and (j % width or j == i + width):
                if max(abs(a - b) for a, b in zip(channels(word), channels(now[j]))) > 6:
                    return False
    return True


def check_backdrop(world):
    """A 160 × 120 picture with its own colours around it, which the clear blanks."""
    width, height = world.device()[:2]
    picture = world.picture("p1.png", 160, 120)
    world.write_show([picture, tiny_black(world)], row=1, delay=2)
    expected, rect = world.expected(1, world.device(), picture, with_rect=True)
    process = world.launch("--backdrop")
    try:
        shot = wait_until(lambda: (s := world.shot()) and shows_picture(s, expected, rect, width) and s, 30)
        assert shot, "the picture's own pixels never showed"
        assert backdropped(shot, rect, width), "no backdrop, or not a dark and smooth one"
        # The picture is green at its top left, red at its top right and blue at its
        # bottom, and so are the screen's corners.
        corners = [channels(words(shot)[i]) for i in (0, width - 1, (height - 1) * width)]
        for (r, g, b), strongest in zip(corners, (1, 0, 2)):
            assert max(r, g, b) == (r, g, b)[strongest] > 2 * sorted((r, g, b))[1], f"corners {corners}"
        # The next picture is a tiny black one, whose backdrop is black.
        assert wait_until(lambda: is_black(world.shot()), 20), "the clear left the backdrop"
    finally:
        assert end(process) == 0


def test_a_caption_says_when_and_where_a_photo_was_taken(world):
    check_caption(world)


def test_a_backdrop_of_the_picture_itself_instead_of_black(world):
    check_backdrop(world)
