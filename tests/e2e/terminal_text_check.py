#!/usr/bin/env python3
"""Text that reaches a terminal, checked against Python's Unicode database.

Every code point is shown in a section name of the summary, a few thousand a
section, and each name's columns, read off the padding after it, must be the
sum of the widths scripts/make-width-table.py gives its code points (when
this Python's Unicode is the table's; else only the names of the issue that
asked for it). Control characters, escape sequences and stray bytes in names
and in lines of TIMES never reach the terminal.
Usage: terminal_text_check.py BEATMARKS
"""
import re
import runpy
import subprocess
import sys
import tempfile
import types
import unicodedata
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
# The width table's own script, loaded as a module (its name has hyphens).
widths = types.SimpleNamespace(**runpy.run_path(str(ROOT / "scripts" / "make-width-table.py")))

CONTROLS = [c for c in range(0x20) if c not in (0x0, 0x9, 0xA, 0xD)] + list(range(0x7F, 0xA0))


def run(binary, folder, args, messages=False):
    """What the run writes on standard output, or with `messages` on standard error."""
    done = subprocess.run([binary, *args], cwd=folder, capture_output=True, check=False, timeout=600)
    assert done.returncode in (0, 1), f"{args}: status {done.returncode}: {done.stderr!r}"
    return done.stderr if messages else done.stdout


def name_widths(binary, folder, names):
    """The columns the summary gives each name, from the spaces after it."""
    Path(folder, "names.tmap").write_bytes(b"".join(n + b"\ttmap\t120\t1\t1\n" for n in names))
    lines = run(binary, folder, ["-f", "summary", "names.tmap", "-"]).split(b"\n")
    header = re.match(rb"Section( *)First", lines[0])
    column = len(header.group(1)) + len("Section")  # the names' column and the two spaces after it
    found = []
    for name, line in zip(names, lines[1:]):
        assert line.startswith(name), f"a name changed: {name[:40]!r}"
        spaces = len(line[len(name):]) - len(line[len(name):].lstrip(b" "))
        first = re.match(rb" *(\d+)", line[len(name):]).group(1)
        found.append(column + len("First") - len(first) - spaces)
    return found


def check_widths(binary, folder):
    table = (ROOT / "core" / "terminal_widths.inc").read_text().split("Unicode ")[1].split(";")[0]
    if table == unicodedata.unidata_version:
        codes = [c for c in range(0xA0, 0x110000) if not 0xD800 <= c <= 0xDFFF]
        size = len(codes) // 500 + 1
        chunks = [codes[i:i + size] for i in range(0, len(codes), size)]
    else:
        print(f"Unicode {unicodedata.unidata_version} here, {table} in the table: the issue's names only")
        chunks = []
    chunks += [[ord(c) for c in text] for text in ("前奏", "Cafe\u0301", "\U0001F3B8 Solo", "ｱﾝｻﾝﾌﾞﾙ", "Ｆｕｌｌ")]
    names = [("x" + "".join(map(chr, chunk))).encode() for chunk in chunks]
    for chunk, got in zip(chunks, name_widths(binary, folder, names)):
        want = 1 + sum(widths.width(c) for c in chunk)
        assert got == want, f"{got} columns, not {want}, for U+{chunk[0]:04X}..U+{chunk[-1]:04X}"
    return len(chunks)


def check_controls(binary, folder):
    """Escapes and stray bytes become U+FFFD in the summary, '?' in messages."""
    names = [b"Red \x1b[31mALARM\x1b[0m\x07", "".join(map(chr, CONTROLS)).encode(), b"Caf\xe9 \xff\xfe \x80 \xc0"]
    Path(folder, "names.tmap").write_bytes(b"".join(n + b"\ttmap\t120\t1\t1\n" for n in names))
    out = run(binary, folder, ["-f", "summary", "names.tmap", "-"]).decode("utf-8")  # well-formed
    shown = [n.decode("utf-8", "replace") for n in names]
    shown = ["".join("\ufffd" if ord(c) in CONTROLS else c for c in s) for s in shown]
    for line, name in zip(out.split("\n")[1:], shown):
        assert line.startswith(name), f"{line!r} for {name!r}"
    assert not any(ord(c) in CONTROLS for c in out.replace("\n", "")), f"a control reached the summary: {out!r}"
    Path(folder, "map.tmap").write_text("tmap\t120\t4\t2\n")
    for times in ("0.5\n".encode("utf-16"), b"1\n\x1b]0;title\x07\n", b"2\n\x9b31m \xc2\x9b\n"):
        Path(folder, "times").write_bytes(times)
        message = run(binary, folder, ["-f", "csv", "--locate=times", "map.tmap", "out.csv"], messages=True)
        assert re.fullmatch(rb"[\x20-\x7e\n]*", message), f"raw bytes in {message!r}"
        assert b"' is not a time" in message, message


def main():
    binary = str(Path(sys.argv[1]).resolve())
    with tempfile.TemporaryDirectory() as folder:
        names = check_widths(binary, folder)
        check_controls(binary, folder)
    print(f"{names} names line up by terminal columns; no control or stray byte reached the terminal")


if __name__ == "__main__":
    main()
