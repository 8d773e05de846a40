"""The native program on a headless Wayland compositor: the same screens as the test
platform at scales 1, 2, 1.5 and those whose logical size is not whole, the input
rules, the ways a show is stopped, two sessions of one user, the README's idle
daemon recipe and the idle watcher, a show on each of two outputs, shuffled apart,
ended together by input, output changes and a lock screen, a message box above the
show, and a key or the compositor's end while a picture loads."""
import os
import shlex
import shutil
import signal
import subprocess
import time

from e2e_idle import PATIENCE, QUIET, shows_running, start_watcher, watch_env, watching
from e2e_photos import check_backdrop, check_caption
from e2e_sandbox import check_a_key_ends_a_show_while_a_picture_loads, loading_show
from linux_env import check_each_stop_ends_its_own_show, check_ends_quickly, check_input_outcome, end, wait_until
from run_linux import FORMATS, check_reveal_then_clear, tiny_black

WORLD = "wayland"

SCALE_ONE = ((640, 480, 1),)
SCALE_TWO = ((1280, 960, 2),)
SCALE_ONE_AND_A_HALF = ((960, 720, 1.5),)


def shows(world, expected, output=0):
    return world.shot(output) == expected


def started(world, picture, outputs=SCALE_ONE, *args):
    """A full-screen show of `picture` that has finished its reveal."""
    world.start(outputs)
    world.write_show([picture], row=1, delay=60)
    expected = world.expected(1, world.device(), picture)
    process = world.launch(*args)
    if not wait_until(lambda: shows(world, expected), 10):
        end(process)
        raise AssertionError(f"{outputs}: the show never matched: {process.stderr.read()[-300:]!r}")
    return process


def test_every_row_at_scales_one_and_two(world):
    for outputs in (SCALE_ONE, SCALE_TWO):
        world.start(outputs)
        for row in range(20):
            picture = world.picture(f"p{row % 3}.{FORMATS[row % 3]}", 160, 120)
            world.write_show([picture, tiny_black(world)], row=row, delay=2)
            check_reveal_then_clear(world, row, 0, world.device(), picture)


def test_weston_without_layer_shell_draws_the_same_pixels(world):
    # Full-screen xdg toplevels on a compositor without layer-shell and without a seat.
    world.start(SCALE_ONE, compositor="weston")
    try:
        for row in (1, 4, 9):
            picture = world.picture(f"p{row % 3}.{FORMATS[row % 3]}", 160, 120)
            world.write_show([picture, tiny_black(world)], row=row, delay=2)
            check_reveal_then_clear(world, row, 0, world.device(), picture)
    finally:
        world.stop_compositor()


def test_every_scale_shows_pictures_at_their_natural_size(world):
    # One picture pixel per device pixel on every device pixel of the output: the
    # test platform's screen of the output's mode, not a screen of its logical size
    # stretched, nor one drawn at the compositor's rounded-up scale, nor one squeezed
    # into the whole logical pixels the output has (426 × 341 at 1280 × 1024 and 3),
    # with the desktop showing in the row or column that leaves.
    picture = world.picture("p1.png", 160, 120)
    for outputs in (SCALE_ONE_AND_A_HALF, ((1280, 1024, 3),), ((2256, 1504, 1.5),), ((1366, 768, 1.5),),
                    ((1280, 1024, 2.5),), ((1024, 768, 3.7),)):
        process = started(world, picture, outputs)
        assert end(process) == 0


def test_input_rules(world):
    picture = world.picture("p0.bmp", 160, 120)
    cases = [  # name, action, whether it ends the show
        ("key", "key", True),
        ("click", "click 1", True),
        ("right click", "click 3", True),
        ("middle click", "click 2", True),
        ("travel of five pixels", "move 3 2", True),
        ("travel of four pixels", "move 3 1", False),
        ("wheel", "scroll", False),
    ]
    for name, action, ends in cases:
        process = started(world, picture)
        try:
            world.key() if action == "key" else world.point(action)
            check_input_outcome(process, name, ends)
        finally:
            end(process)


def test_sigterm_stop_and_a_second_start(world):
    world.start(SCALE_ONE)
    big = world.picture("big.png", 600, 440)
    world.write_show([big], row=9, delay=60)
    finished = world.expected(9, world.device(), big)
    process = world.launch()
    try:
        background = world.shot()
        assert wait_until(lambda: world.shot() not in (background, bytes(len(background))), 10), "no mosaic"
        check_ends_quickly(process, lambda: process.send_signal(signal.SIGTERM), "SIGTERM in a mosaic")
    finally:
        end(process)
    assert world.shot() != finished, "the mosaic was over before the signal"

    first = started(world, world.picture("p1.png", 160, 120))
    try:
        second = world.launch()
        assert second.wait(10) == 0, "the second start did not leave"
        assert first.poll() is None, "the first show ended"
        stop = world.launch("--stop")
        assert stop.wait(10) == 0
        assert wait_until(lambda: first.poll() is not None, 5), "--stop did not end the show"
        assert first.returncode == 0
        assert record_of(world.env) is None, "the record stayed"
    finally:
        end(first)


def record_of(env):
    """The process id the record of the session `env` names, if there is one."""
    path = os.path.join(env["XDG_RUNTIME_DIR"], f"vellora.wayland.{env['WAYLAND_DISPLAY']}.pid")
    return int(open(path).read()) if os.path.exists(path) else None


def test_two_sessions_of_one_user_keep_their_shows_apart(world):
    # Sessions of one user share the runtime folder: a show in one was taken for
    # the other's, which then started none, and either's --stop ended it.
    world.start(SCALE_ONE)
    with world.another_session() as other:
        first = started(world, world.picture("p1.png", 160, 120))
        second = world.launch(env=other)
        try:
            assert wait_until(lambda: record_of(other) == second.pid, 10), "no show in the other session: " + (
                "it runs" if second.poll() is None else f"it ended with {second.returncode}")
            assert record_of(world.env) == first.pid
            check_each_stop_ends_its_own_show(world.program, first, world.env, second, other)
        finally:
            end(first)
            end(second)


def test_forms_x11_only_options_and_a_display_beside_the_compositor(world):
    world.start(SCALE_ONE)
    for args in (["--window-id", "0x400001"], ["--root"]):
        process = world.launch(*args)
        _, err = process.communicate(timeout=10)
        assert process.returncode == 2 and b"X11" in err, f"{args}: {process.returncode} {err!r}"
        # Under XWayland they draw into the X11 window on XWayland's display (here none answers).
        process = world.launch(*args, env=dict(world.env, DISPLAY=":4711"))
        _, err = process.communicate(timeout=30)
        assert process.returncode == 1 and b"X display" in err, f"{args}: {process.returncode} {err!r}"
    # XWayland sets DISPLAY beside WAYLAND_DISPLAY: the program still runs natively.
    world.write_show([world.picture("p2.jpg", 160, 120)], row=1, delay=60)
    expected = world.expected(1, world.device(), world.picture("p2.jpg", 160, 120))
    process = world.launch(env=dict(world.env, DISPLAY=":4711"))
    try:
        assert wait_until(lambda: shows(world, expected), 10), "not shown on Wayland"
    finally:
        assert end(process) == 0
    # An ordinary window: input ends nothing, the compositor closing it ends the show.
    process = world.launch("--window")
    try:
        assert wait_until(lambda: world.sway("[app_id=vellora] focus"), 10), "no window"
        world.key()
        assert process.poll() is None, "a key ended the window form"
        assert world.sway("[app_id=vellora] kill")
        assert wait_until(lambda: process.poll() is not None, 5), "closing the window did not end the show"
        assert process.returncode == 0
    finally:
        end(process)


README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")


def readme_swayidle_recipe():
    """The swayidle command the README gives, word for word, with seconds for a
    test in place of its minutes: the show after 2 s, the lock after 6 s."""
    with open(README) as f:
        words = shlex.split(next(line for line in f if line.startswith("swayidle ")))
    timeouts = [words[i + 1] for i, word in enumerate(words) if word == "timeout"]
    assert timeouts == ["300", "600"], f"the README's recipe has other timeouts: {words}"
    seconds = {"300": "2", "600": "6"}
    return [seconds[word] if words[i - 1] == "timeout" else word for i, word in enumerate(words)]


def test_the_readme_swayidle_recipe_ends_the_show_on_return_and_gives_way_to_the_lock(world):
    world.start(SCALE_ONE)
    picture = world.picture("p1.png", 160, 120)
    world.write_show([picture], row=1, delay=60)
    expected = world.expected(1, world.device(), picture)
    # The recipe's commands run as written: `vellora` is found on the PATH.
    folder = os.path.join(world.root, "bin")
    if not os.path.exists(folder):
        os.makedirs(folder)
        os.symlink(world.program, os.path.join(folder, "vellora"))
    env = dict(world.env, PATH=folder + os.pathsep + world.env["PATH"])
    swaylock = shutil.which("swaylock")
    white = b"\xff\xff\xff\0" * (len(expected) // 4)
    for comes_back in (True, False):
        with world.held_keyboard():
            idle = subprocess.Popen(readme_swayidle_recipe(), env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            try:
                assert wait_until(lambda: shows(world, expected), 10), "swayidle did not start the show"
                if comes_back:
                    # Between the show and the lock: a pointer nudge too small to end the
                    # show by itself, so that only the resume command can.
                    world.point("move 1 0")
                    assert wait_until(lambda: not world.running_shows(), 5), "the resume did not end the show"
                else:
                    assert wait_until(lambda: world.shot() == white, 15), "the lock is not seen"
                    assert not world.running_shows(), "the show runs under the lock"
            finally:
                idle.terminate()
                idle.wait(10)
                for pid in world.running(swaylock):
                    os.kill(pid, signal.SIGTERM)
                subprocess.run([world.program, "--stop"], env=world.env, timeout=10)


# Side by side, of different sizes and densities: a 1440 × 600 extent for absolute pointer moves.
TWO_OUTPUTS = ((800, 600, 1), (1280, 960, 2))
TWO_EXTENT = "1440 600"
WARP_TO = ("warp 400 300 " + TWO_EXTENT, "warp 1120 300 " + TWO_EXTENT)


def each_output_shows(world, expected):
    return all(world.shot(output) == want for output, want in enumerate(expected))


def test_each_output_has_its_own_show_and_they_end_together(world):
    picture = world.picture("p0.bmp", 160, 120)
    # name, the output the pointer is brought to once the shows run, what ends them
    # (those that change the compositor's outputs as a sway command, after which it is
    # started afresh; an output taking its leave cannot be had here: sway 1.7 keeps a
    # disabled output's global)
    endings = [
        ("a key", None, lambda first: world.key()),
        ("travel on the first output", 0, lambda first: world.point("move 3 2")),
        ("a click on the second output", 1, lambda first: world.point("click 1")),
        ("travel on the second output", 1, lambda first: world.point("move 3 2")),
        ("SIGTERM to the first", None, lambda first: first.send_signal(signal.SIGTERM)),
        ("an output plugged in", None, "create_output"),
        # Pictures were left at the old centre, or an output black, for the rest of the show.
        ("a larger mode", None, "output HEADLESS-1 mode 1024x768"),
        ("a smaller mode on the second output", None, "output HEADLESS-2 mode 320x240"),
        ("a turn", None, "output HEADLESS-1 transform 90"),
        ("a whole scale", None, "output HEADLESS-2 scale 1"),
        # The output still reports 2: only the show's logical size tells.
        ("a fractional scale", None, "output HEADLESS-2 scale 1.5"),
    ]
    for name, pointer_to, ending in endings:
        world.start(TWO_OUTPUTS)
        world.write_show([picture], row=1, delay=60)
        # Each output's picture sits in its middle at one picture pixel per device pixel.
        expected = [world.expected(1, world.device(output), picture) for output in range(2)]
        if pointer_to is not None:
            # The pointer waits on the other output: reaching the one tested moves
            # it between surfaces, which counts no travel.
            world.point(WARP_TO[1 - pointer_to])
        first = world.launch()
        try:
            assert wait_until(lambda: each_output_shows(world, expected), 20), \
                f"{name}: not one picture per output: {first.stderr.read()[-300:] if first.poll() is not None else ''}"
            assert len(world.running_shows()) == 2, f"{name}: not one process per output"
            if pointer_to is not None:
                world.point(WARP_TO[pointer_to])
                assert first.poll() is None, f"{name}: moving to the output ended the shows"
            if isinstance(ending, str):
                assert world.sway(ending), f"{name}: sway refused {ending!r}"
            else:
                ending(first)
            check_input_outcome(first, name, ends=True)
            assert wait_until(lambda: not world.running_shows(), 5), f"{name}: a show was left"
        finally:
            end(first)
            if isinstance(ending, str):
                world.stop_compositor()


def test_a_lock_screen_started_during_the_shows_ends_them_and_is_seen(world):
    # swaylock on sway 1.7: an overlay that takes the keyboard, and the input
    # inhibitor; the lock stayed hidden under both outputs' pictures until a key.
    picture = world.picture("p0.bmp", 160, 120)
    world.start(TWO_OUTPUTS)
    world.write_show([picture], row=1, delay=60)
    expected = [world.expected(1, world.device(output), picture) for output in range(2)]
    lock_colour = 0x102030
    with world.held_keyboard():
        first = world.launch()
        try:
            assert wait_until(lambda: each_output_shows(world, expected), 20), "not one picture per output"
            lock = subprocess.Popen(["swaylock", "--no-unlock-indicator", "--color", f"{lock_colour:06x}"],
                                    env=world.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            try:
                check_input_outcome(first, "a lock screen", ends=True)
                assert wait_until(lambda: not world.running_shows(), 5), "a show was left"
                locked = [lock_colour.to_bytes(4, "little") * (len(want) // 4) for want in expected]
                assert wait_until(lambda: each_output_shows(world, locked), 10), "the lock is not seen"
                assert lock.poll() is None, f"swaylock ended: {lock.stderr.read()!r}"
            finally:
                lock.terminate()
                lock.wait(10)
        finally:
            end(first)


def test_shuffled_outputs_never_show_the_same_picture_at_once(world):
    outputs = ((320, 240, 1), (320, 240, 1))
    world.start(outputs)
    folder = os.path.join(world.root, "shuffled")
    os.makedirs(folder, exist_ok=True)
    colours = ("#e02020", "#20e020", "#2020e0", "#e0e020")
    for i, colour in enumerate(colours):
        subprocess.run(["convert", "-size", "64x48", f"xc:{colour}", os.path.join(folder, f"{i}.png")], check=True)
    words = {int(c[1:], 16) for c in colours}
    process = world.launch("--list", folder, "--shuffle", "--effect", "1", "--delay", "1")
    try:
        seen = ([], [])
        deadline = time.monotonic() + 30
        while min(len(set(each)) for each in seen) < 3 and time.monotonic() < deadline and process.poll() is None:
            # Both outputs in one screenshot, so that the two pictures are seen at one moment.
            ppm = subprocess.run(["grim", "-t", "ppm", "-"], env=world.env, capture_output=True, timeout=30).stdout
            rgb = ppm[ppm.index(b"\n", ppm.index(b"\n", ppm.index(b"\n") + 1) + 1) + 1:]
            centres = [int.from_bytes(rgb[(120 * 640 + x) * 3:(120 * 640 + x) * 3 + 3], "big") for x in (160, 480)]
            if all(c in words for c in centres):
                assert centres[0] != centres[1], f"both outputs show #{centres[0]:06x}"
                for each, centre in zip(seen, centres):
                    each.append(centre)
        # Each output goes through the folder, not through a half of it of its own.
        assert min(len(set(each)) for each in seen) >= 3, f"pictures seen on each output: {seen}"
    finally:
        assert end(process) == 0


def test_a_message_box_appears_above_the_show_and_the_show_goes_on(world):
    world.start(SCALE_ONE)
    picture = world.picture("p1.png", 160, 120)
    later = os.path.join(world.pictures, "arrives-later.png")
    if os.path.exists(later):
        os.remove(later)
    world.write_show([later], row=1, delay=3)
    # With a keyboard on the seat throughout, the box taking it from the show is seen.
    with world.held_keyboard():
        check_the_box_is_above_the_show(world, picture, later)


def check_the_box_is_above_the_show(world, picture, later):
    process = world.launch()
    try:
        # The show is black while nothing is found: anything else on the screen is the box.
        assert wait_until(lambda: any(world.shot()), 30), "no box above the show: the program " + (
            "still runs" if process.poll() is None else f"ended with {process.returncode}: {process.stderr.read()!r}")
        os.link(picture, later)
        # The box has the keyboard while it is open: Return presses its OK, and the
        # show, which a key would end, goes on. The box may take its focus a moment
        # after it is drawn, and a black screenshot was once seen while it stayed
        # open, so Return is pressed whenever the box has stayed in sight a second.
        # Once it has gone the show is black until its next tick draws the picture
        # at once (row 1), which may take a while on a busy machine; a key then would
        # rightly end the show.
        expected = world.expected(1, world.device(), later)
        presses, box_since, deadline = 0, None, time.monotonic() + 60
        while (shot := world.shot()) != expected:
            assert process.poll() is None, "a key ended the show instead of pressing the box's OK"
            assert time.monotonic() < deadline, "the box stayed open" if any(shot) else "the show did not go on"
            box_since = (box_since or time.monotonic()) if any(shot) else None
            if box_since and time.monotonic() - box_since >= 1:
                assert presses < 5, "the box stayed open"
                world.key("Return")
                presses, box_since = presses + 1, None
            time.sleep(0.1)
    finally:
        assert end(process) == 0


def test_idle_watch_through_the_compositor(world):
    world.start(SCALE_ONE)
    env = watch_env(world)
    watcher = start_watcher(world, env)
    expected = world.expected(1, world.device(), world.picture("p0.bmp", 160, 120))
    inhibited = False
    try:
        assert "Wayland org_kde_kwin_idle" in watching(watcher), "not the compositor's idle notices"
        assert wait_until(lambda: shows(world, expected), PATIENCE), "the show did not start when idle"
        world.key()
        # Held at once, before the idle time could pass again.
        world.point("inhibit")
        inhibited = True
        assert wait_until(lambda: not shows_running(world, watcher), 5), "the key did not end the show"
        assert watcher.poll() is None, "the watcher ended with the show"
        assert not wait_until(lambda: shows_running(world, watcher), QUIET), "shown while inhibited"
        world.point("uninhibit")
        inhibited = False
        assert wait_until(lambda: shows_running(world, watcher), PATIENCE), "not shown once the inhibitor went"
        watcher.send_signal(signal.SIGTERM)
        assert watcher.wait(5) == 0
        assert wait_until(lambda: not world.running_shows(), 5), "SIGTERM left the show running"

        # The compositor leaving ends the session, and the watch with it.
        watcher = start_watcher(world, env)
        assert "Wayland org_kde_kwin_idle" in watching(watcher)
        world.stop_compositor()
        assert wait_until(lambda: watcher.poll() is not None, 5), "the watcher outlived the compositor"
        assert watcher.returncode == 0

        # Weston offers neither protocol: nothing here tells the idle time.
        world.start(SCALE_ONE, compositor="weston")
        try:
            lone = world.launch("--idle", "1", env=watch_env(world))
            _, err = lone.communicate(timeout=10)
            assert lone.returncode == 1 and b"offers none" in err, f"on weston: {lone.returncode} {err!r}"
        finally:
            world.stop_compositor()
    finally:
        if inhibited:
            world.point("uninhibit")
        end(watcher)


def test_a_key_ends_a_show_while_a_picture_loads_on_wayland(world):
    world.start(SCALE_ONE)
    check_a_key_ends_a_show_while_a_picture_loads(world)


def test_the_compositor_leaving_while_a_picture_loads_ends_the_show_at_once(world):
    for args in ((), ("--window",)):
        world.start(SCALE_ONE)
        process, decoder = loading_show(world, *args)
        try:
            check_ends_quickly(process, world.compositor.kill, f"{args}: the compositor's end while loading", limit=1)
            assert wait_until(lambda: not os.path.exists(f"/proc/{decoder}"), 5), f"{args}: the decoder was left"
        finally:
            end(process)
            world.stop_compositor()


def test_a_caption_and_a_backdrop_on_wayland(world):
    world.start(SCALE_ONE)
    check_caption(world)
    check_backdrop(world)
