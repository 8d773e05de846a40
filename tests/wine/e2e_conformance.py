"""Shared file reads, a left-over temporary file, and the imports that Windows
95/98/Me can satisfy."""
import os
import subprocess

import run_e2e as e2e
from wine_env import wait_until

HOLD_READY, HOLD_STOP = r"C:\hold.ready", r"C:\hold.stop"


def test_files_held_open_for_writing_stay_readable(world):
    e2e.make_picture(world, r"C:\pics\first.bmp", 200, 150, (e2e.RED, e2e.GREEN, e2e.BLUE, e2e.YELLOW))
    e2e.write_show(world, [r"C:\pics\first.bmp"])
    for path in (HOLD_READY, HOLD_STOP):
        world.remove_file(path)
    holder = subprocess.Popen(["wine", r"C:\vellora-probe.exe", "hold", e2e.SETTINGS, e2e.LIST, HOLD_READY, HOLD_STOP],
                              env=world.env, cwd=world.drive, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_until(lambda: os.path.exists(world.host_path(HOLD_READY)), 20), "the files were not held"
        world.xdotool("mousemove", "500", "400")
        saver = world.start_saver("/s")
        try:
            rect = e2e.expected_rect(e2e.devcaps(world), 200, 150)
            assert e2e.wait_for_picture(world, rect, (e2e.RED, e2e.GREEN, e2e.BLUE, e2e.YELLOW)), \
                "no picture while the list and the settings file are held open"
        finally:
            e2e.kill(saver)
            world.probe("gone", e2e.CLASS, e2e.TITLE, "10000")
        dialog = world.start_saver("/c")
        try:
            e2e.read_dialog(world)
            world.xdotool("key", "Escape")
            assert e2e.wait_exit(dialog) == 0
        finally:
            e2e.kill(dialog)
    finally:
        world.write_file(HOLD_STOP, b"")
        holder.wait(timeout=30)


def test_a_left_over_read_only_temporary_file_does_not_block_saving(world):
    settings = b"C:\\pics\\list.txt\r\n3\r\n7\r\n0"
    dialog = e2e.open_settings_dialog(world, settings)
    left_over = world.host_path(r"C:\windows\Tessaview.new")
    with open(left_over, "wb") as f:
        f.write(b"from an interrupted save")
    os.chmod(left_over, 0o444)  # Wine shows a file without write bits as read-only
    try:
        e2e.read_dialog(world)
        world.xdotool("key", "Return")
        assert e2e.wait_exit(dialog) == 1, "the dialog did not end with 1"
        assert world.probe("wait-box", "0") is None, "the save was reported as failed"
        assert open(world.host_path(e2e.SETTINGS), "rb").read() == settings
        assert not os.path.exists(left_over), "the temporary file was left behind"
    finally:
        e2e.kill(dialog)
        if os.path.exists(left_over):
            os.chmod(left_over, 0o644)
            os.remove(left_over)


# The runtime imports these Unicode functions, and Windows 95/98/Me implement them as
# stubs that fail; each failure is survived (see the README's notes on the Windows build).
UNICODE_IMPORTS_SURVIVED = {"GetModuleHandleW", "LoadLibraryW", "CreateSemaphoreW"}


def imports_by_dll(program):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", program], stdout=subprocess.PIPE,
                          check=True).stdout.decode()
    imports, dll = {}, None
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split(":")[1].strip().upper()
            imports[dll] = set()
        elif dll and line.startswith("\t") and len(line.split()) >= 3 and line.split()[0].isalnum():
            imports[dll].add(line.split()[-1])
    return imports


def test_only_unicode_imports_that_windows_95_98_me_survive(world):
    imports = imports_by_dll(world.product)
    assert "CreateWindowExA" in imports.get("USER32.DLL", set()), "could not read the import table"
    unicode_only = set()
    for dll in ("KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL"):
        for name in imports.get(dll, ()):
            if len(name) > 1 and name.endswith("W") and name[-2].islower():
                unicode_only.add(name)
    assert unicode_only <= UNICODE_IMPORTS_SURVIVED, f"new Unicode-only imports: {unicode_only - UNICODE_IMPORTS_SURVIVED}"
