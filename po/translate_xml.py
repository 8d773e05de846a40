#!/usr/bin/env python3
"""Writes an xscreensaver hack description in one language.

usage: translate_xml.py TEMPLATE CATALOGUE.mo|- OUTPUT

xscreensaver reads one description per hack and passes its labels through its own
catalogue only, so each language gets a file of its own: the template's `_label`
attributes and its `_description` replaced by their translations in CATALOGUE
(compiled by msgfmt), or kept in English for `-`. The texts are looked up as
xgettext extracts them from the template with po/its/vellora-xml.its: a label as
written, the description with its white space runs made single spaces."""
import gettext
import html
import re
import sys


def main():
    template, catalogue, output = sys.argv[1:4]
    text = open(template, encoding="utf-8").read()
    if catalogue == "-":
        translate = str
    else:
        with open(catalogue, "rb") as f:
            translate = gettext.GNUTranslations(f).gettext

    def label(match):
        english = html.unescape(match.group(1))
        return '_label="%s"' % html.escape(translate(english), quote=True)

    def description(match):
        english = " ".join(html.unescape(match.group(1)).split())
        translated = translate(english)
        lines, line = [], ""
        for word in translated.split(" "):  # folded again at about 78 columns
            if line and len(line) + 1 + len(word) > 78:
                lines.append(line)
                line = word
            else:
                line = f"{line} {word}" if line else word
        lines.append(line)
        return "<_description>\n%s\n  </_description>" % html.escape("\n".join(lines), quote=False)

    text = re.sub(r'_label="([^"]*)"', label, text)
    text = re.sub(r"<_description>(.*?)</_description>", description, text, flags=re.S)
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
