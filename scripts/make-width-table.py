#!/usr/bin/env python3
"""Writes core/terminal_widths.inc, the ranges of code points a terminal
draws in no column (combining marks, zero-width format characters, the
vowels and finals of conjoining Hangul) and in two (East Asian wide and
full-width), from the Unicode database of this Python.

tests/e2e/terminal_text_check.py checks the program's widths against the
same rules. Usage: scripts/make-width-table.py   (from anywhere)
"""
import os
import sys
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


# Where code points not assigned yet are wide all the same: the ideographs' blocks.
WIDE_UNASSIGNED = [(0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0x20000, 0x2FFFD), (0x30000, 0x3FFFD)]


def width(code):
    """0, 1 or 2 columns, as wcwidth draws a printable code point."""
    char = chr(code)
    category = unicodedata.category(char)
    if code == 0xAD:  # the soft hyphen shows where a line breaks
        return 1
    if category in ("Mn", "Me", "Cf") or 0x1160 <= code <= 0x11FF or 0xD7B0 <= code <= 0xD7FF:
        return 0
    if category == "Cn":
        return 2 if any(a <= code <= b for a, b in WIDE_UNASSIGNED) else 1
    return 2 if unicodedata.east_asian_width(char) in ("W", "F") else 1


def ranges(wanted):
    found, start = [], None
    for code in range(0x110000 + 1):
        inside = code <= 0x10FFFF and not 0xD800 <= code <= 0xDFFF and width(code) == wanted
        if inside and start is None:
            start = code
        elif not inside and start is not None:
            found.append((start, code - 1))
            start = None
    return found


def table(name, found):
    cells = [f"{{0x{a:05X}, 0x{b:05X}}}" for a, b in found]
    lines = [", ".join(cells[i:i + 5]) for i in range(0, len(cells), 5)]
    return f"constexpr CodeRange {name}[] = {{\n    " + ",\n    ".join(lines) + ",\n};\n"


def main():
    text = (f"// Made by scripts/make-width-table.py from Unicode {unicodedata.unidata_version}; "
            "do not edit.\n"
            + table("kZeroWidth", ranges(0)) + table("kDoubleWidth", ranges(2)))
    with open(os.path.join(ROOT, "core", "terminal_widths.inc"), "w", encoding="ascii") as out:
        out.write(text)
    print(f"Unicode {unicodedata.unidata_version}", file=sys.stderr)


if __name__ == "__main__":
    main()
