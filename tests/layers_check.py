#!/usr/bin/env python3
"""Keeps the libraries one-way. Each folder is a library with a rank; a file
may include headers of its own folder and of folders of lower rank only, and
a folder's CMakeLists.txt may link only libraries of lower rank. Folders of
one rank do not use each other.

Usage: layers_check.py ROOT           check the tree
       layers_check.py ROOT --selftest  also show that an upward include and
                                        an upward link are caught
"""
import os
import re
import sys

# The architecture, bottom up (docs/architecture.md draws it).
RANKS = {
    "exact": 0, "files": 0,
    "core": 1,
    "tmap": 2, "midi": 2, "picture": 2, "formats": 2, "audio": 2, "listen": 2, "terminal": 2,
    "locate": 2,
    "classic": 3,
    "fit": 3,
    "console": 4,
    "app": 5,
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/[^"]+"', re.M)
LINK = re.compile(r"target_link_libraries\(\s*beatmarks_(\w+)([^)]*)\)", re.S)


def allowed(user, used):
    return used == user or (used in RANKS and RANKS[used] < RANKS[user])


def include_problems(folder, name, text):
    return [f"{folder}/{name}: includes {used}/ (rank {RANKS.get(used, '?')}, "
            f"above or beside {folder}/, rank {RANKS[folder]})"
            for used in INCLUDE.findall(text) if not allowed(folder, used)]


def link_problems(folder, text):
    problems = []
    for user, linked in LINK.findall(text):
        for used in re.findall(r"beatmarks_(\w+)", linked):
            if user != folder or not allowed(folder, used):
                problems.append(f"{folder}/CMakeLists.txt: beatmarks_{user} links beatmarks_{used}")
    return problems


def check(root, extra=None):
    """All problems of the tree; `extra` adds (folder, file name, text) as if
    it were in the tree."""
    problems = []
    for folder in RANKS:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            problems.append(f"{folder}/: missing")
            continue
        for name in sorted(os.listdir(path)):
            with open(os.path.join(path, name), encoding="utf-8") as f:
                text = f.read()
            if name == "CMakeLists.txt":
                problems += link_problems(folder, text)
            elif name.endswith((".h", ".cpp")):
                problems += include_problems(folder, name, text)
    for folder, name, text in extra or []:
        problems += (link_problems(folder, text) if name == "CMakeLists.txt"
                     else include_problems(folder, name, text))
    return problems


OWN_INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/(\w+)\.h"', re.M)


def file_cycle(root, folder, extra=None):
    """A loop among the files of one folder (a file and its header are one
    unit: a.cpp or a.h including b.h is a use of b), as a list, or None."""
    uses = {}
    path = os.path.join(root, folder)
    texts = [(n, open(os.path.join(path, n), encoding="utf-8").read())
             for n in sorted(os.listdir(path)) if n.endswith((".h", ".cpp"))]
    for name, text in texts + (extra or []):
        unit = os.path.splitext(name)[0]
        used = {b for a, b in OWN_INCLUDE.findall(text) if a == folder and b != unit}
        uses.setdefault(unit, set()).update(used)
    state = {}

    def visit(unit, trail):
        state[unit] = "open"
        for used in sorted(uses.get(unit, ())):
            if state.get(used) == "open":
                return trail[trail.index(used):] + [used] if used in trail else [unit, used]
            if used not in state:
                found = visit(used, trail + [used])
                if found:
                    return found
        state[unit] = "done"
        return None

    for unit in sorted(uses):
        if unit not in state:
            found = visit(unit, [unit])
            if found:
                return found
    return None


def selftest(root):
    """An upward include and an upward link must each be reported."""
    upward = [("core", "bad.cpp", '#include "console/command_loop.h"\n'),
              ("formats", "bad.h", '#include "audio/beat_marks.h"\n'),
              ("exact", "CMakeLists.txt", "target_link_libraries(beatmarks_exact PUBLIC beatmarks_core)")]
    for case in upward:
        if len(check(root, [case])) != len(check(root)) + 1:
            print(f"selftest: {case[0]}/{case[1]} was not caught")
            return False
    if file_cycle(root, "app", [("options.cpp", '#include "app/run.h"\n')]) is None:
        print("selftest: a loop in app/ (run -> options -> run) was not caught")
        return False
    return True


def main():
    root = sys.argv[1]
    problems = check(root)
    loop = file_cycle(root, "app")
    if loop:
        problems.append("app/: a loop of uses: " + " -> ".join(loop))
    for problem in problems:
        print(problem)
    if "--selftest" in sys.argv and not selftest(root):
        return 1
    print(f"layers: {len(RANKS)} libraries, {len(problems)} upward uses")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
