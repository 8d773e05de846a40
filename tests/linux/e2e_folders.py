"""Folders as sources of pictures: one named on the command line with no settings
file, and the picture folder that ~/.xscreensaver names in a home with nothing else;
stops during a long walk, while a list comes on standard input and during a shuffled
show; FIFOs in the place of the files the show keeps."""
import os
import shutil
import signal
import subprocess
import tempfile

from e2e_sandbox import cpu_seconds
from linux_env import check_ends_quickly, end, wait_until


def album(world, name, inner):
    """A folder with a picture in a folder below it, beside files that are no pictures."""
    folder = os.path.join(world.root, name)
    os.makedirs(os.path.join(folder, inner), exist_ok=True)
    picture = shutil.copy(world.picture(f"{os.path.basename(name)}.png", 160, 120), os.path.join(folder, inner, "photo.png"))
    for other in ("notes.txt", ".hidden.png"):
        with open(os.path.join(folder, other), "w") as f:
            f.write("no picture\n")
    return folder, picture


def shows(world, process, screens, what):
    try:
        assert wait_until(lambda: world.shot() in screens, 20), \
            f"{what}: no picture (the program {'runs' if process.poll() is None else 'ended'})"
    finally:
        assert end(process) == 0, f"{what}: {process.stderr.read()[-300:]!r}"


def test_a_folder_on_the_command_line_with_no_settings_file(world):
    folder, picture = album(world, "album", "2024/05")
    if os.path.exists(world.settings):
        os.remove(world.settings)
    expected = world.expected(1, world.device(), picture)
    for args in (["--list", folder], ["--list", folder + "/", "--shuffle"]):
        process = world.launch(*args, "--effect", "1", "--delay", "60")
        shows(world, process, {expected}, " ".join(args))
    assert not os.path.exists(world.settings), "a settings file was made"


def bare_home(world, name):
    """A home with nothing set up (no settings, cache or state), its ~/Pictures empty, and its env."""
    home = os.path.join(world.root, name)
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(os.path.join(home, "Pictures"))
    env = dict(world.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    for variable in ("XDG_CACHE_HOME", "XDG_STATE_HOME"):
        env.pop(variable)
    return home, env


def test_a_home_with_only_xscreensaver_naming_a_folder(world):
    home, env = bare_home(world, "saver-home")
    folder, picture = album(world, "saver-home/Shots", "holiday")
    with open(os.path.join(home, ".xscreensaver"), "w") as f:
        f.write("mode:\t\tone\nimageDirectory:\t~/Shots\nprograms:\tvellora --root \\n\n")
    # No settings at all: a transition chosen at random, so any row's end screen will do.
    screens = {world.expected(row, world.device(), picture) for row in range(1, 20)}
    process = world.launch(env=env)
    shows(world, process, screens, "imageDirectory")
    assert not os.path.exists(os.path.join(home, ".config", "vellora")), "settings were made"
    assert os.listdir(os.path.join(home, ".cache", "vellora")), "the walk was not cached"


def fnv(text):
    """The 64-bit FNV-1a hash that names a folder's cache and a shuffle's state."""
    h = 0xCBF29CE484222325
    for byte in text.encode():
        h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return f"{h:016x}"


def test_a_stop_ends_the_show_at_any_point_of_a_long_walk(world):
    # 300,000 empty folders, as a large tree or a slow share has them; on a RAM disk where there is one.
    tree = tempfile.mkdtemp(prefix="vellora-wide-", dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else world.root)
    try:
        for a in range(500):
            os.mkdir(os.path.join(tree, f"{a:03}"))
            for b in range(600):
                os.mkdir(os.path.join(tree, f"{a:03}", f"{b:03}"))
        picture = world.picture("walked.png", 160, 120)
        os.mkdir(os.path.join(tree, "zzz"))
        shutil.copy(picture, os.path.join(tree, "zzz", "last.png"))  # the walk's last folder
        first = os.path.join(world.root, "first-then-wide")
        os.makedirs(first, exist_ok=True)
        shutil.copy(picture, os.path.join(first, "first.png"))
        if not os.path.islink(os.path.join(first, "wide")):
            os.symlink(tree, os.path.join(first, "wide"))
        home, env = bare_home(world, "wide-home")
        os.rmdir(os.path.join(home, "Pictures"))
        os.symlink(tree, os.path.join(home, "Pictures"))
        expected = world.expected(1, world.device(), picture)

        def walking(process):
            return cpu_seconds(process.pid) >= 0.3

        cases = [  # what the show does, its options and environment, and what shows it is doing it
            ("looking for the first picture", ["--list", tree], world.env, walking),
            ("walking on after the first picture", ["--list", first], world.env, lambda _: world.shot() == expected),
            ("checking the default folder", [], env, walking),
        ]
        for what, args, environment, under_way in cases:
            shutil.rmtree(os.path.join(world.root, "cache"), ignore_errors=True)
            process = world.launch(*args, "--effect", "1", "--delay", "60", env=environment)
            try:
                assert wait_until(lambda: under_way(process), 20), f"{what}: never under way"
                check_ends_quickly(process, lambda: process.send_signal(signal.SIGTERM), f"SIGTERM {what}", limit=0.2)
            finally:
                end(process)
    finally:
        shutil.rmtree(tree, ignore_errors=True)


def catches_stop_signals(pid):
    with open(f"/proc/{pid}/status") as f:
        caught = next(int(line.split()[1], 16) for line in f if line.startswith("SigCgt:"))
    return all(caught >> (number - 1) & 1 for number in (signal.SIGTERM, signal.SIGINT))


def test_a_stop_while_the_list_comes_on_standard_input(world):
    picture = world.picture("piped.png", 160, 120)
    for stop in (signal.SIGTERM, signal.SIGINT):
        # Standard input stays open: what the list's writer sends next may be long in coming.
        process = world.launch("--list", "-", stdin=subprocess.PIPE)
        try:
            process.stdin.write(picture.encode() + b"\n")
            process.stdin.flush()
            assert wait_until(lambda: catches_stop_signals(process.pid), 10), "no stop signal is caught"
            check_ends_quickly(process, lambda: process.send_signal(stop), f"{stop.name} while reading", limit=0.5)
        finally:
            process.stdin.close()
            end(process)


def test_fifos_in_the_place_of_the_files_the_show_keeps(world):
    folder, picture = album(world, "fifo-album", "inner")
    home, env = bare_home(world, "fifo-home")
    shutil.copy(picture, os.path.join(home, "Pictures"))
    cases = [  # the file, the options and environment of a show that reads it
        (os.path.join(world.root, "cache", "vellora", "folder-" + fnv(folder)), ["--list", folder], world.env),
        (os.path.join(world.root, "state", "vellora", "shuffle-" + fnv(folder)), ["--list", folder, "--shuffle"],
         world.env),
        (os.path.join(home, ".xscreensaver"), [], env),
    ]
    expected = world.expected(1, world.device(), picture)
    for fifo, args, environment in cases:
        os.makedirs(os.path.dirname(fifo), exist_ok=True)
        if os.path.exists(fifo):
            os.remove(fifo)
        os.mkfifo(fifo)
        process = world.launch(*args, "--effect", "1", "--delay", "60", env=environment)
        shows(world, process, {expected}, f"a FIFO as {os.path.basename(fifo)}")
        os.remove(fifo)


def shown_in_round(state):
    """How many pictures a shuffle's state file records as shown in its round."""
    with open(state, "rb") as f:
        data = f.read()
    assert data.startswith(b"vellora shuffle 1\n"), "no shuffle state"
    return int.from_bytes(data[26:30], "little")


def test_a_stop_during_a_transition_takes_no_picture_from_the_shuffle(world):
    folder = os.path.join(world.root, "forty")
    os.makedirs(folder, exist_ok=True)
    picture = world.picture("forty.png", 400, 300)
    for i in range(40):
        shutil.copy(picture, os.path.join(folder, f"{i:02}.png"))
    state = os.path.join(world.root, "state", "vellora", "shuffle-" + fnv(folder))
    expected = world.expected(2, world.device(), picture)
    # The enlarge's clear takes a second over a picture this wide.
    process = world.launch("--list", folder, "--shuffle", "--effect", "2", "--delay", "1")
    try:
        assert wait_until(lambda: world.shot() == expected, 20), "no picture"
        assert wait_until(lambda: world.shot() != expected, 20), "no clear"
        process.send_signal(signal.SIGTERM)
        assert process.wait(5) == 0
    finally:
        end(process)
    assert shown_in_round(state) == 1, "pictures never shown were taken from the round"
