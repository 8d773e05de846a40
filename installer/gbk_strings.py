#!/usr/bin/env python3
"""Writes the installer's Simplified Chinese strings as an NSIS include.

usage: gbk_strings.py GBK_TEXT_H OUTPUT_NSH

The texts live once, as GBK bytes, in the installer block of gbk_text.h; each
becomes `LangString NAME ${LANG_SIMPCHINESE} "..."` in UTF-8, which makensis
turns into UTF-16 for the Unicode installer and back into code page 936 for the
ANSI one. A text whose bytes do not
decode to the UTF-8 comment beside it stops the build."""
import re
import sys

ENTRY = re.compile(r'inline constexpr const char\*\s+(\w+)\s*=\s*((?:"(?:[^"\\]|\\.)*"\s*)+);\s*//\s*(.+)')


def c_string_bytes(literals):
    out = bytearray()
    for literal in re.findall(r'"((?:[^"\\]|\\.)*)"', literals):
        i = 0
        while i < len(literal):
            if literal[i] == "\\":
                if literal[i + 1] == "x":
                    digits = re.match(r"[0-9A-Fa-f]+", literal[i + 2:]).group(0)
                    out.append(int(digits, 16))
                    i += 2 + len(digits)
                    continue
                out += {"n": b"\n", "r": b"\r", "t": b"\t", "\\": b"\\", '"': b'"'}[literal[i + 1]]
                i += 2
                continue
            out += literal[i].encode("ascii")
            i += 1
    return bytes(out)


def nsis_quote(text):
    return text.replace("$", "$$").replace('"', '$\\"')


def main():
    source, target = sys.argv[1], sys.argv[2]
    text = open(source, encoding="utf-8").read()
    block = re.search(r"namespace installer \{(.*?)\}  // namespace installer", text, re.S)
    if not block:
        sys.exit(f"{source}: no installer block")
    lines = ["; Generated from resources/gbk_text.h by installer/gbk_strings.py; do not edit."]
    for name, literals, comment in ENTRY.findall(re.sub(r"\n\s+", " ", block.group(1))):
        chinese = c_string_bytes(literals).decode("gbk")
        if chinese != comment.strip():
            sys.exit(f"{source}: {name} is {chinese!r} in GBK but {comment.strip()!r} in its comment")
        lines.append(f'LangString {name} ${{LANG_SIMPCHINESE}} "{nsis_quote(chinese)}"')
    if len(lines) == 1:
        sys.exit(f"{source}: the installer block has no texts")
    with open(target, "w", encoding="utf-8-sig", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
