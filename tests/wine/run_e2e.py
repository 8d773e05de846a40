#!/usr/bin/env python3
"""End-to-end tests of vellora.scr under 32-bit Wine on a virtual X screen.

usage: run_e2e.py WIN32_BUILD_DIR [TEST_NAME...]
Prints one line per test and closes with "N passed, M failed"."""
import importlib
import os
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_env import SCREEN, WineWorld, close_to, is_black, wait_until  # noqa: E402

SETTINGS = r"C:\windows\Tessaview.ini"
LIST = r"C:\pics\list.txt"
CLASS, TITLE = "WindowsScreenSaverClass", "Screen Saver"
RED, GREEN, BLUE, YELLOW = (230, 30, 30), (30, 200, 30), (30, 30, 230), (240, 220, 20)
CYAN, MAGENTA, WHITE, ORANGE = (20, 210, 220), (210, 30, 200), (245, 245, 245), (250, 140, 20)
EXIT_MINUS_ONE = 255  # Wine hands the exit code on modulo 256


def make_picture(world, windows_path, width, height, colours):
    """A picture of four solid quadrants: top-left, top-right, bottom-left, bottom-right."""
    path = world.host_path(windows_path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    draw = []
    half_w, half_h = width // 2, height // 2
    boxes = [(0, 0, half_w - 1, half_h - 1), (half_w, 0, width - 1, half_h - 1),
             (0, half_h, half_w - 1, height - 1), (half_w, half_h, width - 1, height - 1)]
    for (x0, y0, x1, y1), c in zip(boxes, colours):
        draw += ["-fill", "rgb(%d,%d,%d)" % c, "-draw", f"rectangle {x0},{y0} {x1},{y1}"]
    target = ("BMP3:" if path.endswith(".bmp") else "") + path
    subprocess.run(["convert", "-size", f"{width}x{height}", "xc:black", *draw, "-type", "TrueColor", target],
                   check=True)


def write_show(world, pictures, row=1, delay=60, random_order=0):
    world.write_file(LIST, b"".join(p.encode() + b"\r\n" for p in pictures))
    world.write_file(SETTINGS, b"%s\r\n%d\r\n%d\r\n%d" % (LIST.encode(), row, delay, random_order))


def himetric(pixels):
    return (pixels * 2540 + 48) // 96


def c_half(value):
    return int(value / 2)  # integer halving that truncates toward zero


def expected_rect(devcaps, width_px, height_px):
    hr, vr, hs, vs = devcaps
    w = int(himetric(width_px) * (hr / hs) * 0.01)
    h = int(himetric(height_px) * (vr / vs) * 0.01)
    return c_half(hr - w), c_half(vr - h), w, h


def picture_in_rect(shot, rect, colours):
    left, top, w, h = rect
    right, bottom = left + w - 1, top + h - 1
    corners = [(left, top), (right, top), (left, bottom), (right, bottom)]
    if not all(close_to(shot.at(x, y), c) for (x, y), c in zip(corners, colours)):
        return False
    outside = [(left - 1, top + h // 2), (right + 1, top + h // 2), (left + w // 2, top - 1),
               (left + w // 2, bottom + 1)]
    return all(is_black(shot.at(x, y)) for x, y in outside if 0 <= x < SCREEN[0] and 0 <= y < SCREEN[1])


def wait_for_picture(world, rect, colours, timeout=15):
    return wait_until(lambda: picture_in_rect(world.screenshot(), rect, colours), timeout, interval=0.1)


def wait_exit(process, timeout=15):
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def kill(process):
    if process.poll() is None:
        process.kill()
        process.wait()


def devcaps(world):
    out = world.run(["wine", r"C:\vellora-probe.exe", "devcaps"]).stdout.split()
    return tuple(int(v) for v in out)


def start_show(world, program="vellora.scr"):
    """Starts a full-screen show of the standard picture and waits until it is up."""
    make_picture(world, r"C:\pics\first.bmp", 200, 150, (RED, GREEN, BLUE, YELLOW))
    write_show(world, [r"C:\pics\first.bmp"])
    world.xdotool("mousemove", "500", "400")
    saver = world.start_saver("/s", program=program)
    assert world.probe("wait-window", CLASS, TITLE, "20000"), "no saver window"
    rect = expected_rect(devcaps(world), 200, 150)
    assert wait_for_picture(world, rect, (RED, GREEN, BLUE, YELLOW)), "first picture not shown"
    return saver


# --- tests -------------------------------------------------------------------------

def test_program_is_self_contained_and_keeps_file_virtualization(world):
    scr = world.product
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", scr], stdout=subprocess.PIPE, check=True).stdout.decode()
    imports = {line.split(":")[1].strip().upper() for line in dump.splitlines() if "DLL Name:" in line}
    system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "OLE32.DLL", "OLEAUT32.DLL", "COMCTL32.DLL", "WINMM.DLL",
              "ADVAPI32.DLL", "MSVCRT.DLL"}
    assert imports <= system, f"imports beyond the system's DLLs: {imports - system}"
    data = open(scr, "rb").read()
    assert data.count(b"<assembly xmlns") == 1, "not exactly one manifest"
    assert b"requestedExecutionLevel" not in data, "a requested execution level turns file virtualization off"
    assert b"<dpiAware" in data and b">true</dpiAware>" in data, "no system DPI awareness"



def test_windows_build_arithmetic_rounds_to_double(world):
    out = world.run(["wine", r"C:\vellora-arithmetic.exe"]).stdout.decode().splitlines()
    assert out[:4] == ["steps 125 375 31 125", "steps 160 480 40 160", "steps 112 337 28 112", "place 677 173"], out


def test_full_screen_window_and_pictures(world):
    make_picture(world, r"C:\pics\a.bmp", 200, 150, (RED, GREEN, BLUE, YELLOW))
    make_picture(world, r"C:\pics\b.gif", 161, 121, (CYAN, MAGENTA, WHITE, ORANGE))
    make_picture(world, r"C:\pics\c.jpg", 240, 180, (YELLOW, BLUE, GREEN, RED))
    write_show(world, [r"C:\pics\a.bmp", r"C:\pics\b.gif", r"C:\pics\c.jpg"], row=1, delay=2)
    saver = world.start_saver("/s")
    try:
        window = world.probe("wait-window", CLASS, TITLE, "20000")
        assert window, "no full-screen window"
        assert int(window["exstyle"], 16) & 0x8, "not topmost"
        assert int(window["style"], 16) == 0x96000000, window["style"]
        assert window["rect"] == f"0 0 {SCREEN[0]} {SCREEN[1]}", window["rect"]
        caps = devcaps(world)
        for size, colours, name in [((200, 150), (RED, GREEN, BLUE, YELLOW), "BMP"),
                                    ((161, 121), (CYAN, MAGENTA, WHITE, ORANGE), "GIF"),
                                    ((240, 180), (YELLOW, BLUE, GREEN, RED), "JPEG")]:
            rect = expected_rect(caps, *size)
            assert wait_for_picture(world, rect, colours, timeout=20), f"{name} picture not in {rect}"
    finally:
        kill(saver)


def test_key_click_and_five_pixel_move_each_end_the_show(world):
    for name, action in [("key", lambda: world.xdotool("key", "space")),
                         ("click", lambda: world.xdotool("click", "1")),
                         ("move", lambda: world.xdotool("mousemove", "503", "402"))]:
        saver = start_show(world)
        try:
            action()
            assert wait_exit(saver) == 0, f"{name} did not end the show with 0"
        finally:
            kill(saver)


def test_four_pixel_move_ends_nothing(world):
    saver = start_show(world)
    try:
        world.xdotool("mousemove", "503", "401")  # travel 4 from the anchor
        assert wait_exit(saver, timeout=2) is None, "a move of 4 pixels ended the show"
        world.xdotool("mousemove", "504", "401")  # drift adds up to 5
        assert wait_exit(saver) == 0
    finally:
        kill(saver)


def test_second_full_screen_start_defers_to_the_first(world):
    saver = start_show(world)
    try:
        second = world.start_saver("/s")
        assert wait_exit(second) == 0, "second start did not end with 0"
        assert saver.poll() is None, "the first show ended"
        assert world.probe("wait-window", CLASS, TITLE, "1000"), "the first window is gone"
    finally:
        kill(saver)


def test_usage_errors_end_with_minus_one_and_show_nothing(world):
    for args in (["/x"], ["?"], ["/p"], ["/p", "0"], ["/p", "123456789"], ["/a"]):
        saver = world.start_saver(*args)
        code = wait_exit(saver)
        kill(saver)
        assert code == EXIT_MINUS_ONE, f"{args} ended with {code}"
        assert world.probe("wait-window", CLASS, TITLE, "0") is None, f"{args} showed a window"


def host_answer(world, path, timeout=20):
    """What the preview host wrote to `path` after its label ("hwnd 1234" names the
    pane, "exit 0" the saver's exit code), once the file holds it whole (the host
    writes in more than one step); None when it never does."""
    def written():
        words = open(world.host_path(path)).read().split() if os.path.exists(world.host_path(path)) else []
        return words[1] if len(words) > 1 else None
    return wait_until(written, timeout)


def test_preview_in_a_host_window(world):
    # Wine does not show what one process draws into a child of another process's
    # window, so the picture's placement in the pane is checked by the unit tests;
    # here the window, its input rules and its ending.
    make_picture(world, r"C:\pics\first.bmp", 200, 150, (RED, GREEN, BLUE, YELLOW))
    write_show(world, [r"C:\pics\first.bmp"])
    for form in ("/p ", "/p", "/l "):
        out = r"C:\host.txt"
        for suffix in ("", ".exit", ".destroy"):
            world.remove_file(out + suffix)
        host = subprocess.Popen(["wine", r"C:\vellora-host.exe", r"C:\vellora.scr", form, out], env=world.env,
                                cwd=world.drive, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            pane = host_answer(world, out)
            assert pane, "host did not start"
            child = world.probe("wait-child", pane, CLASS, "20000")
            assert child, f"{form!r}: no preview window"
            assert child["title"] == "Preview".encode().hex().upper(), child["title"]
            assert int(child["style"], 16) == 0x52000000, child["style"]
            assert child["parent"] == pane, child["parent"]
            assert child["rect"] == "40 50 152 112", f"{form!r}: does not fill the pane: {child['rect']}"
            world.xdotool("mousemove", "100", "100")
            world.xdotool("mousemove", "120", "130")
            world.xdotool("click", "1")
            world.xdotool("key", "space")
            assert wait_until(lambda: os.path.exists(world.host_path(out + ".exit")), 1.5) is None, \
                f"{form!r}: input ended the preview"
            assert world.probe("wait-child", pane, CLASS, "0"), f"{form!r}: input closed the preview window"
            world.write_file(out + ".destroy", b"")
            code = host_answer(world, out + ".exit")
            assert code, "saver did not end"
            assert code == "0", f"{form!r}: preview ended with {code}"
        finally:
            kill(host)


def test_creation_failure_boxes(world):
    cases = [("no settings file", None, "不能打开配置文件!", r"C:\windows\Tessaview.ini"),
             ("no image list", b"C:\\pics\\missing.txt\r\n1\r\n1\r\n0", "不能打开图像列表文件!", "ERROR")]
    for name, settings, text, caption in cases:
        world.remove_file(SETTINGS)
        if settings:
            world.write_file(SETTINGS, settings)
        world.xdotool("mousemove", "500", "400")
        saver = world.start_saver("/s")
        try:
            box = world.probe("wait-box", "20000")
            assert box, f"{name}: no message box"
            got_text, got_caption = gbk(box["text"]).decode("gbk"), gbk(box["caption"]).decode("gbk")
            assert got_text == text, f"{name}: text {got_text!r}"
            assert got_caption.lower() == caption.lower(), f"{name}: caption {got_caption!r}"
            assert world.probe("press-box") is not None
            assert world.probe("wait-window", CLASS, TITLE, "10000"), f"{name}: the window did not stay"
            assert wait_exit(saver, timeout=2) is None, f"{name}: the show ended by itself"
            assert is_black(world.screenshot().at(SCREEN[0] // 2, SCREEN[1] // 2)), f"{name}: something was drawn"
            world.xdotool("key", "space")
            assert wait_exit(saver) == 0, f"{name}: a key did not end it"
        finally:
            kill(saver)


def corners_in_place(shot, rect, colours):
    """The picture's four corner pixels and its quadrant centres show the picture."""
    left, top, w, h = rect
    points = [(left, top), (left + w - 1, top), (left, top + h - 1), (left + w - 1, top + h - 1),
              (left + w // 4, top + h // 4), (left + 3 * w // 4, top + h // 4),
              (left + w // 4, top + 3 * h // 4), (left + 3 * w // 4, top + 3 * h // 4)]
    return all(close_to(shot.at(x, y), c) for (x, y), c in zip(points, colours + colours))


def rows_failing(world, pictures, delay, check):
    """Runs the show once with each of the twenty rows; the rows whose run fails `check`."""
    failures = []
    for row in range(20):
        write_show(world, pictures, row=row, delay=delay)
        saver = world.start_saver("/s")
        try:
            if not check():
                failures.append(row)
        finally:
            kill(saver)
            world.probe("gone", CLASS, TITLE, "10000")
    return failures


def test_every_row_reveals_the_whole_picture(world):
    make_picture(world, r"C:\pics\small.bmp", 64, 48, (RED, GREEN, BLUE, YELLOW))
    rect = expected_rect(devcaps(world), 64, 48)
    failures = rows_failing(world, [r"C:\pics\small.bmp"], 60, lambda: wait_until(
        lambda: corners_in_place(world.screenshot(), rect, (RED, GREEN, BLUE, YELLOW)), 20, interval=0.1))
    assert not failures, f"rows without the whole picture: {failures}"


def test_every_row_clears_the_previous_picture(world):
    # A large first picture, then a small second one: after the second tick, no pixel
    # of the first picture's rectangle may keep it where the second does not cover it.
    first_colour, second = (250, 250, 250), (RED, GREEN, BLUE, YELLOW)
    make_picture(world, r"C:\pics\first.bmp", 240, 180, (first_colour,) * 4)
    make_picture(world, r"C:\pics\second.bmp", 80, 60, second)
    caps = devcaps(world)
    first_rect, second_rect = expected_rect(caps, 240, 180), expected_rect(caps, 80, 60)

    def cleared(shot):
        if not corners_in_place(shot, second_rect, second):
            return False
        left, top, w, h = first_rect
        sl, st, sw, sh = second_rect
        for y in range(top, top + h):
            for x in range(left, left + w):
                if sl <= x < sl + sw and st <= y < st + sh:
                    continue
                if close_to(shot.at(x, y), first_colour, tolerance=60):
                    return False
        return True

    def first_then_cleared():
        shown = wait_until(lambda: corners_in_place(world.screenshot(), first_rect, (first_colour,) * 4), 20,
                           interval=0.1)
        return shown and wait_until(lambda: cleared(world.screenshot()), 15, interval=0.1)

    failures = rows_failing(world, [r"C:\pics\first.bmp", r"C:\pics\second.bmp"], 3, first_then_cleared)
    assert not failures, f"rows that left the previous picture: {failures}"


def gbk(hex_text):
    return b"" if hex_text == "-" else bytes.fromhex(hex_text)


def open_settings_dialog(world, settings):
    world.remove_file(r"C:\windows\Tessaview.new")
    if settings is None:
        world.remove_file(SETTINGS)
    else:
        world.write_file(SETTINGS, settings)
    return world.start_saver("/c")


def read_dialog(world):
    facts = world.probe("dialog", "20000")
    assert facts, "no settings dialog"
    controls = {}
    for line in facts["control"]:
        ident, cls, style, text = line.split()
        controls.setdefault(int(ident), []).append((cls, int(style, 16), gbk(text).decode("gbk")))
    items = [gbk(v.split()[1]).decode("gbk") for v in facts.get("item", [])]
    # Without a window manager, keys go to the window under the pointer.
    left, top, width, height = (int(v) for v in facts["rect"].split())
    world.xdotool("mousemove", str(left + width // 2), str(top + height // 2))
    checked = {int(v.split()[0]): int(v.split()[1]) for v in facts.get("checked", [])}
    return gbk(facts["title"]).decode("gbk"), controls, items, int(facts["selection"]), checked


def test_settings_dialog_shows_and_saves(world):
    settings = b"C:\\pics\\list.txt\r\n9\r\n-10\r\n1"
    dialog = open_settings_dialog(world, settings)
    try:
        title, controls, items, selection, checked = read_dialog(world)
        assert title.startswith("Vellora 屏保设置  ---  "), title
        names = ["随机", "无", "图像扩大", "向下扫描", "向上扫描", "向右扫描", "向左扫描", "水平平分", "垂直平分", "马赛克",
                 "向下移动", "向上移动", "向右移动", "向左移动", "水平交叉", "垂直交叉", "水平百叶窗", "垂直百叶窗",
                 "水平栅条", "垂直栅条"]
        assert items == names, items
        assert selection == 9, selection
        assert checked.get(1004) == 1, checked
        texts = {ident: [t for _, _, t in v] for ident, v in controls.items()}
        assert texts[1] == ["确定"] and texts[2] == ["取消"], texts
        assert texts[1001] == ["C:\\pics\\list.txt"] and texts[1002] == ["-10"], texts
        assert texts[1004] == ["随机选择显示图像"], texts
        assert {"图像文件列表:", "图像停留时间:", "秒", "图像显示特技:"} <= set(texts.get(-1, [])), texts
        world.xdotool("key", "Return")
        assert wait_exit(dialog) == 1, "Enter did not end the dialog with 1"
        saved = open(world.host_path(SETTINGS), "rb").read()
        assert saved == settings, saved
    finally:
        kill(dialog)


def test_settings_dialog_cancel_and_close_box_change_nothing(world):
    settings = b"C:\\pics\\list.txt\n25\n5\n0"
    for name, action in [("Esc", lambda: world.xdotool("key", "Escape")),
                         ("close box", lambda: world.probe("close-box"))]:
        dialog = open_settings_dialog(world, settings)
        try:
            _, _, _, selection, _ = read_dialog(world)
            assert selection == -1, f"row 25 selected item {selection}"
            action()
            assert wait_exit(dialog) == 0, f"{name} did not end the dialog with 0"
            assert open(world.host_path(SETTINGS), "rb").read() == settings, f"{name} changed the file"
        finally:
            kill(dialog)


def test_settings_dialog_without_a_settings_file(world):
    dialog = open_settings_dialog(world, None)
    try:
        assert wait_exit(dialog) == 0
        assert world.probe("wait-box", "0") is None, "something was shown"
        assert not os.path.exists(world.host_path(SETTINGS)), "a settings file was written"
    finally:
        kill(dialog)


def test_settings_dialog_reports_a_failed_save(world):
    settings = b"C:\\pics\\list.txt\r\n2\r\n5\r\n0"
    dialog = open_settings_dialog(world, settings)
    # A folder where the new file would be written makes the save fail.
    os.makedirs(world.host_path(r"C:\windows\Tessaview.new"))
    try:
        read_dialog(world)
        world.xdotool("key", "Return")
        box = wait_until(lambda: (lambda b: b if b and b.get("caption") == "ERROR".encode().hex().upper() else None)(
            world.probe("wait-box", "1000")), 20)
        assert box, "no error box"
        assert gbk(box["text"]).decode("gbk") == "不能保存配置！", box["text"]
        world.probe("press-box")
        assert wait_exit(dialog) == 1, "the dialog did not end with 1"
        assert open(world.host_path(SETTINGS), "rb").read() == settings, "the old file changed"
    finally:
        kill(dialog)
        os.rmdir(world.host_path(r"C:\windows\Tessaview.new"))


STANDIN_LOG, STANDIN_ANSWER = r"C:\standin\log.txt", r"C:\standin\answer.txt"


def standin_log(world):
    path = world.host_path(STANDIN_LOG)
    return open(path).read().split("\n")[:-1] if os.path.exists(path) else []


def set_password_switch(world, on):
    key = r"HKCU\Control Panel\Desktop"
    if on:
        world.run(["wine", "reg", "add", key, "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d", "1", "/f"])
    else:
        world.run(["wine", "reg", "delete", key, "/v", "ScreenSaveUsePassword", "/f"])


def start_windows98_show(world, answer):
    world.remove_file(STANDIN_LOG)
    world.write_file(STANDIN_ANSWER, answer)
    return start_show(world, program="vellora98.scr")


def test_windows98_password_prompt_before_closing(world):
    set_password_switch(world, True)
    saver = start_windows98_show(world, b"0")
    try:
        world.xdotool("key", "--delay", "20", "a", "b")  # the second key comes within 200 ms
        assert wait_until(lambda: standin_log(world), 10), "the password check was not asked"
        assert wait_exit(saver, timeout=1.5) is None, "a wrong password ended the show"
        verifies = [line for line in standin_log(world) if line.startswith("verify")]
        assert len(verifies) == 1, f"the key within 200 ms asked again: {verifies}"
        world.write_file(STANDIN_ANSWER, b"1")
        world.xdotool("key", "c")
        assert wait_exit(saver) == 0, "the right password did not end the show with 0"
        log = standin_log(world)
        assert len([line for line in log if line.startswith("verify")]) == 2, log
        assert "unload by free" in log, f"the password module was not released: {log}"
    finally:
        kill(saver)
        set_password_switch(world, False)


def test_windows98_without_the_switch_the_first_key_closes(world):
    set_password_switch(world, False)
    saver = start_windows98_show(world, b"0")
    try:
        world.xdotool("key", "a")
        assert wait_exit(saver) == 0, "the first key did not end the show"
        assert not [line for line in standin_log(world) if line.startswith("verify")], standin_log(world)
    finally:
        kill(saver)


def test_windows98_change_password(world):
    world.remove_file(STANDIN_LOG)
    owner = world.probe("desktop")["hwnd"]
    env = dict(world.env, WINEDLLOVERRIDES=world.env["WINEDLLOVERRIDES"] + ";mpr=n,b")
    saver = world.start_saver("/a", owner, program="vellora98.scr", env=env)
    try:
        assert wait_exit(saver) == 0, "the change-password mode did not end with 0"
        log = standin_log(world)
        assert log, "PwdChangePasswordA was not called"
        call = log[0].split()
        assert call[:4] == ["change", "SCRSAVE", owner, "0"] and call[4].strip("0") in ("", "(nil)"), log
    finally:
        kill(saver)


def all_tests():
    """The tests of this file, then those of every e2e_*.py beside it (which import
    their helpers from this one), in file order."""
    tests = [v for k, v in list(globals().items()) if k.startswith("test_")]
    here = os.path.dirname(os.path.abspath(__file__))
    for name in sorted(f[:-3] for f in os.listdir(here) if f.startswith("e2e_") and f.endswith(".py")):
        module = importlib.import_module(name)
        tests += [v for k, v in vars(module).items() if k.startswith("test_")]
    return tests


def main():
    build = sys.argv[1]
    wanted = set(sys.argv[2:])
    world = WineWorld(build)
    passed = failed = 0
    try:
        world.start()
        for test in all_tests():
            if wanted and test.__name__ not in wanted:
                continue
            started = time.monotonic()
            try:
                test(world)
                passed += 1
                print(f"PASS {test.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
            except Exception:
                failed += 1
                print(f"FAIL {test.__name__}", flush=True)
                traceback.print_exc()
    finally:
        world.stop()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
