"""The Windows installer under Wine: what the silent install puts in place, that the
installed saver runs, and what the silent uninstall takes away and puts back; an
upgrade over a running saver, a user who may not write the system folder, names
outside the code page.

The NT-family installer of the tested build runs; on a machine that runs 64-bit
Windows programs only, that is the 64-bit installer made from the same script. The
32-bit product installers are then checked for their contents alone."""
import os
import re
import shutil
import subprocess
import tempfile

import run_e2e as e2e
from wine_env import pe_machine, wait_until

SETUP = r"C:\vellora-setup.exe"
SYSTEM_SCR = r"C:\windows\system32\vellora.scr"
PREVIOUS_SCR = r"C:\windows\system32\previous.scr"
UNINSTALLER = r"C:\Program Files\Vellora\uninstall.exe"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellora"
OWN_KEY = r"HKCU\Software\Vellora"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
DEFAULT_SETTINGS = b"\r\n0\r\n5\r\n0"
RESTART_NEEDED = 3010 % 256  # Wine hands the exit code on modulo 256
ACCESS_DENIED = 5


def reg_value(world, key, name):
    """The value's data as text, or None when the key or the value is missing. Wine
    prints it in the Chinese ANSI code page."""
    # Under a heavy load a query has been seen to fail for a value that is there; a
    # missing one fails every time.
    for _ in range(3):
        done = world.run(["wine", "reg", "query", key, "/v", name])
        if done.returncode == 0:
            break
    else:
        return None
    for line in done.stdout.decode("gbk", "replace").splitlines():
        fields = line.split(None, 2)
        if len(fields) >= 2 and fields[0] == name and fields[1].startswith("REG_"):
            return fields[2].strip() if len(fields) == 3 else ""
    return None


def reg_text_exact(world, key, name):
    """A text value exactly as stored, as (REG_SZ or REG_EXPAND_SZ, text), read from
    an export (UTF-16), which unlike the console output keeps characters outside the
    ANSI code page."""
    export = r"C:\export.reg"
    world.remove_file(export)
    if world.run(["wine", "reg", "export", key, export, "/y"]).returncode != 0:
        return None
    with open(world.host_path(export), "rb") as f:
        lines = f.read().decode("utf-16").replace("\\\r\n", "").replace("\\\n", "").splitlines()
    prefix = f'"{name}"='
    for line in lines:
        value = line[len(prefix):].replace(" ", "") if line.startswith(prefix) else ""
        if value.startswith('"') and value.endswith('"'):
            return "REG_SZ", re.sub(r"\\(.)", r"\1", line[len(prefix) + 1:-1])
        if value.startswith("hex(2):"):
            return "REG_EXPAND_SZ", bytes.fromhex(value[7:].replace(",", "")).decode("utf-16-le").rstrip("\0")
    return None


def key_exists(world, key):
    return world.run(["wine", "reg", "query", key]).returncode == 0


def set_current_saver(world, path, kind="REG_SZ"):
    if path is None:
        world.run(["wine", "reg", "delete", DESKTOP_KEY, "/v", "SCRNSAVE.EXE", "/f"])
    else:
        world.run(["wine", "reg", "add", DESKTOP_KEY, "/v", "SCRNSAVE.EXE", "/t", kind, "/d", path, "/f"])


def read_file(world, windows_path):
    path = world.host_path(windows_path)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def set_saver_active(world, value):
    world.run(["wine", "reg", "add", DESKTOP_KEY, "/v", "ScreenSaveActive", "/d", value, "/f"])


def install(world, setup=SETUP, expect=0):
    shutil.copy(os.path.join(world.build, "vellora-setup.exe"), world.host_path(setup))
    done = world.run(["wine", setup, "/S"], timeout=120)
    assert done.returncode == expect, f"silent install ended with {done.returncode}, not {expect}"


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


def restart(world):
    """Windows' restart as Wine makes it, which carries out the file operations queued
    for it."""
    done = world.run(["wineboot", "-r"], timeout=300)
    assert done.returncode == 0, f"wineboot -r ended with {done.returncode}"


def this_build_saver(world):
    with open(os.path.join(world.build, "vellora.scr"), "rb") as f:
        return f.read()


def pe_facts(path):
    """The imported functions by upper-case DLL name, and the subsystem version."""
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", path], stdout=subprocess.PIPE,
                          check=True).stdout.decode()
    imports, dll = {}, None
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split(":", 1)[1].strip().upper()
            imports[dll] = set()
        elif dll and re.match(r"\t[0-9a-f]+\t +\d+  \w+$", line):
            imports[dll].add(line.split()[-1])
    version = tuple(int(re.search(rf"{part}SubsystemVersion\s+(\d+)", dump).group(1)) for part in ("Major", "Minor"))
    return imports, version


# What Windows 95/98/Me load: these DLLs (msvcrt.dll, which the installer's System
# plug-in imports, ships with 95 OSR2, 98 and Me), subsystem 4.0, and of the Unicode
# functions only the few they implement; the others are stubs that fail.
WINDOWS_9X_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "SHELL32.DLL", "COMCTL32.DLL",
                   "COMDLG32.DLL", "OLE32.DLL", "MSVCRT.DLL"}
WINDOWS_9X_UNICODE = {"MultiByteToWideChar", "WideCharToMultiByte", "lstrlenW", "MessageBoxW", "MessageBoxExW",
                      "TextOutW", "ExtTextOutW", "GetTextExtentPoint32W", "GetCharWidthW", "FindResourceW",
                      "FindResourceExW", "EnumResourceLanguagesW"}


def windows_9x_faults(path):
    imports, version = pe_facts(path)
    faults = [f"subsystem {version}"] if version > (4, 0) else []
    faults += [f"{dll} is not on Windows 95/98/Me" for dll in set(imports) - WINDOWS_9X_DLLS]
    faults += [f"{dll}!{name}" for dll, names in imports.items() for name in names
               if re.search(r"[a-z0-9]W$", name) and name not in WINDOWS_9X_UNICODE]
    return faults


# --- tests -------------------------------------------------------------------------

def test_product_installers_pack_the_32_bit_saver_unicode_for_nt_and_ansi_for_windows_9x(world):
    folder = os.path.dirname(world.product)
    with open(world.product, "rb") as f:
        product = f.read()
    for name, unicode in (("vellora-setup.exe", True), ("vellora-setup-9x.exe", False)):
        setup = os.path.join(folder, name)
        assert os.path.exists(setup), f"no {name}"
        assert pe_machine(setup) == 0x14C, f"{name} is not a 32-bit program"
        listing = subprocess.run(["7z", "l", "-slt", setup], stdout=subprocess.PIPE, check=True).stdout.decode()
        subtype = [line for line in listing.splitlines() if line.startswith("SubType = ")]
        assert subtype and ("Unicode" in subtype[0]) == unicode, f"{name}: {subtype}"
        names = [line[len("Path = "):] for line in listing.splitlines() if line.startswith("Path = ")]
        saver = [n for n in names if n.endswith("/vellora.scr.new")]
        assert saver and "uninstall.exe" in names, names
        with tempfile.TemporaryDirectory() as unpacked:
            subprocess.run(["7z", "x", "-y", f"-o{unpacked}", setup], stdout=subprocess.DEVNULL, check=True)
            with open(os.path.join(unpacked, saver[0]), "rb") as f:
                assert f.read() == product, f"{name} does not hold this build's vellora.scr"
            if unicode:
                continue
            # The installer, its uninstaller and the plug-ins it unpacks and loads.
            programs = [setup] + [os.path.join(root, f) for root, _, files in os.walk(unpacked) for f in files
                                  if f.lower().endswith((".exe", ".dll"))]
            faults = {os.path.basename(p): windows_9x_faults(p) for p in programs}
            assert not any(faults.values()), f"{name} needs what Windows 95/98/Me lack: {faults}"


def test_silent_install_places_the_saver_and_makes_it_current(world):
    if pe_machine(os.path.join(world.build, "vellora-setup.exe")) == 0x8664:
        print("note: the 64-bit installer from the same script runs here; this machine cannot run 32-bit programs")
    set_current_saver(world, PREVIOUS_SCR)
    world.remove_file(e2e.SETTINGS)
    try:
        install(world)
        assert read_file(world, SYSTEM_SCR) == this_build_saver(world), "vellora.scr is not in the system folder"
        assert read_file(world, SYSTEM_SCR + ".new") is None, "the file under its temporary name was left"
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
    for previous in (PREVIOUS_SCR, None):
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


PREVIEW_HOST_OUT = r"C:\host.txt"


def start_preview(world):
    """The installed saver previewing in a stand-in for the control panel's pane."""
    out = PREVIEW_HOST_OUT
    for suffix in ("", ".exit", ".destroy"):
        world.remove_file(out + suffix)
    host = subprocess.Popen(["wine", r"C:\vellora-host.exe", SYSTEM_SCR, "/p ", out], env=world.env, cwd=world.drive,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pane = e2e.host_answer(world, out)
    assert pane, "host did not start"
    assert world.probe("wait-child", pane, e2e.CLASS, "20000"), "no preview"
    return host


def stop_preview(world, host):
    """Closes the pane and waits for the saver to end, as it holds its file until then."""
    world.write_file(PREVIEW_HOST_OUT + ".destroy", b"")
    ended = wait_until(lambda: os.path.exists(world.host_path(PREVIEW_HOST_OUT + ".exit")), 20)
    e2e.kill(host)
    assert ended, "the preview did not end"


def shown_texts(world):
    """The setup window's texts, nested pages included, as (text, check state)."""
    facts = world.probe("texts")
    lines = facts.get("text", []) if facts else []
    lines = [lines] if isinstance(lines, str) else lines
    return [(e2e.gbk(line.split()[2]).decode("gbk"), int(line.split()[1])) for line in lines]


def offers_restart_later(world):
    texts = shown_texts(world)
    notice = any("必须重新启动" in text for text, _ in texts)
    later = [text for text, check in texts if check == 1 and "之后重新启动" in text]
    return notice and later


def test_upgrade_and_uninstall_over_a_running_saver_finish_at_the_restart(world):
    new = this_build_saver(world)
    old = new + b"\0an older build"  # still a program that runs
    try:
        install(world)
        # Silently, while the show runs.
        world.write_file(SYSTEM_SCR, old)
        saver = e2e.start_show(world, program=r"windows\system32\vellora.scr")
        try:
            install(world, expect=RESTART_NEEDED)
            assert read_file(world, SYSTEM_SCR) == old, "the running saver's file changed under it"
        finally:
            e2e.kill(saver)
        restart(world)
        assert read_file(world, SYSTEM_SCR) == new, "the new vellora.scr is not in place after the restart"
        assert read_file(world, SYSTEM_SCR + ".new") is None, "the file under its temporary name was left"

        # Interactively, while it previews: the finish page offers the restart, for later.
        world.write_file(SYSTEM_SCR, old)
        host = start_preview(world)
        try:
            setup = subprocess.Popen(["wine", SETUP], env=world.env, cwd=world.drive, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            try:
                assert wait_until(lambda: shown_texts(world), 30), "no setup window"
                world.probe("press-box")  # Install
                assert wait_until(lambda: offers_restart_later(world), 60), \
                    f"the finish page does not offer the restart for later: {shown_texts(world)}"
                world.probe("press-box")  # Finish
                assert e2e.wait_exit(setup, timeout=60) == RESTART_NEEDED, "interactive setup: wrong exit code"
            finally:
                e2e.kill(setup)
            assert read_file(world, SYSTEM_SCR) == old, "the previewing saver's file changed under it"
        finally:
            stop_preview(world, host)
        restart(world)
        assert read_file(world, SYSTEM_SCR) == new, "the new vellora.scr is not in place after the restart"

        saver = e2e.start_show(world, program=r"windows\system32\vellora.scr")
        try:
            uninstall(world)
        finally:
            e2e.kill(saver)
        restart(world)
        assert read_file(world, SYSTEM_SCR) is None, "vellora.scr left in the system folder after the restart"
    finally:
        uninstall_if_installed(world)
        world.remove_file(SYSTEM_SCR)


def unprivileged(command):
    """The command as a user whom the file modes bind: root without the capabilities
    that override them."""
    if os.geteuid() != 0:
        return command
    return ["setpriv", "--inh-caps=-all", "--bounding-set=-all", "--", *command]


def restart_wine_server(world, wrap=lambda command: command):
    """Wine's server opens the files its programs create, so it is the one the file
    modes must bind."""
    world.run(["wineserver", "-k"])
    world.run(["wineserver", "-w"])
    subprocess.run(wrap(["wineserver", "-p"]), env=world.env, check=True)


def test_without_the_right_to_write_the_system_folder_setup_refuses_and_changes_nothing(world):
    uninstall_if_installed(world)
    set_current_saver(world, PREVIOUS_SCR)
    shutil.copy(os.path.join(world.build, "vellora-setup.exe"), world.host_path(SETUP))
    folder = world.host_path(r"C:\windows\system32")
    mode = os.stat(folder).st_mode
    os.chmod(folder, mode & ~0o222)
    restart_wine_server(world, unprivileged)
    try:
        for silent in (True, False):
            setup = subprocess.Popen(unprivileged(["wine", SETUP, *(["/S"] if silent else [])]), env=world.env,
                                     cwd=world.drive, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                if not silent:
                    box = world.probe("wait-box", "30000")
                    assert box, "no message"
                    text = e2e.gbk(box["text"]).decode("gbk")
                    assert text.startswith("安装 Vellora 需要管理员权限"), text
                    world.probe("press-box")
                code = e2e.wait_exit(setup, timeout=120)
                assert code == ACCESS_DENIED, f"silent={silent}: ended with {code}"
            finally:
                e2e.kill(setup)
            assert reg_value(world, DESKTOP_KEY, "SCRNSAVE.EXE") == PREVIOUS_SCR, f"silent={silent}: saver changed"
            assert not key_exists(world, OWN_KEY) and not key_exists(world, UNINSTALL_KEY), f"silent={silent}"
            assert read_file(world, SYSTEM_SCR) is None and read_file(world, UNINSTALLER) is None
    finally:
        os.chmod(folder, mode)
        restart_wine_server(world)


# A saver under a profile whose name is outside the Chinese code page the tests run in.
FAR_SAVER = r"C:\users\Jöns Ström\Application Data\Skärmsläckare\Nordlicht över Tromsø – ein långer Name.scr"
OWN_COPY = r"C:\mine\vellora.scr"
VARIABLE_SAVER = r"%SystemRoot%\system32\previous.scr"


def test_uninstall_puts_back_what_it_found(world):
    # The installer runs from a folder named outside the code page too.
    setup = r"C:\users\Jöns Ström\Downloads\vellora-setup.exe"
    os.makedirs(os.path.dirname(world.host_path(setup)), exist_ok=True)
    # name, saver (a plain path, or one with variables) and its switch before
    # installing, saver the user chose after it, saver and switch after uninstalling
    plain, variables = "REG_SZ", "REG_EXPAND_SZ"
    cases = [("saver switched off", (plain, PREVIOUS_SCR), "0", None, (plain, PREVIOUS_SCR), "0"),
             ("name outside the code page", (plain, FAR_SAVER), "1", None, (plain, FAR_SAVER), "1"),
             ("path with variables", (variables, VARIABLE_SAVER), "1", None, (variables, VARIABLE_SAVER), "1"),
             ("the user's own vellora.scr", (plain, PREVIOUS_SCR), "1", OWN_COPY, (plain, OWN_COPY), "1")]
    world.write_file(OWN_COPY, this_build_saver(world))
    faults = []
    try:
        for name, before, active, chosen, after, active_after in cases:
            set_current_saver(world, before[1], before[0])
            set_saver_active(world, active)
            try:
                install(world, setup=setup)
                assert reg_value(world, DESKTOP_KEY, "ScreenSaveActive") == "1", f"{name}: the saver is not on"
                if chosen:
                    set_current_saver(world, chosen)
            finally:
                uninstall_if_installed(world)
            saver = reg_text_exact(world, DESKTOP_KEY, "SCRNSAVE.EXE")
            if saver != after:
                faults.append(f"{name}: saver {saver!r}")
            switch = reg_value(world, DESKTOP_KEY, "ScreenSaveActive")
            if switch != active_after:
                faults.append(f"{name}: ScreenSaveActive {switch!r}")
        assert not faults, faults
        assert read_file(world, OWN_COPY) is not None, "the user's own vellora.scr was removed"
    finally:
        set_saver_active(world, "1")
        world.remove_file(OWN_COPY)
