#!/usr/bin/env python3
"""Pins every byte of a broad table of whole runs: for each run, the exit
status, standard output, standard error and every file the run makes or
changes in its folder. Short text is stored as text, so that a failure shows
a diff; longer or binary output is stored as its size and a digest. The table
(golden_runs.txt) was recorded from the program and is compared run by run; a
moved or rewritten piece of code that changes any byte of any run fails here.

Usage: golden_runs.py BEATMARKS EXAMPLES [--update]
"""
import difflib
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "golden_runs.txt")
# Output up to this size, UTF-8 without NUL bytes, is stored as text.
TEXT_LIMIT = 2048

MAPS = {
    "help.tmap": "tmap\t144.6\t4\t32\ntmap\t152\t3\t16\n",
    "mid.tmap": "tmap\t100\t3\t2\ntmap\t90\t4\t0\ntmap\t60\t2\t3\n",
    "odd.tmap": "title\r\ntmap\t97.3333\t4\t3\r\nrate\t48000\r\ndiv\t3\r\nstop\t2\r\n",
    "zero.tmap": "tmap\t120\t4\t2\ntmap\t0\t4\t2\n",
    "nobeats.tmap": "tmap\t120\t0\t2\n",
    "empty.tmap": "",
    "notes.tmap": "no sections here\n",
    "huge.tmap": "tmap\t120\t4\t2147483647\ntmap\t60\t3\t2147483647\n",
    "bom.tmap": "\xef\xbb\xbftmap\t1e-3\t2\t1\nstart\t1\nstop\t1\n",
}

# (name, arguments, standard input). {ex} is the examples folder.
RUNS = []


def run(name, args, stdin=""):
    RUNS.append((name, args, stdin))


for map_name in ["help.tmap", "mid.tmap", "odd.tmap", "{ex}/song.tmap", "{ex}/waltz.tmap"]:
    short = os.path.basename(map_name)
    run(f"classic {short}", [map_name, "out.txt"])
    run(f"classic {short} 48000 2 3 2", [map_name, "out.txt", "48000", "2", "3", "2"])
    for fmt in ["labels", "csv", "json", "svg", "list"]:
        run(f"{fmt} {short}", ["-f", fmt, map_name, "out"])
        run(f"{fmt} {short} stdout", ["-f", fmt, "-d", "3", "-s", "2", "-e", "3", map_name, "-"])
    run(f"exact {short}", ["--exact", "--offset=0.1", map_name, "-"])
    run(f"wav {short}", ["-f", "wav", "-e", "2", map_name, "click.wav"])
for map_name in ["zero.tmap", "nobeats.tmap", "empty.tmap", "notes.tmap", "bom.tmap", "missing.tmap"]:
    run(f"classic {map_name}", [map_name, "out.txt"])
    run(f"csv {map_name}", ["-f", "csv", map_name, "-"])
    run(f"menu {map_name}", [map_name], "p\nq\n")
run("huge last measure", ["huge.tmap", "-", "44100", "4294967294", "4294967294"])
run("huge csv last", ["-f", "csv", "-s", "2147483647", "-e", "2147483647", "huge.tmap", "-"])
for beat in ["denominator", "quarter", "click"]:
    for fmt in ["list", "csv", "json", "labels", "svg"]:
        run(f"midi {beat} {fmt}", ["--beat=" + beat, "-f", fmt, "{ex}/ramp-and-6-8.mid", "-"])
run("midi classic args", ["{ex}/ramp-and-6-8.mid", "out.txt", "48000", "2", "4"])
run("midi wav", ["-f", "wav", "{ex}/ramp-and-6-8.mid", "c.wav"])
run("midi menu", ["{ex}/ramp-and-6-8.mid"], "p\nq\n")
run("menu tour", [], "d 2 o 3 p r 0x7d00 t 97.5 b 3 p l h w list.txt a list.txt i 5 p q\n")
run("menu map", [], "m help.tmap p w out.txt q\n")
run("menu bad", [], "d 0 b -1 t abc o 2 p z q\n")
run("menu end", [], "m")
run("into", ["--into=c0.wav", "-e", "1", "help.tmap", "marked.wav"])
run("usage unknown", ["--frobnicate", "a", "b"])
run("usage offset", ["--offset=-1", "help.tmap", "-"])
run("usage missing", ["-f", "csv", "help.tmap"])
run("help", ["--help"])
run("version", ["--version"])
run("long name", ["x" * 130, "out.txt"])
run("rate zero exact", ["-f", "csv", "help.tmap", "-", "0"])
run("one arg", ["help.tmap"], "o 2 p q\n")
run("dash dash", ["--", "help.tmap", "out.txt"])
for map_name in ["help.tmap", "{ex}/song.tmap", "{ex}/ramp-and-6-8.mid"]:
    short = os.path.basename(map_name)
    run(f"midi export {short}", ["-f", "midi", map_name, "out.mid"])
    run(f"summary {short}", ["-f", "summary", "--first-measure=0", map_name, "-"])
run("midi export offset range", ["-f", "midi", "--offset=2.5", "-s", "2", "-e", "9", "{ex}/song.tmap", "o.mid"])


def le(number, size=4):
    return number.to_bytes(size, "little")


def chunk(tag, body):
    return tag + le(len(body)) + body + bytes(len(body) % 2)


def wav(frames, chunks=b""):
    """A WAV file of silence, 8-bit mono at 8000 Hz, with more chunks after its data."""
    fmt = le(1, 2) + le(1, 2) + le(8000) + le(8000) + le(1, 2) + le(8, 2)
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"data", bytes(frames)) + chunks
    return b"RIFF" + le(len(body)) + body


def prepare(folder, examples):
    # The examples go into the run's folder, named relatively, so that no
    # byte of any output depends on where the checkout is.
    shutil.copytree(examples, os.path.join(folder, "ex"))
    for name, text in MAPS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text.encode("latin-1") if "\xef" in text else text.encode())
    # A recording to mark: one second of silence.
    with open(os.path.join(folder, "c0.wav"), "wb") as f:
        f.write(wav(8000))


def snapshot(folder):
    """Every file under the folder by its relative name, with its content."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def escape(line):
    """A line of text as one line of the table: backslashes, CRs and other
    control characters but tabs escaped."""
    line = line.replace("\\", "\\\\").replace("\r", "\\r")
    return re.sub(r"[\x00-\x08\x0b-\x1f\x7f]", lambda m: f"\\x{ord(m.group()):02x}", line)


def as_text(data):
    if len(data) > TEXT_LIMIT or b"\0" in data:
        return None
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return None


def stream(label, data):
    """The table's lines for one output: its text, or its size and digest."""
    text = as_text(data)
    if text is None:
        return [f"{label}: {len(data)} bytes, sha256 {hashlib.sha256(data).hexdigest()[:16]}"]
    lines = text.split("\n")
    note = " empty" if not text else "" if lines[-1] == "" else " no newline at end"
    if lines[-1] == "":
        lines.pop()
    return [f"{label}:{note}"] + ["| " + escape(line) if line else "|" for line in lines]


def one_run(binary, examples, args, stdin):
    """The table's lines for one run."""
    folder = tempfile.mkdtemp(prefix="golden-")
    try:
        prepare(folder, examples)
        before = snapshot(folder)
        args = [a.replace("{ex}", "ex") for a in args]
        done = subprocess.run([binary] + args, input=stdin.encode(), cwd=folder,
                              capture_output=True, timeout=60)
        after = snapshot(folder)
        lines = [f"status: {done.returncode}"]
        for label, data in [("stdout", done.stdout), ("stderr", done.stderr)]:
            data = data.replace(folder.encode(), b"{run}").replace(examples.encode(), b"{ex}")
            lines += stream(label, data)
        for name in sorted(after):
            if before.get(name) != after[name]:
                lines += stream(f"file {name}", after[name])
        lines += [f"file {name}: removed" for name in sorted(set(before) - set(after))]
        return lines
    finally:
        shutil.rmtree(folder)


def read_table():
    """The recorded runs: name and lines, in the table's order."""
    runs, name = {}, None
    with open(TABLE, encoding="utf-8", newline="") as f:
        for line in f.read().split("\n"):
            if line.startswith("=== "):
                name = line[4:]
                runs[name] = []
            elif line:
                runs[name].append(line)
    return runs


def sections(lines):
    """A run's lines by output: status, stdout, stderr, file NAME."""
    parts = {}
    for line in lines:
        if not line.startswith("|"):
            key = line.rpartition(":")[0]
            parts[key] = []
        parts[key].append(line)
    return parts


def report(name, expected, got):
    """A unified diff of every output of the run that differs."""
    want, have = sections(expected), sections(got)
    for key in list(have) + [k for k in want if k not in have]:
        if want.get(key) != have.get(key):
            sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(
                want.get(key, []), have.get(key, []), f"{name}: {key} (recorded)",
                f"{name}: {key} (now)", lineterm=""))


def check(got):
    """Compares the runs with the table; prints what differs. True when all match."""
    expected = read_table()
    wrong = [name for name in got if name in expected and expected[name] != got[name]]
    for name in wrong:
        report(name, expected[name], got[name])
    missing = [name for name in got if name not in expected]
    stale = [name for name in expected if name not in got]
    for name in missing:
        print(f"{name}: not in the table (record it with --update)")
    for name in stale:
        print(f"{name}: in the table but no longer run")
    print(f"{len(got) - len(wrong) - len(missing)} passed, {len(wrong)} failed, "
          f"{len(missing)} not recorded, {len(stale)} recorded but not run")
    return not (wrong or missing or stale)


def main():
    binary, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    names = [name for name, _, _ in RUNS]
    assert len(set(names)) == len(names), "two runs have one name"
    got = {name: one_run(binary, examples, args, stdin) for name, args, stdin in RUNS}
    if "--update" not in sys.argv:
        return 0 if check(got) else 1
    with open(TABLE, "w", encoding="utf-8", newline="") as f:
        f.write("\n".join(f"=== {name}\n" + "\n".join(lines) + "\n" for name, lines in got.items()))
    print(f"recorded {len(got)} runs")
    return 0


if __name__ == "__main__":
    sys.exit(main())
