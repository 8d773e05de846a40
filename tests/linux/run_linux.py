#!/usr/bin/env python3
"""End-to-end tests of the native program on a virtual X screen, and on a headless
Wayland compositor for the files that say WORLD = "wayland".

usage: run_linux.py BUILD_DIR [TEST_NAME...]   (BUILD_DIR holds vellora and its helpers)
Run it inside a D-Bus session (dbus-run-session) with a Python that has the GObject
bindings, so the message boxes can be read through the accessibility tree.
Prints one line per test and closes with "N passed, M failed"."""
import gettext
import importlib
import os
import re
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from linux_env import (LOCALE, SCREEN, WaylandWorld, XWorld, check_each_stop_ends_its_own_show, check_ends_quickly,  # noqa: E402
                       check_input_outcome, end, wait_until)

WINDOW_AT, WINDOW_SIZE = (40, 30), (400, 300)
FORMATS = ("bmp", "png", "jpg")


def gtk_ok_label():
    """The OK button as GTK names it in the language of the shows' sessions."""
    return gettext.translation("gtk30", languages=[LOCALE.split(".")[0]], fallback=True).gettext("_OK").replace("_", "")


def is_black(shot):
    return shot.count(0) == len(shot)


def screen_of(world, window):
    return world.shot(window)


def differing(a, b):
    return sum(1 for i in range(0, min(len(a), len(b)), 4) if a[i:i + 4] != b[i:i + 4])


def tiny_black(world):
    path = os.path.join(world.pictures, "black.bmp")
    if not os.path.exists(path):
        subprocess.run(["convert", "-size", "2x2", "xc:black", "-type", "TrueColor", "BMP3:" + path], check=True)
    return path


def cleared_after(shot, revealed, rect, width):
    """Black in the picture's rectangle; elsewhere black or as the reveal left it."""
    left, top, w, h = rect
    now, before = memoryview(shot).cast("I"), memoryview(revealed).cast("I")
    if len(now) != len(before):
        return False
    for y in range(max(top, 0), min(top + h, len(now) // width)):
        start = y * width
        if any(now[start + max(left, 0):start + min(left + w, width)]):
            return False
    return all(a == 0 or a == b for a, b in zip(now, before))


def check_reveal_then_clear(world, row, window, device, picture):
    """The screen after the reveal equals the test platform's; after the next clear
    no pixel of the picture's rectangle is left (the next picture is a tiny black
    one), and outside it only what the reveal drew just beyond its edges."""
    # Row 0 reveals with a row drawn at random, and row 8 leaves lines just beyond the picture.
    candidates = [world.expected(r, device, picture, with_rect=True) for r in (range(1, 20) if row == 0 else [row])]
    screens, rect = {screen for screen, _ in candidates}, candidates[0][1]
    args = ["--window-id", window] if window else []
    process = world.launch(*args)
    try:
        shown = wait_until(lambda: (shot := screen_of(world, window)) in screens and shot, 40)
        if not shown:
            last, expected = screen_of(world, window), candidates[0][0]
            state = "still running" if process.poll() is None else \
                f"ended with {process.returncode}: {process.stderr.read()[-300:]!r}"
            raise AssertionError(f"row {row}: the reveal never matched ({differing(last, expected)} pixels differ;"
                                 f" the program {state})")
        cleared = wait_until(lambda: cleared_after(screen_of(world, window), shown, rect, device[0]), 40)
        assert cleared, f"row {row}: picture pixels left after the clear"
    finally:
        code = end(process)
    assert code == 0, f"row {row}: exit code {code}, {process.stderr.read()[-500:]!r}"


def test_every_row_into_a_window(world):
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    try:
        for row in range(20):
            picture = world.picture(f"p{row % 3}.{FORMATS[row % 3]}", 160, 120)
            world.write_show([picture, tiny_black(world)], row=row, delay=2)
            check_reveal_then_clear(world, row, window, world.device(WINDOW_SIZE), picture)
    finally:
        helper.stdin.close()
        helper.wait(10)


def test_every_row_full_screen(world):
    for row in range(20):
        picture = world.picture(f"p{row % 3}.{FORMATS[row % 3]}", 160, 120)
        world.write_show([picture, tiny_black(world)], row=row, delay=2)
        check_reveal_then_clear(world, row, 0, world.device(), picture)


def xdotool(world, *args):
    # Tried again when the server dropped its new connection (see the helper's openDisplay).
    for _ in range(3):
        done = subprocess.run(["xdotool", *map(str, args)], env=world.env, capture_output=True, timeout=10)
        if b"open display" not in done.stderr:
            break
    done.check_returncode()


def pointer(world):
    out = subprocess.run(["xdotool", "getmouselocation"], env=world.env, capture_output=True, check=True).stdout
    fields = dict(item.split(":") for item in out.decode().split())
    return int(fields["x"]), int(fields["y"])


def started_full_screen(world, picture):
    world.write_show([picture], row=1, delay=60)
    process = world.launch()
    assert wait_until(lambda: not is_black(world.shot()), 10), "nothing shown"
    return process


def test_input_rules_full_screen(world):
    picture = world.picture("p0.bmp", 160, 120)
    cases = [  # name, input, whether it ends the show
        ("key", ["key", "a"], True),
        ("click", ["click", 1], True),
        ("right click", ["click", 3], True),
        ("travel of five pixels", ["mousemove", 3, 2], True),
        ("travel of four pixels", ["mousemove", 3, 1], False),
        ("wheel", ["click", 4], False),
    ]
    for name, action, ends in cases:
        process = started_full_screen(world, picture)
        try:
            if action[0] == "mousemove":
                # Travel counts from where the pointer was when the show started.
                x, y = pointer(world)
                action = ["mousemove", x + action[1], y + action[2]]
            xdotool(world, *action)
            check_input_outcome(process, name, ends)
        finally:
            end(process)


def test_a_second_full_screen_start_leaves_the_first(world):
    world.write_show([world.picture("p0.bmp", 160, 120)], row=1, delay=60)
    first = world.launch()
    try:
        assert wait_until(lambda: not is_black(world.shot()), 10), "nothing shown"
        second = world.launch()
        assert second.wait(10) == 0
        assert first.poll() is None, "the first show ended"
    finally:
        assert end(first) == 0


def test_stop_ends_the_full_screen_show_of_its_own_session(world):
    # --stop ended nothing on X11. Two sessions of one user share the runtime folder
    # (here the world's screen and a nested one): each --stop ends its own show.
    world.write_show([world.picture("p0.bmp", 160, 120)], row=1, delay=60)
    with world.nested((320, 240)) as other:
        mine, theirs = world.launch(), world.launch(env=other)
        try:
            assert wait_until(lambda: not is_black(world.shot()) and not is_black(world.shot(env=other)), 10), \
                "nothing shown"
            check_each_stop_ends_its_own_show(world.program, mine, world.env, theirs, other)
        finally:
            end(mine)
            end(theirs)


def test_without_a_runtime_folder_the_show_says_so_and_stop_fails(world):
    # --stop said nothing and exited 0, and the show was never found.
    world.write_show([world.picture("p0.bmp", 160, 120)], row=1, delay=60)
    not_a_folder = os.path.join(world.root, "not-a-folder")
    open(not_a_folder, "w").close()
    for name, runtime in (("no XDG_RUNTIME_DIR", None), ("a file for the folder", not_a_folder)):
        env = {k: v for k, v in world.env.items() if k != "XDG_RUNTIME_DIR"}
        if runtime:
            env["XDG_RUNTIME_DIR"] = runtime
        process = world.launch(env=env)
        try:
            assert wait_until(lambda: not is_black(world.shot()), 10), f"{name}: nothing shown"
            stop = subprocess.run([world.program, "--stop"], env=env, capture_output=True, timeout=10)
            assert stop.returncode == 1 and b"XDG_RUNTIME_DIR" in stop.stderr, \
                f"{name}: --stop {stop.returncode} {stop.stderr!r}"
            assert process.poll() is None, f"{name}: the show ended"
        finally:
            assert end(process) == 0
        said = process.stderr.read().decode()
        assert said.count("vellora --stop will not find it") == 1, f"{name}: {said!r}"


def test_window_mode_ignores_input_and_sigterm_ends_a_mosaic_quickly(world):
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    try:
        picture = world.picture("big.png", 380, 280)
        world.write_show([picture], row=9, delay=60)
        expected = world.expected(9, world.device(WINDOW_SIZE), picture)
        process = world.launch("--window-id", hex(window))
        try:
            assert wait_until(lambda: not is_black(world.shot(window)), 10), "the mosaic never started"
            check_ends_quickly(process, lambda: process.send_signal(signal.SIGTERM), "SIGTERM in a mosaic")
            # Nothing was drawn after the signal: the mosaic stays unfinished.
            assert world.shot(window) != expected, "the mosaic was over before the signal"
        finally:
            end(process)

        world.write_show([picture], row=1, delay=60)
        process = world.launch("--window-id", window)
        try:
            assert wait_until(lambda: not is_black(world.shot(window)), 10), "nothing shown"
            for action in (["key", "a"], ["click", 1], ["mousemove", 260, 260], ["mousemove", 10, 10]):
                xdotool(world, *action)
            assert not wait_until(lambda: process.poll() is not None, 0.5), "input ended the show in a window"
        finally:
            assert end(process) == 0
    finally:
        helper.stdin.close()
        helper.wait(10)


def test_a_resized_window_gets_the_next_picture_placed_for_its_new_size(world):
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    try:
        picture = world.picture("p1.png", 160, 120)
        world.write_show([picture], row=1, delay=2)
        before = world.expected(1, world.device(WINDOW_SIZE), picture)
        process = world.launch("--window-id", window)
        try:
            assert wait_until(lambda: world.shot(window) == before, 10)
            smaller = (300, 220)
            xdotool(world, "windowsize", window, *smaller)
            expected = world.expected(1, world.device(smaller), picture)
            assert wait_until(lambda: world.shot(window) == expected, 10), "not placed for the new size"
        finally:
            assert end(process) == 0
    finally:
        helper.stdin.close()
        helper.wait(10)


def test_a_vanished_window_ends_the_show_quietly(world):
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    world.write_show([world.picture("p1.png", 160, 120)], row=3, delay=1)
    process = world.launch("--window-id", window)
    try:
        assert wait_until(lambda: not is_black(world.shot(window)), 10)
        helper.stdin.close()
        helper.wait(10)
        assert wait_until(lambda: process.poll() is not None, 5), "the show outlived its window"
        assert process.returncode == 0
        assert process.stderr.read() == b""
    finally:
        end(process)


def test_command_line(world):
    picture = world.picture("p2.jpg", 160, 120)
    world.write_show([picture], row=1, delay=60)
    for args in (["--bogus"], ["--window-id"], ["--window-id", "12ab"], ["--window-id", "0x"], ["-s"]):
        process = world.launch(*args)
        out, err = process.communicate(timeout=10)
        assert process.returncode == 2, f"{args}: exit code {process.returncode}"
        assert err.decode().count("\n") == 1 and err.startswith(b"usage: vellora"), f"{args}: {err!r}"
    process = world.launch("--help")
    out, _ = process.communicate(timeout=10)
    assert process.returncode == 0 and b"--window-id" in out

    # --root draws into the window the screen-saver daemon names; --window-id wins over it.
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    other, other_window = world.make_window(450, 300, 100, 100)
    try:
        env = dict(world.env, XSCREENSAVER_WINDOW=hex(window))
        for args in (["--root"], ["--root", "--window-id", str(other_window)]):
            target = window if len(args) == 1 else other_window
            process = world.launch(*args, env=env)
            try:
                assert wait_until(lambda: not is_black(world.shot(target)), 10), f"{args}: nothing drawn"
            finally:
                assert end(process) == 0
    finally:
        for h in (helper, other):
            h.stdin.close()
            h.wait(10)


def test_own_window_ends_when_closed(world):
    world.write_show([world.picture("p0.bmp", 160, 120)], row=1, delay=60)
    process = world.launch("--window")
    try:
        found = wait_until(lambda: subprocess.run(["xdotool", "search", "--name", "^Vellora$"], env=world.env,
                                                  capture_output=True).stdout.split(), 10)
        assert found, "no window"
        xdotool(world, "key", "a")
        assert process.poll() is None, "a key ended the window form"
        xdotool(world, "windowclose", found[0].decode())
        assert wait_until(lambda: process.poll() is not None, 5), "closing the window did not end the show"
        assert process.returncode == 0
    finally:
        end(process)


def bad_files(world):
    folder = world.pictures
    good_png = open(world.picture("p1.png", 160, 120), "rb").read()
    good_jpg = open(world.picture("p2.jpg", 160, 120), "rb").read()
    gif = os.path.join(folder, "g.gif")
    subprocess.run(["convert", "-size", "160x120", "gradient:red-blue", gif], check=True)
    good_gif = open(gif, "rb").read()
    import struct
    import zlib
    bmp_header = (b"BM" + struct.pack("<IHHI", 54 + 16, 0, 0, 54) +
                  struct.pack("<iiiHHIIiiII", 40, 30000, 30000, 1, 24, 0, 0, 2835, 2835, 0, 0) + b"\0" * 16)
    ihdr = struct.pack(">IIBBBBB", 30000, 30000, 8, 2, 0, 0, 0)
    png_header = (b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + ihdr +
                  struct.pack(">I", zlib.crc32(b"IHDR" + ihdr)) + b"\0" * 64)
    files = {
        "empty.jpg": b"",
        "cut.jpg": good_jpg[:len(good_jpg) // 2],
        "cut.png": good_png[:len(good_png) // 2],
        "cut.gif": good_gif[:len(good_gif) // 2],
        "text.jpg": b"this is not a picture\n" * 10,
        "huge.bmp": bmp_header,
        "huge.png": png_header,
    }
    paths = []
    for name, data in files.items():
        path = os.path.join(folder, "bad-" + name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    os.makedirs(os.path.join(folder, "a-folder.jpg"), exist_ok=True)
    paths += [os.path.join(folder, "a-folder.jpg"), os.path.join(folder, "missing.png")]
    return paths


def peak_memory_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def test_bad_files_keep_the_show_going(world):
    picture = world.picture("p0.bmp", 160, 120)
    bad = bad_files(world)
    assert len(bad) == 9
    # Nine failures, then the good picture: each tick takes up to ten attempts.
    world.write_show(bad + [picture], row=1, delay=2)
    expected = world.expected(1, world.device(), picture)
    process = world.launch()
    try:
        for _ in range(3):
            assert wait_until(lambda: world.shot() == expected, 10), "the good picture was not shown"
            assert wait_until(lambda: world.shot() != expected, 10), "the show stopped"
        peak = peak_memory_kb(process.pid)
        print(f"  peak memory after three rounds of bad files: {peak // 1024} MB")
        assert peak < 200 * 1024, f"peak memory {peak} kB"
        assert process.poll() is None
    finally:
        assert end(process) == 0


def accessible_dialogs():
    """(title, texts, ok button) of every alert of the program, through the accessibility tree."""
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    found = []

    def walk(node, alert):
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is None:
                continue
            role = child.get_role_name()
            if role == "alert":
                entry = (child.get_name(), [], [])
                found.append(entry)
                walk(child, entry)
            else:
                if alert and role == "label" and child.get_name():
                    alert[1].append(child.get_name())
                if alert and role == "push button":
                    alert[2].append(child)
                walk(child, alert)

    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "vellora":
            walk(app, None)
    return found


def windows_titled(world, title):
    return subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(title)], env=world.env,
                          capture_output=True).stdout.split()


def press_ok(button):
    from gi.repository import Atspi
    Atspi.Action.do_action(button, 0)


def test_message_boxes(world):
    listing = os.path.join(world.root, "list.txt")
    picture = world.picture("p1.png", 160, 120)
    later = os.path.join(world.pictures, "arrives-later.png")
    if os.path.exists(later):
        os.remove(later)
    cases = [  # what to prepare, title, text
        ("no settings", world.settings, "不能打开配置文件!"),
        ("no list", "ERROR", "不能打开图像列表文件!"),
        ("nothing found", "INFO", "找不到图像文件."),
    ]
    for name, title, text in cases:
        if name == "no settings":
            if os.path.exists(world.settings):
                os.remove(world.settings)
        elif name == "no list":
            world.write_show([picture], row=1, delay=1)
            os.remove(listing)
        else:
            world.write_show([later], row=1, delay=3)
        process = world.launch()
        try:
            dialogs = wait_until(accessible_dialogs, 15, interval=0.2)
            assert dialogs, f"{name}: no message box"
            got_title, texts, buttons = dialogs[0]
            assert got_title == title, f"{name}: title {got_title!r}"
            assert text in texts, f"{name}: texts {texts!r}"
            assert [b.get_name() for b in buttons] == [gtk_ok_label()], f"{name}: buttons"
            assert windows_titled(world, title), f"{name}: no window with the title"
            if name == "nothing found":
                # The show goes on after the box: once the picture exists it is shown.
                os.link(picture, later)
                press_ok(buttons[0])
                expected = world.expected(1, world.device(), later)
                assert wait_until(lambda: world.shot() == expected, 10), "the show did not go on"
            else:
                press_ok(buttons[0])
                # Asked of the X server: the program no longer answers the accessibility bus
                # once its box is gone and the show's own loop runs again.
                assert wait_until(lambda: not windows_titled(world, title), 10), f"{name}: the box stayed"
                assert process.poll() is None, f"{name}: the window did not stay"
        finally:
            assert end(process) == 0


WORLDS = {"x11": XWorld, "wayland": WaylandWorld}


def all_tests():
    """(test, world name): the tests of this file, then those of every e2e_*.py beside
    it, each in the world its file names (X11 unless it says otherwise)."""
    tests = [(value, "x11") for key, value in globals().items() if key.startswith("test_") and callable(value)]
    here = os.path.dirname(os.path.abspath(__file__))
    for name in sorted(f[:-3] for f in os.listdir(here) if f.startswith("e2e_") and f.endswith(".py")):
        module = importlib.import_module(name)
        kind = getattr(module, "WORLD", "x11")
        tests += [(v, kind) for k, v in vars(module).items() if k.startswith("test_") and callable(v)]
    return tests


def leftover_shows(world):
    """Programs the tests started that still run, and the shows those started: a test
    that leaves one fails, since its grab of the keyboard and pointer would stop the
    tests after it."""
    found = world.running_shows()
    for pid in found:
        os.kill(pid, signal.SIGKILL)
    return found


def main():
    build = sys.argv[1]
    wanted = set(sys.argv[2:])
    worlds = {}
    passed = failed = skipped = 0
    started_all = time.monotonic()
    try:
        for test, kind in all_tests():
            if wanted and test.__name__ not in wanted:
                continue
            reason = getattr(WORLDS[kind], "unavailable", lambda: None)()
            if reason:
                skipped += 1
                print(f"SKIP {test.__name__}: {reason}", flush=True)
                continue
            if kind not in worlds:
                worlds[kind] = WORLDS[kind](build)
                worlds[kind].start()
            world = worlds[kind]
            started = time.monotonic()
            try:
                test(world)
                leftover = leftover_shows(world)
                assert not leftover, f"processes left running: {leftover}"
                passed += 1
                print(f"PASS {test.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
            except Exception:
                failed += 1
                print(f"FAIL {test.__name__}", flush=True)
                traceback.print_exc()
                leftover_shows(world)
    finally:
        for world in worlds.values():
            world.stop()
    print(f"Linux tests took {time.monotonic() - started_all:.0f} s")
    print(f"{passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
