"""--root, as the xscreensaver daemon runs the show in its own window: a message is
written on that window, where the user sees it, instead of a box the daemon's
window would hide, and the show does not wait for anyone to press OK."""
import os
import re
import shutil
import subprocess

from linux_env import end, wait_until

WINDOW_AT, WINDOW_SIZE = (40, 30), (400, 300)


def boxes(world, title):
    return subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(title)], env=world.env,
                          capture_output=True).stdout.split()


def test_root_mode_writes_messages_on_its_window_and_goes_on(world):
    picture = world.picture("root.png", 160, 120)
    later = os.path.join(world.pictures, "root-later.png")
    for name, title in [("no settings", world.settings), ("nothing found", "INFO")]:
        if os.path.exists(later):
            os.remove(later)
        if name == "no settings":
            os.remove(world.settings) if os.path.exists(world.settings) else None
        else:
            world.write_show([later], row=1, delay=3)
        helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
        process = world.launch("--root", env=dict(world.env, XSCREENSAVER_WINDOW=str(window)))
        try:
            written = wait_until(lambda: any(world.shot(window)), 20, interval=0.1)
            assert written, f"{name}: nothing written on the window"
            assert not boxes(world, title), f"{name}: a box opened"
            if name == "nothing found":
                # Nobody presses OK: the next tick finds the picture, and the message is gone.
                os.link(picture, later)
                expected = world.expected(1, world.device(WINDOW_SIZE), later)
                assert wait_until(lambda: world.shot(window) == expected, 20, interval=0.2), "the show did not go on"
        finally:
            code = end(process)
            helper.stdin.close()
            helper.wait(10)
        assert code == 0, f"{name}: exit code {code}"


def daemon_quoted(value):
    """A value as the daemon's settings tool writes it into the command line: in
    double quotes, with ! " and $ escaped, when it holds anything a shell would see."""
    if value and not any(c <= " " or c >= "\x7f" or c in "!\"$'#%&()*" for c in value):
        return value
    return '"' + "".join("\\" + c if c in '!"$' else c for c in value) + '"'


def test_a_list_path_with_spaces_as_the_daemon_runs_it(world):
    # vellora.xml passes "--list %" unquoted: the settings tool quotes the path, and the
    # daemon runs a command with quotes through the shell, which takes them off.
    folder = f"{world.root}/my \"best\" pictures $HOME"
    picture = world.picture("spaces.png", 160, 120)
    listing = world.write_show([picture], row=1, delay=60, list_name="elsewhere.txt")
    os.makedirs(folder, exist_ok=True)
    spaced = shutil.copy(listing, os.path.join(folder, "list.txt"))
    os.remove(listing)
    helper, window = world.make_window(*WINDOW_AT, *WINDOW_SIZE)
    command = f"exec {world.program} --root --list {daemon_quoted(spaced)}"
    process = subprocess.Popen(["/bin/sh", "-c", command], env=dict(world.env, XSCREENSAVER_WINDOW=str(window)),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        expected = world.expected(1, world.device(WINDOW_SIZE), picture)
        assert wait_until(lambda: world.shot(window) == expected, 20, interval=0.2), \
            f"the list {spaced!r} was not shown: {process.stderr.read1()[-300:] if process.poll() is not None else ''}"
    finally:
        code = end(process)
        helper.stdin.close()
        helper.wait(10)
    assert code == 0, f"exit code {code}"
