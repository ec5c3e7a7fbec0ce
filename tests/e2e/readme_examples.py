#!/usr/bin/env python3
"""Every example of the README run as it is shown, its output compared byte
for byte. An example is an indented block that begins with a "$ " line: each
"$ " line is a shell command, the lines up to the next one are what it prints
on standard output and standard error together, in the order a terminal shows
them (CSV's CR LF is shown as LF), and a line "..." stands for any lines. Commands run one after another in a scratch folder holding a
copy of examples/ and scripts/, with the built program first on PATH as
`beatmarks`; each must end with status 0. A session (`$ ./build/beatmarks`,
typed words among the output) is left to the console's own tests.

Usage: readme_examples.py BEATMARKS README (or a page of docs/)
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SESSION = "./build/beatmarks"


def code_blocks(text):
    """The README's indented blocks, as lists of lines without the indent."""
    blocks, block, gap = [], [], 0
    for line in text.split("\n"):
        if line.startswith("    "):
            block += [""] * gap + [line[4:]]
            gap = 0
        elif line.strip() == "" and block:
            gap += 1
        else:
            if block:
                blocks.append(block)
            block, gap = [], 0
    return blocks + ([block] if block else [])


def examples(blocks):
    """(command, expected lines) of every block that begins with "$ "."""
    found = []
    for block in blocks:
        if not block[0].startswith("$ ") or block[0] == "$ " + SESSION:
            continue
        for line in block:
            if line.startswith("$ "):
                found.append((line[2:], []))
            else:
                found[-1][1].append(line)
    return found


def matches(want, got):
    """Whether the lines agree, "..." in `want` standing for any lines."""
    if not want:
        return not got
    if want[0] == "...":
        return any(matches(want[1:], got[i:]) for i in range(len(got) + 1))
    return bool(got) and want[0] == got[0] and matches(want[1:], got[1:])


def main():
    program, readme = Path(sys.argv[1]).resolve(), Path(sys.argv[2])
    found = examples(code_blocks(readme.read_text(encoding="utf-8")))
    assert found, "no example in the README"
    failures = []
    with tempfile.TemporaryDirectory() as d:
        folder = Path(d)
        # The checkout's top folder: the README's, or above a page of docs/.
        top = readme.parent.parent if readme.parent.name == "docs" else readme.parent
        for part in ("examples", "scripts"):
            shutil.copytree(top / part, folder / part)
        (folder / "bin").mkdir()
        (folder / "bin" / "beatmarks").symlink_to(program)
        env = dict(os.environ, PATH=f"{folder / 'bin'}:{os.environ.get('PATH', '')}", LC_ALL="C.UTF-8")
        for command, want in found:
            r = subprocess.run(["sh", "-c", command], cwd=folder, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, timeout=900)
            got = r.stdout.decode("utf-8", "replace").replace("\r\n", "\n").split("\n")
            if got and got[-1] == "":
                got.pop()
            # A block's blank lines at its end belong to the text after it.
            while want and want[-1] == "":
                want.pop()
            if r.returncode != 0 or not matches(want, got):
                failures.append(f"$ {command}\nstatus {r.returncode}\nwanted:\n" + "\n".join(want) +
                                "\ngot:\n" + "\n".join(got))
    for f in failures:
        print(f, "\n")
    print(f"README: {len(found)} example commands, {len(failures)} not as shown")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
