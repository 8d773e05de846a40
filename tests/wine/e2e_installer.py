"""The Windows installer under Wine: what the silent install puts in place, that the
installed saver runs, and what the silent uninstall takes away and puts back.

The installer of the tested build runs; on a machine that runs 64-bit Windows
programs only, that is the 64-bit installer made from the same script. The 32-bit
product installer is then checked for its contents alone."""
import os
import shutil
import subprocess

import run_e2e as e2e
from wine_env import pe_machine, wait_until

SYSTEM_SCR = r"C:\windows\system32\vellora.scr"
UNINSTALLER = r"C:\Program Files\Vellora\uninstall.exe"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellora"
OWN_KEY = r"HKCU\Software\Vellora"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
DEFAULT_SETTINGS = b"\r\n0\r\n5\r\n0"


def reg_value(world, key, name):
    """The value's data as text, or None when the key or the value is missing. Wine
    prints it in the Chinese ANSI code page."""
    done = world.run(["wine", "reg", "query", key, "/v", name])
    if done.returncode != 0:
        return None
    for line in done.stdout.decode("gbk", "replace").splitlines():
        fields = line.split(None, 2)
        if len(fields) >= 2 and fields[0] == name and fields[1].startswith("REG_"):
            return fields[2].strip() if len(fields) == 3 else ""
    return None


def key_exists(world, key):
    return world.run(["wine", "reg", "query", key]).returncode == 0


def set_current_saver(world, path):
    if path is None:
        world.run(["wine", "reg", "delete", DESKTOP_KEY, "/v", "SCRNSAVE.EXE", "/f"])
    else:
        world.run(["wine", "reg", "add", DESKTOP_KEY, "/v", "SCRNSAVE.EXE", "/d", path, "/f"])


def read_file(world, windows_path):
    path = world.host_path(windows_path)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def install(world):
    shutil.copy(os.path.join(world.build, "vellora-setup.exe"), world.host_path(r"C:\vellora-setup.exe"))
    done = world.run(["wine", r"C:\vellora-setup.exe", "/S"], timeout=120)
    assert done.returncode == 0, f"silent install ended with {done.returncode}"


def uninstall(world):
    """Runs the silent uninstall and waits for its copy in the temporary folder, which
    does the work after the started uninstaller has ended, to finish."""
    done = world.run(["wine", UNINSTALLER, "/S"], timeout=120)
    assert done.returncode == 0, f"silent uninstall ended with {done.returncode}"
    gone = wait_until(lambda: read_file(world, UNINSTALLER) is None and not key_exists(world, UNINSTALL_KEY)
                      and not key_exists(world, OWN_KEY), 60, interval=0.5)
    assert gone, "the uninstaller did not finish"


def uninstall_if_installed(world):
    if read_file(world, UNINSTALLER) is not None:
        uninstall(world)


# --- tests -------------------------------------------------------------------------

def test_product_installer_packs_the_32_bit_saver_for_every_windows(world):
    setup = os.path.join(os.path.dirname(world.product), "vellora-setup.exe")
    assert pe_machine(setup) == 0x14C, "the product installer is not a 32-bit program"
    listing = subprocess.run(["7z", "l", "-slt", setup], stdout=subprocess.PIPE, check=True).stdout.decode()
    subtype = [line for line in listing.splitlines() if line.startswith("SubType = ")]
    assert subtype and "Unicode" not in subtype[0], f"Windows 95/98/Me cannot start a Unicode installer: {subtype}"
    names = {line[len("Path = "):] for line in listing.splitlines() if line.startswith("Path = ")}
    assert {"$SYSDIR/vellora.scr", "uninstall.exe"} <= names, names
    packed = subprocess.run(["7z", "e", "-so", setup, "$SYSDIR/vellora.scr"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, check=True).stdout
    with open(world.product, "rb") as f:
        assert packed == f.read(), "the installer does not hold this build's vellora.scr"


def test_silent_install_places_the_saver_and_makes_it_current(world):
    if pe_machine(os.path.join(world.build, "vellora-setup.exe")) == 0x8664:
        print("note: the 64-bit installer from the same script runs here; this machine cannot run 32-bit programs")
    set_current_saver(world, r"C:\windows\system32\previous.scr")
    world.remove_file(e2e.SETTINGS)
    try:
        install(world)
        with open(os.path.join(world.build, "vellora.scr"), "rb") as f:
            assert read_file(world, SYSTEM_SCR) == f.read(), "vellora.scr is not in the system folder"
        assert read_file(world, UNINSTALLER) is not None, "no uninstaller"
        # Wine runs the installer in Chinese here (LC_ALL=zh_CN.UTF-8).
        assert reg_value(world, UNINSTALL_KEY, "DisplayName") == "Vellora 屏幕保护程序"
        assert reg_value(world, UNINSTALL_KEY, "UninstallString") == f'"{UNINSTALLER}"'
        assert reg_value(world, DESKTOP_KEY, "SCRNSAVE.EXE").lower() == SYSTEM_SCR.lower()
        assert reg_value(world, DESKTOP_KEY, "ScreenSaveActive") == "1"
        assert read_file(world, e2e.SETTINGS) == DEFAULT_SETTINGS, "no default settings file"

        saver = e2e.start_show(world, program=r"windows\system32\vellora.scr")
        try:
            world.xdotool("key", "space")
            assert e2e.wait_exit(saver) == 0, "a key did not end the installed saver's show"
        finally:
            e2e.kill(saver)
    finally:
        uninstall_if_installed(world)


def test_silent_uninstall_removes_it_and_restores_the_previous_saver(world):
    settings = b"C:\\pics\\list.txt\r\n7\r\n9\r\n1"
    for previous in (r"C:\windows\system32\previous.scr", None):
        set_current_saver(world, previous)
        world.write_file(e2e.SETTINGS, settings)
        try:
            install(world)
            install(world)  # a reinstall must not take Vellora for the saver to go back to
        finally:
            uninstall_if_installed(world)
        assert read_file(world, SYSTEM_SCR) is None, "vellora.scr left in the system folder"
        assert not os.path.exists(world.host_path(r"C:\Program Files\Vellora")), "installation folder left"
        assert reg_value(world, DESKTOP_KEY, "SCRNSAVE.EXE") == previous, f"previous saver {previous} not restored"
        assert read_file(world, e2e.SETTINGS) == settings, "a silent uninstall touched the settings file"


def test_install_over_an_existing_settings_file_leaves_it_unchanged(world):
    # A GBK path, lone LF line ends, and bytes after the fourth value.
    settings = b"C:\\\xcd\xbc\xcf\xf1\\list.txt\n12\n3\n0\n\xff trailing"
    world.write_file(e2e.SETTINGS, settings)
    try:
        install(world)
        assert read_file(world, e2e.SETTINGS) == settings
    finally:
        uninstall_if_installed(world)
