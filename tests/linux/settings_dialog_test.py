#!/usr/bin/python3
"""The GTK settings dialog under Xvfb, read and driven through the accessibility
tree (AT-SPI). Runs inside a private D-Bus session, which carries that tree:
    dbus-run-session -- /usr/bin/python3 tests/linux/settings_dialog_test.py BUILD_DIR"""
import ctypes
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from linux_env import REPLACE_CALLS, replaced_durably  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TITLE = "Vellora 屏保设置  ---  https://vellora.example/"
ROWS = ["随机", "无", "图像扩大", "向下扫描", "向上扫描", "向右扫描", "向左扫描", "水平平分", "垂直平分", "马赛克",
        "向下移动", "向上移动", "向右移动", "向左移动", "水平交叉", "垂直交叉", "水平百叶窗", "垂直百叶窗",
        "水平栅条", "垂直栅条"]
ROLES = {"BS_DEFPUSHBUTTON": "push button", "BS_PUSHBUTTON": "push button", "BS_GROUPBOX": "panel",
         "BS_AUTOCHECKBOX": "check box", "Static": "label", "Edit": "text", "ComboBox": "combo box"}
IDS = {"IDOK": 1, "IDCANCEL": 2, "IDC_IMAGELIST": 1001, "IDC_DELAY": 1002, "IDC_EFFECT": 1003, "IDC_RANDOM": 1004}
# The dialog in each session's language: title, the template's texts in template
# order, the first and tenth rows, the failed save's message. Any language without a
# catalogue is English; the Chinese texts are the program's GBK texts.
LANGUAGES = {
    "zh_CN.UTF-8": (TITLE, None, ("随机", "马赛克"), "不能保存配置！"),
    "en_US.UTF-8": ("Vellora Screen Saver Settings  ---  https://vellora.example/",
                    ["OK", "Cancel", "Image list:", "", "Show each:", "", "s", "Transition:", "", "", "Random order"],
                    ("Random", "Mosaic"), "Cannot save the settings!"),
}
LANGUAGES["C"] = LANGUAGES["en_US.UTF-8"]
LINUX_OPTIONS = ["fit", "upright", "paced", "shuffle", "caption", "backdrop"]


def wait_until(check, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while not (result := check()) and time.monotonic() < deadline:
        time.sleep(interval)
    return result


def template_controls():
    """Dialog 2003 as the Windows resource script states it: text, identifier, role, rectangle."""
    script = open(os.path.join(ROOT, "resources", "vellora.rc"), encoding="utf-8").read()
    found = []
    for text, ident, cls, style, *rect in re.findall(
            r'CONTROL "([^"]*)", (\S+), "(\w+)", ([^,]+), (\d+), (\d+), (\d+), (\d+)', script):
        kind = next((s for s in style.split(" | ") if s.startswith("BS_")), cls)
        found.append((text, IDS.get(ident, -1), ROLES[kind], tuple(map(int, rect))))
    assert len(found) == 11, found
    return found


class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def press_close_box(env, title):
    """What a window manager does for the close box: WM_DELETE_WINDOW."""
    window = int(subprocess.run(["xdotool", "search", "--name", f"^{re.escape(title)}$"], env=env,
                                capture_output=True).stdout.split()[0])
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(env["DISPLAY"].encode())
    event = XClientMessage(type=33, display=display, window=window, format=32,
                           message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0))
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XCloseDisplay(display)


class World:
    def __init__(self, build):
        self.program = os.path.join(os.path.abspath(build), "vellora-settings-gtk")
        self.root = tempfile.mkdtemp(prefix="vellora-gtk-dialog-", dir=os.path.abspath(build))
        self.folder = os.path.join(self.root, "config", "vellora")
        self.settings = os.path.join(self.folder, "Tessaview.ini")
        os.makedirs(self.folder)
        self.options = os.path.join(self.folder, "Options.ini")
        self.autostart = os.path.join(self.root, "config", "autostart", "vellora-idle.desktop")
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.root, "config"), GDK_BACKEND="x11",
                        ASAN_OPTIONS="detect_leaks=0", LC_ALL="zh_CN.UTF-8", GTK_THEME="Adwaita",
                        HOME=os.path.join(self.root, "home"), XDG_RUNTIME_DIR=os.path.join(self.root, "runtime"))
        os.makedirs(self.env["HOME"])
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        for name in ("NO_AT_BRIDGE", "LANGUAGE", "LANG", "LC_MESSAGES"):
            self.env.pop(name, None)
        self.process = None
        display = next(n for n in range(500, 600)
                       if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))
        self.xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = f":{display}"
        assert wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 20), "Xvfb did not start"

    def stop(self):
        self.end()
        self.xvfb.terminate()
        self.xvfb.wait(10)
        shutil.rmtree(self.root, ignore_errors=True)

    def launch(self, settings, locale="zh_CN.UTF-8"):
        if settings is not None:
            with open(self.settings, "wb") as f:
                f.write(settings)
        elif os.path.exists(self.settings):
            os.remove(self.settings)
        self.process = subprocess.Popen([self.program], env=dict(self.env, LC_ALL=locale))
        return self.process

    def dialog(self, title=TITLE):
        """The dialog's controls by identifier (the template's as numbers, Linux's own
        by name), once it is shown."""
        frame = wait_until(lambda: self.find_window(title, "frame"), 20, interval=0.1)
        assert frame, "the settings dialog did not appear"
        # Without a window manager, keys go to the window under the pointer.
        box = frame.get_extents(Atspi.CoordType.SCREEN)
        self.xdotool("mousemove", box.x + box.width // 2, box.y + 4)
        found = {}
        nodes = children(frame)
        while nodes:
            node = nodes.pop()
            ident = node.get_accessible_id()
            if ident:
                found[int(ident) if ident.isdigit() else ident] = node
            if node.get_role_name() in ("panel", "filler") and not ident:
                nodes += children(node)
        return frame, found

    def find_window(self, title, role):
        desktop = Atspi.get_desktop(0)
        for app in children(desktop):
            if self.process and self.process.poll() is None and app.get_process_id() == self.process.pid:
                return next((w for w in children(app) if w.get_role_name() == role and w.get_name() == title), None)
        return None

    def exit_code(self):
        try:
            return self.process.wait(15)
        except subprocess.TimeoutExpired:
            return None

    def end(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def saved(self):
        assert sorted(os.listdir(self.folder)) in (["Tessaview.ini"], ["Options.ini", "Tessaview.ini"]), \
            os.listdir(self.folder)
        with open(self.settings, "rb") as f:
            return f.read()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, capture_output=True)

    def visible_windows(self):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid), ""], env=self.env,
                              capture_output=True).stdout.split()

    def geometry(self, window):
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=self.env, capture_output=True,
                               text=True).stdout
        found = dict(line.split("=", 1) for line in shell.split())
        return tuple(int(found[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


def children(node):
    node.clear_cache()
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c is not None]


def template_panel(frame):
    """The panel of the template's controls: the first in the dialog, above Linux's own."""
    (column,) = children(frame)
    return children(column)[0]


def controls(frame):
    """The template's controls, in template order (Linux's chooser comes after them)."""
    return children(template_panel(frame))[:11]


def all_nodes(node):
    nodes, found = [node], []
    while nodes:
        found.append(nodes.pop())
        nodes += children(found[-1])
    return found


def message_box(world, title):
    """The texts and buttons of the message box titled `title`, once it is shown."""
    box = wait_until(lambda: world.find_window(title, "alert"), 20, interval=0.1)
    assert box, f"no message box {title!r}"
    found = all_nodes(box)
    return [n.get_name() for n in found if n.get_role_name() == "label"], \
        [n for n in found if n.get_role_name() == "push button"]


def field(node):
    """An edit field, or the edit field of a combo box."""
    return next(c for c in children(node) if c.get_role_name() == "text") if node.get_role_name() == "combo box" \
        else node


def text_of(node):
    return Atspi.Text.get_text(field(node), 0, -1)


def set_text(node, text):
    Atspi.EditableText.set_text_contents(field(node), text)


def has_state(node, state):
    node.clear_cache()
    return node.get_state_set().contains(state)


def focused_id(ids):
    focused = [i for i, n in ids.items() if has_state(field(n), Atspi.StateType.FOCUSED)]
    return focused[0] if focused else None


def click(node):
    Atspi.Action.do_action(node, 0)


def test_controls_texts_layout_and_initial_values(world):
    path = "/home/用户/列表.txt".encode()
    world.launch(path + b"\r\n9\r\n-10\r\n7")
    frame, ids = world.dialog()
    assert frame.get_name() == TITLE
    template = template_controls()
    got = controls(frame)
    assert [c.get_role_name() for c in got] == [role for _, _, role, _ in template], "roles or order differ"
    window = template_panel(frame).get_extents(Atspi.CoordType.WINDOW)
    scale_x, scale_y = window.width / 272, window.height / 84
    for node, (text, ident, role, (x, y, cx, cy)) in zip(got, template):
        assert node.get_accessible_id() == ("" if ident == -1 else str(ident)), (text, node.get_accessible_id())
        assert role not in ("push button", "label", "check box") or node.get_name() == text, (node.get_name(), text)
        # Every control stands where its dialog units put it, on one scale per axis. The
        # closed combo box is as high as an edit field; the group box's frame starts
        # lower, where a caption would stand.
        box = node.get_extents(Atspi.CoordType.WINDOW)
        want = [x * scale_x, y * scale_y, cx * scale_x, (12 if role == "combo box" else cy) * scale_y]
        have = [box.x, box.y, box.width, box.height]
        compared = (0, 2) if role == "panel" else (0, 1, 2, 3)
        assert all(abs(have[k] - want[k]) <= 2 for k in compared), (text or ident, have, want)

    assert text_of(ids[1001]) == "/home/用户/列表.txt"
    assert text_of(ids[1002]) == "-10", "a negative delay from the file shows its minus sign"
    menu = next(c for c in children(ids[1003]) if c.get_role_name() == "menu")
    assert [i.get_name() for i in children(menu)] == ROWS
    assert Atspi.Selection.get_selected_child(ids[1003], 0).get_name() == ROWS[9]
    assert has_state(ids[1004], Atspi.StateType.CHECKED), "random order 7 is not ticked"
    assert focused_id(ids) is None, "a control has the focus at the start"

    # Tab order is template order, whatever the places, with the chooser after the
    # path it fills and Linux's own controls after the template's (the idle minutes
    # only while the idle start is on); Shift+Tab goes back.
    forward = [1, 2, 1001, "chooser", 1002, 1003, 1004, *LINUX_OPTIONS, "idle", 1]
    back = ["idle", *reversed(LINUX_OPTIONS), 1004, 1003, 1002]
    expected = forward + back
    order = []
    for key, want in zip(["Tab"] * len(forward) + ["shift+Tab"] * len(back), expected):
        world.xdotool("key", key)
        wait_until(lambda: focused_id(ids) == want, 5)
        order.append(focused_id(ids))
    assert order == expected, order

    # The delay field takes only digits as typed; Enter in it is OK.
    world.xdotool("key", "ctrl+a")
    world.xdotool("type", "4x-5")
    assert wait_until(lambda: text_of(ids[1002]) == "45", 5), text_of(ids[1002])
    world.xdotool("key", "Return")
    assert world.exit_code() == 1, "Enter did not end the dialog with 1"
    assert world.saved() == path + b"\r\n9\r\n45\r\n1"


def test_ok_saves_what_the_controls_hold(world):
    gbk_path = "C:\\我的图片\\list.txt".encode("gbk")

    def edit(ids):
        set_text(ids[1001], "/srv/图片/列表.txt")
        set_text(ids[1002], "-3a7")  # pasted text keeps only its digits as well
        Atspi.Selection.select_child(ids[1003], 19)
        click(ids[1004])
        assert wait_until(lambda: text_of(ids[1002]) == "37", 5), text_of(ids[1002])

    cases = [  # name, file, start of the shown path, what to do, how to press OK, saved
        # A path that is not valid UTF-8 shows marked and is saved with its own bytes.
        ("unchanged, Enter with no focus", gbk_path + b"\n25\n5\n0", "C:\\\ufffd", None, "Return",
         gbk_path + b"\r\n-1\r\n5\r\n0"),
        ("edited, OK button", b"/p/list.txt\r\n2\r\n5\r\n0", "/p/list.txt", edit, "button",
         "/srv/图片/列表.txt".encode() + b"\r\n19\r\n37\r\n1"),
        ("a row's name typed, not chosen", b"/p/list.txt\r\n2\r\n5\r\n0", "/p/list.txt",
         lambda ids: set_text(ids[1003], "马赛克"), "button", b"/p/list.txt\r\n-1\r\n5\r\n0"),
    ]
    for name, settings, shown, action, press, saved in cases:
        world.launch(settings)
        _, ids = world.dialog()
        assert text_of(ids[1001]).startswith(shown), (name, text_of(ids[1001]))
        if action:
            action(ids)
        world.xdotool("key", "Return") if press == "Return" else click(ids[1])
        assert world.exit_code() == 1, f"{name}: OK did not end the dialog with 1"
        assert world.saved() == saved, (name, world.saved())


def test_the_chooser_puts_the_chosen_path_in_the_field(world):
    """The button beside the path, pressed as a screen reader presses it, offers a
    folder or a list file; the desktop's chooser starts where the field points, and
    what is chosen there is saved with the file system's own bytes."""
    folder = os.path.join(world.env["HOME"].encode(), b"caf\xe9")  # Latin-1: not UTF-8
    os.makedirs(folder, exist_ok=True)
    for name in (b"first.txt", b"chosen list.txt"):
        open(os.path.join(folder, name), "wb").close()
    cases = [  # menu row, title of the chooser, how to choose there, saved path
        (1, "选择图像文件夹", lambda nodes: click(named(nodes, "push button", "选择(O)")), folder),
        (2, "选择图像列表文件", lambda nodes: (select_row(named(nodes, "table cell", "chosen list.txt")),
                                         click(named(nodes, "push button", "选择(O)"))),
         os.path.join(folder, b"chosen list.txt")),
    ]
    for row, title, choose, saved in cases:
        world.launch(os.path.join(folder, b"first.txt") + b"\r\n0\r\n5\r\n0")
        _, ids = world.dialog()
        shown = world.visible_windows()
        click(ids["chooser"])
        # The menu is not in the accessibility tree: its row is clicked where it lies,
        # the first in the upper half of the menu's window, the second in the lower.
        menu = wait_until(lambda: [w for w in world.visible_windows() if w not in shown], 10)
        assert menu, f"{title}: no menu"
        x, y, width, height = max((world.geometry(w) for w in menu), key=lambda g: g[2] * g[3])
        world.xdotool("mousemove", x + width // 2, y + height * (2 * row - 1) // 4, "click", 1)
        chooser = wait_until(lambda: world.find_window(title, "file chooser"), 20, interval=0.1)
        assert chooser, f"{title}: no chooser"
        choose(all_nodes(chooser))
        assert wait_until(lambda: text_of(ids[1001]) == saved.decode(errors="replace"), 10), (title, text_of(ids[1001]))
        click(ids[1])
        assert world.exit_code() == 1, title
        assert world.saved() == saved + b"\r\n0\r\n5\r\n0", (title, world.saved())


def named(nodes, role, name):
    return next(n for n in nodes if n.get_role_name() == role and n.get_name() == name)


def select_row(cell):
    while (table := cell.get_parent()).get_role_name() != "table":
        cell = table
    Atspi.Table.add_row_selection(table, Atspi.Table.get_row_at_index(table, cell.get_index_in_parent()))


def test_ok_saves_through_a_link_keeping_the_mode_and_flushes(world):
    """A settings file kept elsewhere (a dotfile manager's link) stays linked, keeps its
    mode, and the new file and its folder reach the disk."""
    elsewhere = os.path.join(world.root, "dotfiles")
    os.makedirs(elsewhere, exist_ok=True)
    kept = os.path.join(elsewhere, "Tessaview.ini")
    with open(kept, "wb") as f:
        f.write(b"/p/list.txt\r\n2\r\n5\r\n0")
    os.chmod(kept, 0o600)
    if os.path.lexists(world.settings):
        os.remove(world.settings)
    os.symlink(kept, world.settings)
    log = os.path.join(world.root, "strace.log")
    try:
        world.process = subprocess.Popen([world.program], env=world.env)
        _, ids = world.dialog()
        tracer = subprocess.Popen(["strace", "-f", "-o", log, "-e", f"trace={REPLACE_CALLS}", "-p",
                                   str(world.process.pid)], stderr=subprocess.PIPE)
        assert b"attached" in tracer.stderr.readline(), "strace did not attach"
        set_text(ids[1002], "30")
        click(ids[1])
        assert world.exit_code() == 1, "OK did not end the dialog with 1"
        tracer.wait(10)
        assert os.path.islink(world.settings), "the link became a file"
        assert open(kept, "rb").read() == b"/p/list.txt\r\n2\r\n30\r\n0"
        assert os.stat(kept).st_mode & 0o777 == 0o600, oct(os.stat(kept).st_mode)
        assert replaced_durably(open(log).read(), kept), open(log).read()
    finally:
        os.remove(world.settings)
        shutil.rmtree(elsewhere)


def test_cancel_esc_and_close_box_leave_the_file(world):
    settings = b"/p/list.txt\n25\n5\n0"
    for name, action in [("Cancel", lambda ids: click(ids[2])), ("Esc", lambda ids: world.xdotool("key", "Escape")),
                         ("close box", lambda ids: press_close_box(world.env, TITLE))]:
        world.launch(settings)
        _, ids = world.dialog()
        set_text(ids[1002], "99")
        action(ids)
        assert world.exit_code() == 0, f"{name} did not end the dialog with 0"
        assert world.saved() == settings, f"{name} changed the file"


def test_first_run_and_an_unreadable_file(world):
    """No file: the dialog shows what the show would use (the first default folder
    that holds a picture, shuffled; else an empty path) and the defaults; OK writes,
    Cancel writes nothing. A file that cannot be read is said so and left alone."""
    pictures = os.path.join(world.env["HOME"], "Pictures")
    for name, picture, press, written in [
            ("no picture folder, Cancel", False, "cancel", None),
            ("no picture folder, OK", False, "ok", (b"\r\n0\r\n5\r\n0", None)),
            ("a picture in ~/Pictures, OK", True, "ok", (pictures.encode() + b"\r\n0\r\n5\r\n0", "shuffle=true"))]:
        shutil.rmtree(world.folder)
        os.makedirs(world.folder)
        shutil.rmtree(pictures, ignore_errors=True)
        if picture:
            os.makedirs(pictures)
            shutil.copy(os.path.join(ROOT, "resources", "samples", "sunset.bmp"), pictures)
        world.launch(None)
        _, ids = world.dialog()
        assert text_of(ids[1001]) == (pictures if picture else ""), (name, text_of(ids[1001]))
        assert text_of(ids[1002]) == "5" and text_of(ids[1003]) == "随机", name
        assert has_state(ids["shuffle"], Atspi.StateType.CHECKED) == picture, f"{name}: the show's shuffle"
        click(ids[1] if press == "ok" else ids[2])
        assert world.exit_code() == (1 if press == "ok" else 0), name
        if written is None:
            assert os.listdir(world.folder) == [], f"{name}: {os.listdir(world.folder)}"
            continue
        assert world.saved() == written[0], (name, world.saved())
        assert os.path.exists(world.options) == bool(written[1]), name
        if written[1]:
            assert written[1] in open(world.options).read(), name
    shutil.rmtree(pictures, ignore_errors=True)

    # Unreadable is not missing: its message, and the file as it was.
    for name, make in [("a folder in its place", lambda: os.makedirs(world.settings)),
                       ("a FIFO in its place", lambda: os.mkfifo(world.settings))]:
        shutil.rmtree(world.folder)
        os.makedirs(world.folder)
        make()
        world.process = subprocess.Popen([world.program], env=world.env, stderr=subprocess.PIPE)
        texts, buttons = message_box(world, world.settings)
        assert "不能打开配置文件!" in texts, (name, texts)
        click(buttons[0])
        assert world.exit_code() == 0, name
        assert sorted(os.listdir(world.folder)) == ["Tessaview.ini"], (name, os.listdir(world.folder))
        assert world.process.stderr.read().count(b"\n") == 1, name
    shutil.rmtree(world.folder)
    os.makedirs(world.folder)


def test_each_language_and_the_c_locale(world):
    """The dialog and its message box in the session's language: the Chinese texts are
    the program's GBK texts, every other language is English."""
    template = template_controls()
    blocker = os.path.join(world.folder, "Tessaview.new")
    for locale, (title, names, rows, failed) in LANGUAGES.items():
        world.launch(b"/p/list.txt\r\n9\r\n5\r\n0", locale)
        frame, ids = world.dialog(title)
        names = names or [text for text, _, _, _ in template]
        got = [c.get_name() for c in controls(frame)]
        assert [g for g, (_, _, role, _) in zip(got, template) if role in ("push button", "label", "check box")] == \
            [n for n, (_, _, role, _) in zip(names, template) if role in ("push button", "label", "check box")], \
            (locale, got)
        menu = next(c for c in children(ids[1003]) if c.get_role_name() == "menu")
        assert [children(menu)[i].get_name() for i in (0, 9)] == list(rows), locale
        assert all(ids[key].get_name() for key in LINUX_OPTIONS + ["idle", "chooser"]), locale
        chinese = locale.startswith("zh")
        assert any("\u4e00" <= ch <= "\u9fff" for ch in ids["fit"].get_name()) == chinese, ids["fit"].get_name()
        os.makedirs(blocker)
        try:
            click(ids[1])
            texts, buttons = message_box(world, "ERROR")
            assert failed in texts, (locale, texts)
            click(buttons[0])
            assert world.exit_code() == 1, locale
        finally:
            os.rmdir(blocker)


def test_linux_options_saved_beside_the_settings(world):
    """The options show as the file says and OK saves them there, keeping what else
    the file holds; a damaged file shows the defaults, says so once and stays."""
    kept = "# mine\n[Show]\nfit=true\nbackdrop=true\nfuture=1\n\n[Other]\nkey=value\n"
    with open(world.options, "w") as f:
        f.write(kept)
    world.launch(b"/p/list.txt\r\n2\r\n5\r\n0")
    _, ids = world.dialog()
    assert [has_state(ids[k], Atspi.StateType.CHECKED) for k in LINUX_OPTIONS] == [k in ("fit", "backdrop")
                                                                                   for k in LINUX_OPTIONS]
    click(ids["fit"])
    click(ids["paced"])
    click(ids["caption"])
    click(ids[1])
    assert world.exit_code() == 1
    text = open(world.options).read()
    for line in ("# mine", "future=1", "[Other]", "key=value", "fit=false", "paced=true", "upright=false",
                 "caption=true", "backdrop=true"):
        assert line in text, (line, text)

    try:
        for damaged in (b"[Show]\nfit=maybe\n", b"not a key file\n"):
            with open(world.options, "wb") as f:
                f.write(damaged)
            world.process = subprocess.Popen([world.program], env=world.env, stderr=subprocess.PIPE)
            _, ids = world.dialog()
            assert not any(has_state(ids[k], Atspi.StateType.CHECKED) for k in LINUX_OPTIONS), damaged
            click(ids["upright"])
            click(ids[1])
            texts, buttons = message_box(world, "ERROR")
            assert any(world.options in t for t in texts), texts
            click(buttons[0])
            assert world.exit_code() == 1
            assert open(world.options, "rb").read() == damaged, "a damaged options file was written over"
            said = world.process.stderr.read().decode()
            assert said.count("\n") == 1 and world.options in said, said
    finally:
        os.remove(world.options)


def running_watcher(world):
    lock = os.path.join(world.env["XDG_RUNTIME_DIR"], "vellora-idle.lock")
    try:
        pid = int(open(lock).read().strip() or 0)
    except (OSError, ValueError):
        return None
    return pid if pid and os.path.exists(f"/proc/{pid}") and \
        b"--idle" in open(f"/proc/{pid}/cmdline", "rb").read() else None


def test_idle_start_switched_from_the_dialog(world):
    """On: the autostart entry and a watcher now; off: both gone. A copy the user
    edited is left as it is, and so is the switch while xscreensaver is in charge."""
    def switch(on, minutes=None):
        world.launch(b"/p/list.txt\r\n2\r\n5\r\n0")
        _, ids = world.dialog()
        if has_state(ids["idle"], Atspi.StateType.CHECKED) != on:
            click(ids["idle"])
        if minutes:
            set_text(ids["idle-minutes"], minutes)
        click(ids[1])
        assert world.exit_code() == 1
        return ids

    try:
        switch(True, "0.5")
        entry = open(world.autostart).read()
        assert "\nExec=vellora --idle 0.5\n" in entry, entry
        first = wait_until(lambda: running_watcher(world), 10)
        assert first, "no watcher started"
        switch(True, "7")
        assert "\nExec=vellora --idle 7\n" in open(world.autostart).read()
        assert wait_until(lambda: running_watcher(world) not in (None, first), 10), "the watcher was not restarted"
        assert b"7" in open(f"/proc/{running_watcher(world)}/cmdline", "rb").read()
        switch(False)
        assert not os.path.exists(world.autostart), "the entry stayed"
        assert wait_until(lambda: running_watcher(world) is None, 10), "the watcher still runs"

        own = "[Desktop Entry]\nType=Application\nExec=vellora --idle 3 --fit\n"
        with open(world.autostart, "w") as f:
            f.write(own)
        world.launch(b"/p/list.txt\r\n2\r\n5\r\n0")
        _, ids = world.dialog()
        assert "idle" not in ids and world.autostart in ids["idle-note"].get_name(), ids["idle-note"].get_name()
        click(ids[1])
        assert world.exit_code() == 1
        assert open(world.autostart).read() == own, "the user's own entry changed"
        os.remove(world.autostart)

        # The xscreensaver daemon marks a child of the root window with its version.
        marker = subprocess.Popen([sys.executable, "-c", XSCREENSAVER_MARKER], env=world.env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        assert marker.stdout.readline(), "no marker window"
        try:
            world.launch(b"/p/list.txt\r\n2\r\n5\r\n0")
            _, ids = world.dialog()
            assert "idle" not in ids and "xscreensaver" in ids["idle-note"].get_name()
            click(ids[2])
            assert world.exit_code() == 0
        finally:
            marker.stdin.close()
            marker.wait(10)
    finally:
        if pid := running_watcher(world):
            os.kill(pid, 15)


XSCREENSAVER_MARKER = """
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 3 + \
    [ctypes.c_ulong] * 2
x.XCreateSimpleWindow.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XInternAtom.restype = ctypes.c_ulong
x.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                              ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
w = x.XCreateSimpleWindow(d, x.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)
x.XChangeProperty(d, w, x.XInternAtom(d, b"_SCREENSAVER_VERSION", 0), 31, 8, 0, b"6.06", 4)
x.XSync(d, 0)
print("ready", flush=True)
sys.stdin.read()
"""


def test_failed_save_shows_the_error_and_keeps_the_old_file(world):
    settings = b"/p/list.txt\r\n2\r\n5\r\n0"
    # A folder where the new file would be written makes the save fail.
    blocker = os.path.join(world.folder, "Tessaview.new")
    os.makedirs(blocker)
    try:
        world.launch(settings)
        _, ids = world.dialog()
        set_text(ids[1002], "30")
        click(ids[1])
        box = wait_until(lambda: world.find_window("ERROR", "alert"), 20, interval=0.1)
        assert box, "no error box"
        nodes, found = [box], []
        while nodes:
            found.append(nodes.pop())
            nodes += children(found[-1])
        assert "不能保存配置！" in [n.get_name() for n in found if n.get_role_name() == "label"]
        buttons = [n for n in found if n.get_role_name() == "push button"]
        assert len(buttons) == 1, [b.get_name() for b in buttons]
        # The dialog under its box takes no commands: its close box and, for an
        # assistive tool that reaches past the box, its Cancel button do nothing.
        press_close_box(world.env, TITLE)
        click(ids[2])
        assert not wait_until(lambda: world.process.poll() is not None, 1), "the dialog ended under its box"
        click(buttons[0])
        assert world.exit_code() == 1, "the dialog did not end with 1"
        os.rmdir(blocker)
        assert world.saved() == settings, "the old file changed"
    finally:
        if os.path.isdir(blocker):
            os.rmdir(blocker)


def main():
    only = sys.argv[2:]
    world = World(sys.argv[1] if len(sys.argv) > 1 else "build/native")
    failed, started = 0, time.monotonic()
    try:
        for name, test in [(n, f) for n, f in globals().items() if n.startswith("test_") and (not only or n in only)]:
            try:
                test(world)
                print(f"PASS {name}")
            except Exception:
                failed += 1
                print(f"FAIL {name}")
                traceback.print_exc()
            finally:
                world.end()
    finally:
        world.stop()
    print(f"{failed} failed, {time.monotonic() - started:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
