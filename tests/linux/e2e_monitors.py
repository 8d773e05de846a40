"""A show on each monitor of a screen of two monitors of different sizes: a nested
server whose two heads lie side by side."""
import signal
import subprocess

from linux_env import end, wait_until

HEADS = ((800, 600), (640, 480))


def head_devices(world, env):
    """Each head's device metrics: its size, and millimetres as dense as the whole screen."""
    width, height, mm_w, mm_h = map(int, world.helper("info", env=env).split())
    assert (width, height) == (sum(w for w, _ in HEADS), max(h for _, h in HEADS))
    return [(w, h, (w * mm_w + width // 2) // width, (h * mm_h + height // 2) // height) for w, h in HEADS]


def part(shot, shot_width, left, width, height):
    return b"".join(shot[(y * shot_width + left) * 4:(y * shot_width + left + width) * 4] for y in range(height))


def each_head_shows(world, env, expected):
    shot = world.shot(env=env)
    screen_width = sum(w for w, _ in HEADS)
    lefts = (0, HEADS[0][0])
    return all(part(shot, screen_width, left, w, h) == want
               for left, (w, h), want in zip(lefts, HEADS, expected))


def xdotool(env, *args):
    subprocess.run(["xdotool", *map(str, args)], env=env, capture_output=True, timeout=10, check=True)


def test_each_monitor_has_its_own_show_and_they_end_together(world):
    picture = world.picture("p0.bmp", 160, 120)
    world.write_show([picture], row=1, delay=60)
    endings = [  # name, how the shows are ended
        ("a key", lambda env, first: xdotool(env, "key", "a")),
        ("a click on the second monitor", lambda env, first: xdotool(env, "mousemove", 1000, 300, "click", 1)),
        ("SIGTERM to the first", lambda env, first: first.send_signal(signal.SIGTERM)),
        ("vellora --stop", lambda env, first: subprocess.run([world.program, "--stop"], env=env, timeout=10)),
        # Last, as it changes the server for good: the first head takes another mode.
        ("a monitor changed", lambda env, first: subprocess.run(
            ["xrandr", "--output", "default", "--mode", "1024x768"], env=env, capture_output=True, timeout=10)),
    ]
    with world.nested(*HEADS) as env:
        # Each head's picture sits in the middle of that head, at that head's density.
        expected = [world.expected(1, device, picture) for device in head_devices(world, env)]
        for name, ending in endings:
            first = world.launch(env=env)
            try:
                assert wait_until(lambda: each_head_shows(world, env, expected), 20), \
                    f"{name}: not one centred picture per monitor"
                assert len(world.running_shows()) == 2, f"{name}: not one process per monitor"
                ending(env, first)
                assert wait_until(lambda: first.poll() is not None, 5), f"{name}: the first show went on"
                assert first.returncode == 0, f"{name}: exit code {first.returncode}"
                assert wait_until(lambda: not world.running_shows(), 5), f"{name}: a show was left"
            finally:
                end(first)
