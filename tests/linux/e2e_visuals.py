"""The show on displays other than 24-bit TrueColor: each pixel shows the expected
colour within what the display can hold, on 16-bit and 8-bit screens and in a
32-bit window with alpha."""
import array

from linux_env import XWorld, end, wait_until

WINDOW_AT, WINDOW_SIZE = (40, 30), (400, 300)
# The largest error of one 8-bit channel on each display: half a level of its
# coarsest channel, and rounding. 16 bits: 5 bits of 565. 8 bits: Xvfb's colormap
# comes with four levels a channel (85 apart) taken, so a quarter of the colour
# cube finds no room and those colours take the nearest of those four levels; the
# lookup of the nearest colour adds 4 more.
TOLERANCE = {32: 0, 24: 0, 16: 5, 8: 47}


def worst_channel_error(shot, expected):
    """The largest difference of one channel between the two screens; None when their sizes differ."""
    got, want = array.array("I", shot), array.array("I", expected)
    if len(got) != len(want):
        return None
    worst = 0
    for a, b in zip(got, want):
        if a != b:
            worst = max(worst, abs((a >> 16 & 255) - (b >> 16 & 255)), abs((a >> 8 & 255) - (b >> 8 & 255)),
                        abs((a & 255) - (b & 255)))
    return worst


def shows_in_its_colours(world, depth, window_depth=()):
    picture = world.picture("visual.png", 160, 120)
    world.write_show([picture], row=1)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE, *window_depth)
    process = world.launch("--window-id", window)
    try:
        errors = []

        def close_enough():
            errors.append(worst_channel_error(world.shot(window), expected))
            return errors[-1] is not None and errors[-1] <= TOLERANCE[depth]
        assert wait_until(close_enough, 30, interval=0.2), \
            f"{depth}-bit: a channel is off by {errors[-1]} (at most {TOLERANCE[depth]} allowed)"
    finally:
        code = end(process)
        helper.stdin.close()
        helper.wait(10)
    assert code == 0, f"{depth}-bit: exit code {code}"


def test_16_and_8_bit_displays_show_the_pictures_colours(world):
    for depth in (16, 8):
        other = XWorld(world.build, depth=depth)
        try:
            other.start()
            shows_in_its_colours(other, depth)
        finally:
            other.stop()


def test_a_32_bit_window_with_alpha_gets_the_picture(world):
    shows_in_its_colours(world, 32, (32,))
