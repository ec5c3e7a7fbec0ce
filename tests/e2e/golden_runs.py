#!/usr/bin/env python3
"""Pins every byte of a broad table of whole runs: for each run, the exit
status and a digest of standard output, standard error and every file the run
leaves in its folder. The table of digests (golden_runs.txt) was recorded from
the program and is compared run by run; a moved or rewritten piece of code
that changes any byte of any run fails here.

Usage: golden_runs.py BEATMARKS EXAMPLES [--update]
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "golden_runs.txt")

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


def prepare(folder, examples):
    # The examples go into the run's folder, named relatively, so that no
    # byte of any output depends on where the checkout is.
    shutil.copytree(examples, os.path.join(folder, "ex"))
    for name, text in MAPS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text.encode("latin-1") if "\xef" in text else text.encode())
    # A recording to mark: one second of silence, 8-bit mono at 8000 Hz.
    data = bytes(8000)
    fmt = (1).to_bytes(2, "little") + (1).to_bytes(2, "little") + (8000).to_bytes(4, "little") \
        + (8000).to_bytes(4, "little") + (1).to_bytes(2, "little") + (8).to_bytes(2, "little")
    body = b"WAVE" + b"fmt " + len(fmt).to_bytes(4, "little") + fmt \
        + b"data" + len(data).to_bytes(4, "little") + data
    with open(os.path.join(folder, "c0.wav"), "wb") as f:
        f.write(b"RIFF" + len(body).to_bytes(4, "little") + body)


def digest(data):
    return hashlib.sha256(data).hexdigest()[:16]


def one_run(binary, examples, args, stdin):
    folder = tempfile.mkdtemp(prefix="golden-")
    try:
        prepare(folder, examples)
        before = set(os.listdir(folder))
        args = [a.replace("{ex}", "ex") for a in args]
        done = subprocess.run([binary] + args, input=stdin.encode(), cwd=folder,
                              capture_output=True, timeout=60)
        files = []
        for name in sorted(os.listdir(folder)):
            if (name not in before or name == "c0.wav") and name != "ex":
                with open(os.path.join(folder, name), "rb") as f:
                    files.append(f"{name}={digest(f.read())}")
        err = done.stderr.replace(examples.encode(), b"{ex}")
        out = done.stdout.replace(examples.encode(), b"{ex}")
        return f"{done.returncode} out={digest(out)} err={digest(err)} " + " ".join(files)
    finally:
        shutil.rmtree(folder)


def main():
    binary, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    lines = [f"{name}: {one_run(binary, examples, args, stdin)}" for name, args, stdin in RUNS]
    if "--update" in sys.argv:
        with open(TABLE, "w") as f:
            f.write("\n".join(lines) + "\n")
        print(f"recorded {len(lines)} runs")
        return 0
    with open(TABLE) as f:
        expected = f.read().splitlines()
    wrong = [(e, g) for e, g in zip(expected, lines) if e != g]
    for e, g in wrong:
        print(f"expected {e}\n     got {g}")
    if len(expected) != len(lines):
        print(f"table has {len(expected)} runs, the script {len(lines)}")
        return 1
    print(f"{len(lines) - len(wrong)} passed, {len(wrong)} failed")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
