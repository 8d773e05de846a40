#!/usr/bin/env python3
"""Reads the compiled settings dialog (template 2003) out of a .res file made by
windres and checks every field of the dialog and of each control.

usage: dialog_template_test.py WINDRES RC_FILE WORK_DIR"""
import os
import struct
import subprocess
import sys

WS_POPUP, WS_CHILD, WS_VISIBLE, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x40000000, 0x10000000, 0x00C00000, 0x00080000
WS_BORDER, WS_VSCROLL, WS_GROUP, WS_TABSTOP = 0x00800000, 0x00200000, 0x00020000, 0x00010000
DS_MODALFRAME, DS_SETFONT, DS_FIXEDSYS = 0x80, 0x40, 0x08
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX = 0, 1, 3, 7
SS_LEFT, ES_AUTOHSCROLL, ES_NUMBER, CBS_DROPDOWN = 0, 0x80, 0x2000, 2
BUTTON, EDIT, STATIC, COMBOBOX = 0x80, 0x81, 0x82, 0x85
CLASS_NAMES = {"button": BUTTON, "edit": EDIT, "static": STATIC, "combobox": COMBOBOX}
CHILD = WS_CHILD | WS_VISIBLE

CONTROLS = [  # id, class, text, style, x, y, cx, cy
    (1, BUTTON, "确定", CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON, 217, 15, 50, 14),
    (2, BUTTON, "取消", CHILD | WS_TABSTOP | BS_PUSHBUTTON, 217, 55, 50, 14),
    (0xFFFF, STATIC, "图像文件列表:", CHILD | WS_GROUP | SS_LEFT, 10, 14, 52, 9),
    (1001, EDIT, "", CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 66, 12, 136, 12),
    (0xFFFF, STATIC, "图像停留时间:", CHILD | WS_GROUP | SS_LEFT, 10, 37, 52, 10),
    (1002, EDIT, "", CHILD | WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 66, 34, 36, 13),
    (0xFFFF, STATIC, "秒", CHILD | WS_GROUP | SS_LEFT, 107, 36, 14, 10),
    (0xFFFF, STATIC, "图像显示特技:", CHILD | WS_GROUP | SS_LEFT, 10, 59, 52, 10),
    (1003, COMBOBOX, "", CHILD | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN, 66, 56, 136, 86),
    (0xFFFF, BUTTON, "", CHILD | BS_GROUPBOX, 5, 0, 208, 79),
    (1004, BUTTON, "随机选择显示图像", CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 129, 35, 78, 11),
]


class Reader:
    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self, n=4):
        self.pos = (self.pos + n - 1) // n * n

    def sz_or_ord(self):
        first = self.take("H")
        if first == 0xFFFF:
            return self.take("H")
        chars = []
        while first:
            chars.append(first)
            first = self.take("H")
        return struct.pack(f"<{len(chars)}H", *chars).decode("utf-16-le")


def resources(data):
    r = Reader(data)
    while r.pos < len(data):
        start = r.pos
        size, header = r.take("II")
        kind, name = r.sz_or_ord(), r.sz_or_ord()
        r.align()
        _, _, language, _, _ = r.take("IHHII")
        body = data[start + header:start + header + size]
        yield kind, name, language, body
        r.pos = start + header + size
        r.align()


def main():
    windres, rc, work = sys.argv[1:4]
    out = os.path.join(work, "vellora-dialog.res")
    subprocess.run([windres, "-c", "65001", "-O", "res", "-I", os.path.dirname(rc), rc, out], check=True,
                   cwd=os.path.dirname(rc))
    found = [(lang, body) for kind, name, lang, body in resources(open(out, "rb").read()) if kind == 5 and name == 2003]
    failures = []

    def expect(label, got, want):
        if got != want:
            failures.append(f"{label}: {got!r}, want {want!r}")

    expect("templates numbered 2003", len(found), 1)
    language, body = found[0]
    expect("language", language, 2052)
    r = Reader(body)
    expect("extended template", r.take("HH"), (1, 0xFFFF))
    _, ex_style, style = r.take("III")
    expect("extended style", ex_style, 0)
    expect("style", style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS)
    count = r.take("H")
    expect("position and size", r.take("hhhh"), (0, 0, 272, 84))
    expect("menu", r.sz_or_ord(), "")
    expect("class", r.sz_or_ord(), "")
    title = r.sz_or_ord()
    expect("title prefix", title[:len("Vellora 屏保设置  ---  ")], "Vellora 屏保设置  ---  ")
    expect("title address", title[len("Vellora 屏保设置  ---  "):].startswith("https://"), True)
    expect("font size, weight, italic, charset", r.take("HHBB"), (8, 400, 0, 1))
    expect("font", r.sz_or_ord(), "MS Shell Dlg")
    expect("controls", count, len(CONTROLS))
    for n, want in enumerate(CONTROLS[:count], 1):
        r.align()
        _, ex, st, x, y, cx, cy, ident = r.take("IIIhhhhI")
        cls = r.sz_or_ord()
        cls = CLASS_NAMES.get(cls.lower(), cls) if isinstance(cls, str) else cls
        text = r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        got = (ident & 0xFFFF, cls, text, st, x, y, cx, cy)
        expect(f"control {n}", got, want)
        expect(f"control {n} extended style", ex, 0)
    for f in failures:
        print("FAIL", f)
    print(f"{1 if not failures else 0} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
