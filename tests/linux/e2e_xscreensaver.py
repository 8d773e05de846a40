"""The program as the xscreensaver daemon runs it: the real daemon, as a normal
user (it refuses to run hacks as root), activated and deactivated by its own
command."""
import os
import pwd
import shutil
import subprocess
import tempfile
import time

from linux_env import wait_until

USER = "vellora-test"


def normal_user():
    """The test user, made the first time it is needed."""
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--create-home", "--shell", "/bin/sh", USER], check=True)
        return pwd.getpwnam(USER)


def as_user(user, env, *command):
    return ["runuser", "-u", USER, "--", "env", f"HOME={user.pw_dir}", f"DISPLAY={env['DISPLAY']}",
            f"XDG_CONFIG_HOME={user.pw_dir}/.config", *command]


def vellora_processes():
    """The user's running vellora processes; one that has ended but that the daemon
    has not yet reaped is not running."""
    listing = subprocess.run(["ps", "-u", USER, "-o", "stat=,comm="], stdout=subprocess.PIPE).stdout.decode()
    return [line for line in listing.splitlines() if line.split()[1:] == ["vellora"] and not line.startswith("Z")]


def test_the_xscreensaver_daemon_runs_and_ends_the_show(world):
    if os.geteuid() != 0:
        print("(skipped: making the daemon's user needs root)")
        return
    user = normal_user()
    home = user.pw_dir
    # A sandbox whose root holds no other user id cannot start the daemon at all.
    switch = subprocess.run(["runuser", "-u", USER, "--", "true"], capture_output=True)
    if switch.returncode != 0:
        print(f"(skipped: this machine cannot run a process as another user: {switch.stderr.decode().strip()})")
        return
    # The program where the package installs it, readable by that user.
    place = tempfile.mkdtemp(prefix="vellora-xss-", dir="/tmp")
    try:
        os.chmod(place, 0o755)
        program = os.path.join(place, "usr", "libexec", "xscreensaver", "vellora")
        os.makedirs(os.path.dirname(program))
        shutil.copy(world.program, program)
        # The picture folder of the daemon's own settings, and no settings of Vellora at all.
        folder = os.path.join(place, "photos", "2024")
        os.makedirs(folder)
        picture = shutil.copy(world.picture("daemon.png", 160, 120), os.path.join(folder, "daemon.png"))
        for leftover in (".config/vellora", ".cache/vellora", ".local/state/vellora"):
            shutil.rmtree(os.path.join(home, leftover), ignore_errors=True)
        with open(os.path.join(home, ".xscreensaver"), "w") as f:
            f.write(f"mode: one\nselected: 0\nlock: False\nfade: False\nunfade: False\nsplash: False\n"
                    f"timeout: 0:30:00\nimageDirectory: {os.path.dirname(folder)}\n"
                    f"programs: {program} --root --effect 1 --delay 60\n")
        subprocess.run(["chown", "-R", f"{USER}:", home], check=True)
        for path in (place, os.path.dirname(folder), folder, picture):
            os.chmod(path, 0o755 if os.path.isdir(path) else 0o644)

        expected = world.expected(1, world.device(), picture)
        log = open(os.path.join(place, "daemon.log"), "w+b")
        start = lambda: subprocess.Popen(as_user(user, world.env, "xscreensaver", "-no-splash", "-verbose"),
                                         stdout=log, stderr=subprocess.STDOUT)
        daemon, starts = start(), 1

        def activated():
            # The X server can drop a new client's connection at once while others
            # close theirs; a daemon that went that way is started again.
            nonlocal daemon, starts
            if daemon.poll() is not None and starts < 3:
                daemon, starts = start(), starts + 1
            return command("-activate")

        try:
            command = lambda verb: subprocess.run(as_user(user, world.env, "xscreensaver-command", verb),
                                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
            if not wait_until(activated, 40, interval=0.5):
                log.seek(0)
                raise AssertionError(f"the daemon did not answer (exit code {daemon.poll()}); it said:\n"
                                     + log.read()[-3000:].decode(errors="replace"))
            assert wait_until(lambda: world.shot(0) == expected, 15, interval=0.2), \
                "the daemon's show did not put the picture of its imageDirectory in its place"
            assert vellora_processes(), "no vellora process"
            assert wait_until(lambda: command("-deactivate"), 5, interval=0.1)
            time.sleep(0.2)  # the time the program has to go, by the rule under test
            assert not vellora_processes(), "vellora still runs 200 ms after deactivation"
        finally:
            daemon.terminate()
            daemon.wait(10)
            log.close()
    finally:
        shutil.rmtree(place, ignore_errors=True)
