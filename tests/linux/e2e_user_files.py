"""The files the program keeps for the user, and the paths it shows: replaced
durably, and named as the file system spells them."""
import os
import re
import subprocess
import tempfile

from linux_env import REPLACE_CALLS, end, replaced_durably, wait_until


def test_install_xscreensaver_flushes_the_file_then_the_folder(world):
    home = tempfile.mkdtemp(prefix="home-", dir=world.root)
    path = os.path.join(home, ".xscreensaver")
    with open(path, "w") as f:
        f.write("timeout: 0:10:00\nprograms: maze --root \\n\\\n  gears --root \\n\n")
    log = os.path.join(home, "strace.log")
    result = subprocess.run(["strace", "-f", "-o", log, "-e", f"trace={REPLACE_CALLS}", world.program,
                             "--install-xscreensaver"], env=dict(world.env, HOME=home), capture_output=True,
                            timeout=60)
    assert result.returncode == 0, result.stderr[-500:]
    trace = open(log).read()
    for target in (path, path + ".bak"):
        assert replaced_durably(trace, target), f"{target} was not flushed, renamed and its folder flushed:\n{trace}"


def test_the_settings_box_names_the_path_as_a_file_name(world):
    # With HOME alone (no XDG_CONFIG_HOME) the settings file is under the home folder,
    # whose UTF-8 name is shown as such, not taken for GBK.
    home = os.path.join(world.root, "José_照片")
    os.makedirs(home, exist_ok=True)
    env = dict(world.env, HOME=home)
    env.pop("XDG_CONFIG_HOME")
    title = os.path.join(home, ".config", "vellora", "Tessaview.ini")
    process = world.launch("--window", env=env)
    try:
        shown = wait_until(lambda: subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(title)],
                                                  env=env, capture_output=True).stdout.split(), 20, interval=0.2)
        assert shown, f"no box titled {title!r}"
    finally:
        assert end(process) == 0
