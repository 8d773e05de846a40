"""Folders as sources of pictures: one named on the command line with no settings
file, and the picture folder that ~/.xscreensaver names in a home with nothing else."""
import os
import shutil

from linux_env import end, wait_until


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


def test_a_home_with_only_xscreensaver_naming_a_folder(world):
    home = os.path.join(world.root, "saver-home")
    os.makedirs(home, exist_ok=True)
    folder, picture = album(world, "saver-home/Shots", "holiday")
    with open(os.path.join(home, ".xscreensaver"), "w") as f:
        f.write("mode:\t\tone\nimageDirectory:\t~/Shots\nprograms:\tvellora --root \\n\n")
    env = dict(world.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    for name in ("XDG_CACHE_HOME", "XDG_STATE_HOME"):
        env.pop(name)
    # No settings at all: a transition chosen at random, so any row's end screen will do.
    screens = {world.expected(row, world.device(), picture) for row in range(1, 20)}
    process = world.launch(env=env)
    shows(world, process, screens, "imageDirectory")
    assert not os.path.exists(os.path.join(home, ".config", "vellora")), "settings were made"
    assert os.listdir(os.path.join(home, ".cache", "vellora")), "the walk was not cached"
