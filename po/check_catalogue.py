#!/usr/bin/env python3
"""Checks the catalogues against the template the build made from the sources.

usage: check_catalogue.py PO_FOLDER BUILD_FOLDER

For every language in PO_FOLDER/LINGUAS: msgfmt --check accepts its catalogue and
counts every text translated (none fuzzy, none untranslated); it holds exactly the
template's texts (none missing, none left over); the hack description made for it
names each transition with its row, and for zh_CN with the GBK name of that row
(resources/gbk_text.h); the desktop files carry its names. Prints one line per
check and `N passed, N failed`."""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "installer"))
from gbk_strings import c_string_bytes  # noqa: E402


def entries(path):
    """msgid -> (msgstr, flags) of a PO file, the header left out."""
    text = open(path, encoding="utf-8").read()
    found = {}
    for block in re.split(r"\n\s*\n", text):
        if re.search(r"^#~", block, re.M):
            found.setdefault("#~obsolete", []).append(block)
            continue
        msgid = re.search(r'^msgid ((?:"(?:[^"\\]|\\.)*"\s*)+)', block, re.M)
        msgstr = re.search(r'^msgstr ((?:"(?:[^"\\]|\\.)*"\s*)+)', block, re.M)
        if not msgid:
            continue
        join = lambda m: "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(1)))  # noqa: E731
        if join(msgid):
            flags = " ".join(l[2:] for l in block.splitlines() if l.startswith("#,"))
            found[join(msgid)] = (join(msgstr) if msgstr else "", flags)
    return found


def gbk_effect_names():
    source = open(os.path.join(ROOT, "resources", "gbk_text.h"), encoding="utf-8").read()
    block = re.search(r"effectNames\[20\] = \{(.*?)\};", source, re.S).group(1)
    return [c_string_bytes(s).decode("gbk") for s in re.findall(r'"(?:[^"\\]|\\.)*"', block)]


def main():
    po, build = sys.argv[1:3]
    results = []

    def check(name, ok, detail=""):
        results.append(ok)
        print(("PASS " if ok else "FAIL ") + name + ("" if ok else ": " + detail))

    template = entries(os.path.join(build, "po", "vellora.pot"))
    template.pop("#~obsolete", None)
    languages = [l.strip() for l in open(os.path.join(po, "LINGUAS")) if l.strip() and not l.startswith("#")]
    for language in languages:
        path = os.path.join(po, f"{language}.po")
        run = subprocess.run(["msgfmt", "--check", "--statistics", "-o", os.devnull, path], capture_output=True,
                             text=True)
        counts = run.stderr.strip().splitlines()[-1] if run.stderr.strip() else ""
        check(f"{language}: msgfmt --check", run.returncode == 0, run.stderr)
        check(f"{language}: every text translated, none fuzzy",
              re.fullmatch(r"\d+ translated messages?\.", counts) is not None, counts)
        catalogue = entries(path)
        obsolete = catalogue.pop("#~obsolete", [])
        missing = sorted(set(template) - set(catalogue))
        extra = sorted(set(catalogue) - set(template))
        check(f"{language}: the template's texts, no more", not missing and not extra and not obsolete,
              f"missing {missing!r}, not in the template {extra!r}, obsolete {len(obsolete)}")
        empty = [k for k, (v, flags) in catalogue.items() if not v or "fuzzy" in flags]
        check(f"{language}: no empty or fuzzy translation", not empty, repr(empty))
        xml = open(os.path.join(build, "translated", language, "vellora.xml"), encoding="utf-8").read()
        labels = dict(re.findall(r'id="effect(\d+)" _label="([^"]*)"', xml))
        rows_ok = sorted(map(int, labels)) == list(range(20)) and all(
            labels[str(row)].startswith(f"{row} ") for row in range(20))
        if language == "zh_CN":
            rows_ok = rows_ok and all(labels[str(row)] == f"{row} {name}" for row, name in enumerate(gbk_effect_names()))
        check(f"{language}: the hack description's transitions keep their rows", rows_ok, repr(labels))
        for desktop in ("vellora-settings", "vellora-idle"):
            text = open(os.path.join(build, "translated", f"{desktop}.desktop"), encoding="utf-8").read()
            check(f"{language}: {desktop}.desktop has its names", f"Name[{language}]=" in text, text)
    english = open(os.path.join(build, "translated", "vellora.xml"), encoding="utf-8").read()
    check("the English description says 9 Mosaic", '_label="9 Mosaic"' in english)
    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
