#!/usr/bin/env python3
"""Writes a pseudo-translation: every text of a .ts file, accented and padded to
40 % more characters (placeholders kept), to see that the layouts hold a
translation longer than any real one.

    pseudo_translation.py SOURCE.ts OUTPUT.ts
"""
import math
import re
import sys
import xml.etree.ElementTree as ET

ACCENTED = str.maketrans("aeiouAEIOU", "àéîöûÀÉÎÖÛ")


def lengthen(text):
    parts = re.split(r"(%\d+|%n|\n)", text)  # placeholders and line breaks stay as they are
    out = "".join(p if re.fullmatch(r"%\d+|%n|\n", p) else p.translate(ACCENTED) for p in parts)
    missing = math.ceil(len(text) * 1.4) - len(text)
    # Words rather than one run of letters, so that a label may wrap them.
    padding = ("ẍẍẍẍ " * missing)[: max(missing - 1, 0)].rstrip() + "ẍ"
    return out + " " + padding if missing > 1 else out


tree = ET.parse(sys.argv[1])
root = tree.getroot()
root.set("language", "en_XA")
for message in root.iter("message"):
    translation = message.find("translation")
    translation.attrib.pop("type", None)
    text = lengthen(message.findtext("source"))
    forms = translation.findall("numerusform")  # a text with a count: each plural form
    for form in forms:
        form.text = text
    if not forms:
        translation.text = text
tree.write(sys.argv[2], encoding="utf-8", xml_declaration=True)
