"""A private Wine world for the end-to-end tests: a virtual X screen, a 32-bit
prefix under the build folder, and helpers that wait by polling, never by sleeping
a fixed time."""
import os
import re
import shutil
import subprocess
import time

SCREEN = (1024, 768)


def wait_until(check, timeout, interval=0.05):
    """Polls `check` until it returns something true; returns that, or None."""
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def pe_machine(path):
    """The machine field of a Windows program's header: 0x14C for x86, 0x8664 for x64."""
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 4:pe + 6], "little")


def free_display():
    for n in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return n
    raise RuntimeError("no free X display")


class WineWorld:
    def __init__(self, build_dir):
        self.build = os.path.abspath(build_dir)
        self.prefix = os.path.join(self.build, "wine-prefix")
        self.drive = os.path.join(self.prefix, "drive_c")
        self.windows = os.path.join(self.drive, "windows")
        self.xvfb = None
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win32", WINEDEBUG="-all", LC_ALL="zh_CN.UTF-8",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # The product itself is always the 32-bit program; static checks read it.
        self.product = os.path.join(os.path.dirname(self.build), "win32", "vellora.scr")
        self.win64 = pe_machine(os.path.join(self.build, "vellora.scr")) == 0x8664
        if self.win64:
            # The 64-bit test build, for machines that cannot run 32-bit code: the
            # system's wine scripts would pick the 32-bit loader, so shims go first.
            shims = os.path.join(self.build, "wine-bin")
            os.makedirs(shims, exist_ok=True)
            for name in ("wine", "wine-stable"):
                with open(os.path.join(shims, name), "w") as f:
                    f.write('#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n')
                os.chmod(os.path.join(shims, name), 0o755)
            self.env.update(WINEARCH="win64", WINELOADER="/usr/lib/wine/wine64",
                            PATH=shims + os.pathsep + self.env.get("PATH", ""))

    def start(self):
        display = free_display()
        self.xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                                      "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = f":{display}"
        if not wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 20):
            raise RuntimeError("Xvfb did not start")
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            os.makedirs(self.prefix, exist_ok=True)
            self.run(["wineboot", "-i"], timeout=300)
            self.run(["wineserver", "-w"], timeout=300)
        # No crash dialogs, and one server for the whole run so each start is quick.
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                  "/d", "0", "/f"], timeout=120)
        # A copy of the saver that Wine runs as Windows 98, for the password services.
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\AppDefaults\vellora98.scr", "/v", "Version", "/d",
                  "win98", "/f"], timeout=120)
        subprocess.Popen(["wineserver", "-p"], env=self.env).wait()
        for name in ("vellora.scr", "vellora-probe.exe", "vellora-host.exe", "vellora-arithmetic.exe", "vellora-picture.exe",
                     "vellora-bench.exe", "PASSWORD.CPL", "MPR.DLL"):
            shutil.copy(os.path.join(self.build, name), os.path.join(self.drive, name))
        shutil.copy(os.path.join(self.build, "vellora.scr"), os.path.join(self.drive, "vellora98.scr"))

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def run(self, args, timeout=60):
        cwd = self.drive if os.path.isdir(self.drive) else self.build
        return subprocess.run(args, env=self.env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout)

    def start_saver(self, *args, program="vellora.scr", env=None):
        return subprocess.Popen(["wine", "C:\\" + program, *args], env=env or self.env, cwd=self.drive,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def probe(self, *args, timeout=60):
        """Runs the probe; its output as a dict of first word to the rest, or None on failure."""
        done = self.run(["wine", r"C:\vellora-probe.exe", *args], timeout=timeout)
        if done.returncode != 0:
            return None
        facts = {}
        for line in done.stdout.decode("latin-1").splitlines():
            key, _, value = line.partition(" ")
            facts.setdefault(key, []).append(value)
        return {k: v[0] if len(v) == 1 else v for k, v in facts.items()}

    def x_client(self, *command):
        """Runs an X client, again when the server dropped its new connection (it can,
        while other clients close theirs)."""
        for _ in range(3):
            done = subprocess.run(command, env=self.env, capture_output=True)
            if not re.search(rb"open display|open X server", done.stderr):
                break
        done.check_returncode()
        return done.stdout

    def xdotool(self, *args):
        self.x_client("xdotool", *args)

    def screenshot(self):
        return Picture.from_ppm(self.x_client("import", "-window", "root", "-depth", "8", "ppm:-"))

    # Files in the prefix, named as Windows names them.
    def host_path(self, windows_path):
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.drive, *windows_path[3:].split("\\"))

    def write_file(self, windows_path, data):
        path = self.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def remove_file(self, windows_path):
        path = self.host_path(windows_path)
        if os.path.exists(path):
            os.remove(path)


class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @staticmethod
    def from_ppm(data):
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        assert fields[0] == b"P6" and fields[3] == b"255"
        return Picture(int(fields[1]), int(fields[2]), data[pos + 1:])

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])


def close_to(colour, want, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, want))


def is_black(colour):
    return max(colour) <= 16
