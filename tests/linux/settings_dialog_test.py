#!/usr/bin/python3
"""The GTK settings dialog under Xvfb, read and driven through the accessibility
tree (AT-SPI): its controls, texts, order, layout, tab order and initial values,
the exact bytes it saves, Cancel, Esc and the close box, the missing settings file
and the failed save.

Runs inside a private D-Bus session, which carries the accessibility bus:
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

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TITLE = "Vellora 屏保设置  ---  https://vellora.example/"
ROWS = ["随机", "无", "图像扩大", "向下扫描", "向上扫描", "向右扫描", "向左扫描", "水平平分", "垂直平分", "马赛克",
        "向下移动", "向上移动", "向右移动", "向左移动", "水平交叉", "垂直交叉", "水平百叶窗", "垂直百叶窗",
        "水平栅条", "垂直栅条"]
ROLE_OF_CLASS = {("Button", "BS_DEFPUSHBUTTON"): "push button", ("Button", "BS_PUSHBUTTON"): "push button",
                 ("Button", "BS_GROUPBOX"): "panel", ("Button", "BS_AUTOCHECKBOX"): "check box",
                 ("Static", ""): "label", ("Edit", ""): "text", ("ComboBox", ""): "combo box"}
IDS = {"IDOK": 1, "IDCANCEL": 2, "IDC_IMAGELIST": 1001, "IDC_DELAY": 1002, "IDC_EFFECT": 1003, "IDC_RANDOM": 1004,
       "-1": -1}


def wait_until(check, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def template_controls():
    """The controls of dialog 2003 as the Windows resource script states them:
    text, identifier, role, rectangle in dialog units."""
    script = open(os.path.join(ROOT, "resources", "vellora.rc"), encoding="utf-8").read()
    found = []
    pattern = r'CONTROL "([^"]*)", (\S+), "(\w+)", ([^,]+), (\d+), (\d+), (\d+), (\d+)'
    for text, ident, cls, style, *rect in re.findall(pattern, script):
        kind = next((s for s in style.split(" | ") if s.startswith("BS_")), "") if cls == "Button" else ""
        found.append((text, IDS[ident], ROLE_OF_CLASS[(cls, kind)], tuple(map(int, rect))))
    assert len(found) == 11, found
    return found


class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def press_close_box(display_name, title):
    """Does what a window manager does for the close box: WM_DELETE_WINDOW."""
    window = subprocess.run(["xdotool", "search", "--name", "^" + re.escape(title) + "$"], capture_output=True,
                            env=dict(os.environ, DISPLAY=display_name)).stdout.split()[0]
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    event = XClientMessage(type=33, display=display, window=int(window),
                           message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0), format=32)
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XCloseDisplay(display)


class World:
    def __init__(self, build):
        self.program = os.path.join(os.path.abspath(build), "vellora-settings-gtk")
        self.root = tempfile.mkdtemp(prefix="vellora-gtk-dialog-", dir=os.path.abspath(build))
        self.folder = os.path.join(self.root, "config", "vellora")
        self.settings = os.path.join(self.folder, "Tessaview.ini")
        os.makedirs(self.folder)
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.root, "config"), GDK_BACKEND="x11",
                        ASAN_OPTIONS="detect_leaks=0", LC_ALL="zh_CN.UTF-8", GTK_THEME="Adwaita")
        self.env.pop("NO_AT_BRIDGE", None)
        self.xvfb = None
        self.process = None

    def start(self):
        display = next(n for n in range(500, 600)
                       if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))
        self.xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = f":{display}"
        assert wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 20), "Xvfb did not start"

    def stop(self):
        self.end()
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)
        shutil.rmtree(self.root, ignore_errors=True)

    def launch(self, settings):
        if settings is None:
            if os.path.exists(self.settings):
                os.remove(self.settings)
        else:
            with open(self.settings, "wb") as f:
                f.write(settings)
        self.process = subprocess.Popen([self.program], env=self.env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        return self.process

    def dialog(self, timeout=20):
        frame = wait_until(lambda: self.find_frame(TITLE), timeout, interval=0.1)
        assert frame, "the settings dialog did not appear"
        # Without a window manager, keys go to the window under the pointer.
        extents = frame.get_extents(Atspi.CoordType.SCREEN)
        self.xdotool("mousemove", extents.x + extents.width // 2, extents.y + 4)
        return frame

    def find_frame(self, title, role="frame"):
        if self.process is None or self.process.poll() is not None:
            return None
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is None or app.get_process_id() != self.process.pid:
                continue
            for j in range(app.get_child_count()):
                window = app.get_child_at_index(j)
                if window is not None and window.get_role_name() == role and window.get_name() == title:
                    return window
        return None

    def exit_code(self, timeout=15):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def end(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def saved(self):
        with open(self.settings, "rb") as f:
            return f.read()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, capture_output=True)


def children(node):
    node.clear_cache()
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c is not None]


def controls(frame):
    (panel,) = children(frame)
    return children(panel)


def by_id(frame):
    return {int(c.get_accessible_id()): c for c in controls(frame) if c.get_accessible_id()}


def text_of(node):
    if node.get_role_name() == "combo box":
        node = next(c for c in children(node) if c.get_role_name() == "text")
    return Atspi.Text.get_text(node, 0, -1)


def has_state(node, state):
    node.clear_cache()
    return node.get_state_set().contains(state)


def selected_row(combo):
    combo.clear_cache()
    if Atspi.Selection.get_n_selected_children(combo) == 0:
        return -1
    return ROWS.index(Atspi.Selection.get_selected_child(combo, 0).get_name())


def focused_id(frame):
    for ident, node in by_id(frame).items():
        if has_state(node, Atspi.StateType.FOCUSED) or any(has_state(c, Atspi.StateType.FOCUSED)
                                                          for c in children(node)):
            return ident
    return None


def set_text(node, text):
    if node.get_role_name() == "combo box":
        node = next(c for c in children(node) if c.get_role_name() == "text")
    Atspi.EditableText.set_text_contents(node, text)


def click(node):
    Atspi.Action.do_action(node, 0)


def test_controls_texts_layout_and_initial_values(world):
    path = "/home/用户/列表.txt".encode()
    world.launch(path + b"\r\n9\r\n-10\r\n7")
    frame = world.dialog()
    assert frame.get_name() == TITLE
    template = template_controls()
    got = controls(frame)
    assert [c.get_role_name() for c in got] == [role for _, _, role, _ in template], "roles or order differ"
    for node, (text, ident, role, _) in zip(got, template):
        assert node.get_accessible_id() == ("" if ident == -1 else str(ident)), (text, node.get_accessible_id())
        if role in ("push button", "label", "check box"):
            assert node.get_name() == text, (node.get_name(), text)

    # Every control stands where its dialog units put it, on one scale per axis.
    window = frame.get_extents(Atspi.CoordType.WINDOW)
    scale_x, scale_y = window.width / 272, window.height / 84
    for node, (text, ident, role, (x, y, cx, cy)) in zip(got, template):
        box = node.get_extents(Atspi.CoordType.WINDOW)
        if role == "combo box":
            cy = 12  # the closed box; the template's height includes the list
        want = [x * scale_x, y * scale_y, cx * scale_x, cy * scale_y]
        have = [box.x, box.y, box.width, box.height]
        # The group box's frame starts lower, where a caption would stand.
        compared = (0, 2) if role == "panel" else (0, 1, 2, 3)
        assert all(abs(have[k] - want[k]) <= 2 for k in compared), (text or ident, have, want)

    ids = by_id(frame)
    assert text_of(ids[1001]) == "/home/用户/列表.txt"
    assert text_of(ids[1002]) == "-10", "a negative delay from the file shows its minus sign"
    items = [c for c in children(ids[1003]) if c.get_role_name() == "menu"][0]
    assert [i.get_name() for i in children(items)] == ROWS
    assert selected_row(ids[1003]) == 9
    assert has_state(ids[1004], Atspi.StateType.CHECKED), "random order 7 is not ticked"
    assert focused_id(frame) is None, "a control has the focus at the start"

    # Tab order is template order, whatever the places; Shift+Tab goes back.
    order = []
    for _ in range(7):
        world.xdotool("key", "Tab")
        order.append(wait_until(lambda: focused_id(frame), 5))
    assert order == [1, 2, 1001, 1002, 1003, 1004, 1], order
    world.xdotool("key", "shift+Tab")
    assert wait_until(lambda: focused_id(frame) == 1004, 5), "Shift+Tab did not go back"

    # The delay field takes only digits as typed; Enter in it is OK.
    for _ in range(2):
        world.xdotool("key", "shift+Tab")
    assert wait_until(lambda: focused_id(frame) == 1002, 5)
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

    def type_into_combo(ids):
        set_text(ids[1003], "马赛克")

    cases = [  # name, file, shown path, what to do, how to press OK, saved
        ("unchanged, Enter with no focus", gbk_path + b"\n25\n5\n0", "C:\\\ufffd", None, "Return",
         gbk_path + b"\r\n-1\r\n5\r\n0"),
        ("edited, OK button", b"/p/list.txt\r\n2\r\n5\r\n0", "/p/list.txt", edit, "button",
         "/srv/图片/列表.txt".encode() + b"\r\n19\r\n37\r\n1"),
        ("typed effect name", b"/p/list.txt\r\n2\r\n5\r\n0", "/p/list.txt", type_into_combo, "button",
         b"/p/list.txt\r\n-1\r\n5\r\n0"),
    ]
    for name, settings, shown, action, press, saved in cases:
        world.launch(settings)
        frame = world.dialog()
        ids = by_id(frame)
        assert text_of(ids[1001]).startswith(shown), (name, text_of(ids[1001]))
        if action:
            action(ids)
        if press == "Return":
            world.xdotool("key", "Return")
        else:
            click(ids[1])
        assert world.exit_code() == 1, f"{name}: OK did not end the dialog with 1"
        assert world.saved() == saved, (name, world.saved())
        assert os.listdir(world.folder) == ["Tessaview.ini"], f"{name}: {os.listdir(world.folder)}"


def test_cancel_esc_and_close_box_leave_the_file(world):
    settings = b"/p/list.txt\n25\n5\n0"
    actions = [
        ("Cancel", lambda ids: click(ids[2])),
        ("Esc", lambda ids: world.xdotool("key", "Escape")),
        ("close box", lambda ids: press_close_box(world.env["DISPLAY"], TITLE)),
    ]
    for name, action in actions:
        world.launch(settings)
        ids = by_id(world.dialog())
        set_text(ids[1002], "99")
        action(ids)
        assert world.exit_code() == 0, f"{name} did not end the dialog with 0"
        assert world.saved() == settings, f"{name} changed the file"
        assert os.listdir(world.folder) == ["Tessaview.ini"], f"{name}: {os.listdir(world.folder)}"


def test_no_settings_file_shows_nothing(world):
    process = world.launch(None)
    seen = []
    ended = wait_until(lambda: seen.append(world.find_frame(TITLE)) or process.poll() is not None, 20)
    assert ended and process.returncode == 0, process.returncode
    assert not any(seen), "a window was shown"
    assert os.listdir(world.folder) == [], "a settings file was written"


def test_failed_save_shows_the_error_and_keeps_the_old_file(world):
    settings = b"/p/list.txt\r\n2\r\n5\r\n0"
    # A folder where the new file would be written makes the save fail.
    blocker = os.path.join(world.folder, "Tessaview.new")
    os.makedirs(blocker)
    try:
        world.launch(settings)
        ids = by_id(world.dialog())
        set_text(ids[1002], "30")
        click(ids[1])
        box = wait_until(lambda: world.find_frame("ERROR", role="alert"), 20, interval=0.1)
        assert box, "no error box"
        texts, buttons = [], []

        def walk(node):
            for child in children(node):
                if child.get_role_name() == "label" and child.get_name():
                    texts.append(child.get_name())
                if child.get_role_name() == "push button":
                    buttons.append(child)
                walk(child)

        walk(box)
        assert "不能保存配置！" in texts, texts
        assert len(buttons) == 1, [b.get_name() for b in buttons]
        # The dialog under its box takes no commands: its close box does nothing.
        press_close_box(world.env["DISPLAY"], TITLE)
        assert not wait_until(lambda: world.process.poll() is not None, 1), "the dialog ended under its box"
        assert world.find_frame("ERROR", role="alert"), "the box went away"
        click(buttons[0])
        assert world.exit_code() == 1, "the dialog did not end with 1"
        assert world.saved() == settings, "the old file changed"
    finally:
        os.rmdir(blocker)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/native"
    world = World(build)
    world.start()
    failed = 0
    started = time.monotonic()
    try:
        for name, test in [(n, f) for n, f in globals().items() if n.startswith("test_") and (len(sys.argv) < 3 or sys.argv[2] in n)]:
            begun = time.monotonic()
            try:
                test(world)
                print(f"PASS {name} ({time.monotonic() - begun:.1f} s)")
            except Exception:
                failed += 1
                print(f"FAIL {name}")
                traceback.print_exc()
                if world.process and world.process.poll() is None:
                    world.end()
                else:
                    print(world.process.stderr.read().decode(errors="replace") if world.process else "")
            finally:
                world.end()
    finally:
        world.stop()
    print(f"{failed} failed, {time.monotonic() - started:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
