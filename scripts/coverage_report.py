#!/usr/bin/env python3
"""Merges gcov's per-line counts of every object file and prints the line
coverage of the program's own sources. Usage: coverage_report.py BUILD FLOOR"""
import glob
import gzip
import json
import os
import subprocess
import sys

# The program's libraries, one a folder, as CMakeLists.txt builds them.
FOLDERS = ("exact", "files", "core", "tmap", "midi", "picture", "formats", "audio", "listen", "terminal",
           "locate",
           "classic", "fit", "console", "app")

build, floor = sys.argv[1], float(sys.argv[2])
root = os.getcwd()
hit = {}  # source -> {line: executed?}
for gcda in glob.glob(os.path.join(os.path.abspath(build), "**", "*.gcda"), recursive=True):
    folder = os.path.dirname(gcda)
    subprocess.run(["gcov", "--json-format", "-o", folder, gcda], cwd=folder,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
for report in glob.glob(os.path.join(build, "**", "*.gcov.json.gz"), recursive=True):
    with gzip.open(report) as f:
        data = json.load(f)
    for entry in data["files"]:
        path = os.path.normpath(os.path.join(data.get("current_working_directory", ""),
                                             entry["file"]))
        relative = os.path.relpath(path, root)
        if not relative.startswith(tuple(folder + "/" for folder in FOLDERS)):
            continue
        lines = hit.setdefault(relative, {})
        for line in entry["lines"]:
            lines[line["line_number"]] = lines.get(line["line_number"], False) or line["count"] > 0
    os.remove(report)

total = covered = 0
for source in sorted(hit):
    lines = hit[source]
    done = sum(lines.values())
    total += len(lines)
    covered += done
    print(f"{source:34} {done:4}/{len(lines):4}  {100.0 * done / max(len(lines), 1):6.1f}%")
percent = 100.0 * covered / max(total, 1)
print(f"{'line coverage of the libraries':34} {covered:4}/{total:4}  {percent:6.1f}%")
if percent < floor:
    print(f"coverage below {floor}%", file=sys.stderr)
    sys.exit(1)
