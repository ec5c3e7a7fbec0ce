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
    "späte Probe.v2.tmap": "tmap\t120\t4\t1\n",
    "fast.tmap": "tmap\t360\t4\t2\n",
}

# Beat times of a performance (--fit) and times of a recording (--locate).
LISTS = {
    "pickup.txt": "".join(f"{t}\t{t}\t{p}\n" for t, p in zip(
        ["0.3", "0.8", "1.3", "1.8", "2.3", "2.8", "3.3", "3.9"],
        ["0.3", "0.4", "1.1", "1.2", "1.3", "1.4", "2.1", "2.2"])),
    "waltz.txt": "".join(f"{t}\t{t}\t{p}\n" for t, p in zip(
        ["1", "1.33", "1.67", "2.01", "2.36", "2.7", "3.1", "3.45"],
        ["1.1", "1.2", "1.3", "2.1", "2.2", "2.3", "3.1", "3.2"])),
    "beats.csv": "n,time,comment\r\n1,0.5,x\r\n2,1.02,\r\n3,1.51,\"a, b\"\r\n4,2.0,\r\n5,2.55,\r\n6,3.01,\r\n",
    "placed.csv": "time,measure,beat\n0.6,0,3\n1.1,1,1\n1.62,1,2\n2.1,1,3\n2.6,2,1\n3.05,2,2\n3.6,2,3\n4.1,3,1\n",
    "down.txt": "0.5\n1.0\n0.9\n",
    # A double tap at 2.9 s: one beat of 1500 bpm among beats of about 100.
    "spike.txt": "".join(f"{t}\n" for t in [0.5, 1.1, 1.7, 2.3, 2.9, 2.94] +
                         [round(3.5 + 0.6 * k - 0.002 * k * k, 3) for k in range(30)]),
    "same.txt": "0.5\n0.5\n1.0\n",
    "word.txt": "0.5\nabc\n1.5\n",
    "one.txt": "0.5\n",
    "negative.txt": "-0.5\n0\n0.5\n",
    "digits.txt": "99999999999999999999999\n999999999999999999999999\n",
    "gap.txt": "1\t1\t1.1\n2\t2\t1.2\n3\t3\t3.1\n4\t4\t3.2\n",
    "skip.txt": "1\t1\t1.1\n2\t2\t1.2\n3\t3\t1.4\n4\t4\t2.1\n",
    "lost.txt": "1\t1\t1.1\n2\t2\tfoo\n3\t3\t1.3\n",
    "beat0.txt": "1\t1\t0.0\n2\t2\t0.1\n",
    "notime.csv": "when,what\n0.5,a\n1.0,b\n",
    "hits.txt": "0.25\n0.26\n-1\n3\n20.3125\n0\n1000\n",
    "hits.csv": "name,time\r\nfirst,0.5\r\n\"second, late\",1.25\r\nend,99\r\n",
    "badhit.txt": "0.5\n1.x\n",
    "tc.txt": "00:00:00:12\n00:00:01:00\n1.25\n00:01:00:24\n",
}
HIT_LABELS = "0.5\t0.5\tkick\n1.1\t1.3\tsnare roll\n2.9999\t2.9999\t\n4.2\t4.2\tcrash\n"

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
for chart in ["osu", "sm", "ssc", "chart", "rekordbox"]:
    run(f"{chart} mid.tmap", ["-f", chart, "mid.tmap", "-"])
    run(f"{chart} midi offset range", ["-f", chart, "--offset=2.5", "-s", "2", "-e", "5",
                                       "--beat=click", "{ex}/ramp-and-6-8.mid", "out." + chart])
    run(f"{chart} fitted", ["--fit=measure", "-f", chart, "waltz.txt", "-"])
run("chart resolution 480 odd.tmap", ["-f", "chart", "--resolution=480", "odd.tmap", "-"])
run("chart eighths of 6/8", ["-f", "chart", "-s", "4", "-e", "6", "{ex}/ramp-and-6-8.mid", "-"])
for options in [["--resolution=0"], ["--resolution=1"], ["--resolution=2147483648"], ["-f", "sm", "--resolution=96"]]:
    run(f"chart options {' '.join(options)}", ["-f", "chart"] + options + ["{ex}/ramp-and-6-8.mid", "out.chart"])


def output(args):
    """OUTPUT for a run: standard output, or a file for binary formats."""
    return "out.mid" if "midi" in args else "click.wav" if "wav" in args else "-"


# --fit: beats in each form they come in, by beat and by measure; every format
# for a plain list and for labels with places and a pickup.
PERFORMANCES = ["{ex}/taps.txt", "pickup.txt", "waltz.txt", "beats.csv", "placed.csv", "cues.wav", "named.wav"]
for beats in PERFORMANCES:
    formats = ["csv", "labels", "json", "summary", "svg", "midi", "wav"] if beats in PERFORMANCES[:2] \
        else ["csv", "summary"]
    for mode in ["beat", "measure"]:
        for fmt in formats:
            run(f"fit={mode} {fmt} {os.path.basename(beats)}",
                [f"--fit={mode}", "-f", fmt, beats, output([fmt])])
FIT_OPTIONS = [
    ["-f", "csv", "-s", "2", "-e", "3"], ["-f", "csv", "-s", "0", "-e", "1"],
    ["-f", "labels", "-d", "2", "-e", "1"], ["-f", "csv", "--first-measure=0", "-s", "0", "-e", "1"],
    ["-f", "summary", "--first-measure=5", "-s", "6", "-e", "7"], ["-f", "midi", "-s", "2", "-e", "3"],
    ["-f", "csv", "--meter=3"], ["-f", "summary", "--meter=1", "-e", "3"], ["-f", "json", "--meter=7", "-e", "2"],
    ["--exact", "-e", "2"], ["-f", "list", "-e", "2"], ["-f", "wav", "--into=c0.wav"],
    ["-f", "midi", "--meter=6/8"], ["-f", "summary", "--meter=12/8"], ["-f", "csv", "--meter=9/8", "-e", "2"],
    ["-f", "json", "--meter=6/8", "-e", "1"], ["-f", "list", "--meter=6/8", "-e", "1"],
    ["-f", "midi", "--meter=9/8", "--pickup=1"],
]
for beats in PERFORMANCES[:2]:
    for options in FIT_OPTIONS:
        run(f"fit {' '.join(options)} {os.path.basename(beats)}", ["--fit"] + options + [beats, output(options)])
for beats in ["down.txt", "same.txt", "word.txt", "one.txt", "negative.txt", "digits.txt", "gap.txt",
              "skip.txt", "lost.txt", "beat0.txt", "notime.csv", "empty.tmap", "notes.tmap", "c0.wav",
              "onecue.wav", "missing.tmap", "{ex}/ramp-and-6-8.mid", "{ex}/song.tmap"]:
    run(f"fit refuses {os.path.basename(beats)}", ["--fit", "--strict", "-f", "csv", beats, "-"])
for beats in ["gap.txt", "skip.txt", "lost.txt"]:
    run(f"fit mends {beats}", ["--fit", "-f", "csv", beats, "-"])
run("fit reads stdin", ["--fit", "-f", "csv", "-", "-"], "0.5\n1\n")
run("fit picture clips a double tap", ["--fit", "--strict", "-f", "svg", "spike.txt", "-"])
for options in [["--fit=bar"], ["--fit="], ["--fit", "--meter=0"], ["--fit", "--meter=abc"],
                ["--fit", "--meter=-2"], ["--fit", "--meter=2147483648"], ["--meter=3"], ["--fit", "-s", "0"],
                ["--fit", "-e", "0"], ["--fit", "--first-measure=5", "-s", "4"], ["--fit", "--offset=1"],
                ["--fit", "-s", "9"], ["--fit", "-s", "3", "-e", "2"], ["--snap=x.wav"],
                ["--fit", "--snap-window=0.1"]] + [
                ["--fit", "--snap=x.wav", f"--snap-window={w}"] for w in ["0", "-1", "1.5", "abc", ""]] + [
                ["--fit", "--snap=missing.wav"], ["--fit", "--snap=help.tmap"]] + [
                ["--fit", f"--meter={m}"] for m in ["5/8", "3/8", "6/4", "6/8x", "/8", "06/8", "6/", "", "1/0"]] + [
                ["--meter=6/8"], ["--fit", "--meter=6/8", "--pickup=2"]]:
    run(f"fit options {' '.join(options)}", options + ["-f", "csv", "{ex}/taps.txt", "-"])

# --locate on a text map, a MIDI map and a fitted map; times from a file and
# from standard input.
LOCATE_MAPS = {"song": ["{ex}/song.tmap"], "midi": ["--beat=click", "{ex}/ramp-and-6-8.mid"],
               "fit": ["--fit", "{ex}/taps.txt"]}
for label, map_args in LOCATE_MAPS.items():
    for fmt in ["csv", "labels", "json"]:
        run(f"locate {label} {fmt} file", ["-f", fmt, "-d", "2", "--locate=hits.txt"] + map_args + ["-"])
        run(f"locate {label} {fmt} stdin", ["-f", fmt, "--locate=-"] + map_args + ["-"], HIT_LABELS)
    run(f"locate {label} csv file out", ["-f", "csv", "-d", "3", "--locate=hits.csv"] + map_args + ["out.csv"])
    run(f"locate {label} bad line", ["-f", "csv", "--locate=-"] + map_args + ["-"], "0.5\n1.x\n")
run("locate offset", ["-f", "csv", "--offset=0.5", "--locate=hits.txt", "{ex}/song.tmap", "-"])
run("locate first measure", ["-f", "labels", "--first-measure=0", "--locate=hits.txt", "{ex}/waltz.tmap", "-"])
run("locate rate", ["-f", "json", "-r", "8000", "--locate=hits.csv", "{ex}/ramp-and-6-8.mid", "-"])
for times in ["badhit.txt", "empty.tmap", "notime.csv", "missing.txt", ""]:
    run(f"locate refuses '{times}'", ["-f", "csv", f"--locate={times}", "{ex}/song.tmap", "-"])
for options in [["-f", "list"], ["-f", "summary"], ["-f", "svg"], ["-f", "midi"], ["-f", "wav"], ["--exact"]]:
    run(f"locate with {' '.join(options)}", options + ["--locate=hits.txt", "{ex}/song.tmap", "out"])
run("locate bad map", ["-f", "csv", "--locate=hits.txt", "zero.tmap", "-"])

# --max-drift: tempo events against the bound, and what is refused.
DRIFT_MAPS = {"help.tmap": ["help.tmap"], "odd.tmap": ["odd.tmap"], "waltz.tmap": ["{ex}/waltz.tmap"],
              "ramp-and-6-8.mid": ["{ex}/ramp-and-6-8.mid"], "fit taps.txt": ["--fit", "{ex}/taps.txt"]}
for label, map_args in DRIFT_MAPS.items():
    for drift in ["1", "0.001", "0.00001", "0.0000001", "0.000000001"]:
        run(f"max-drift={drift} {label}", ["-f", "midi", f"--max-drift={drift}"] + map_args + ["out.mid"])
for drift in ["0", "-1", "1e-3", "abc", "", ".5", "0.0000000009"]:
    run(f"max-drift value '{drift}'", ["-f", "midi", f"--max-drift={drift}", "help.tmap", "out.mid"])
for options in [["-f", "csv"], ["-f", "wav"], []]:
    run(f"max-drift with {' '.join(options) or 'list'}", options + ["--max-drift=0.001", "help.tmap", "out"])

# --first-measure 0 and 5 with a range, in every format that numbers measures.
for map_name in ["{ex}/song.tmap", "{ex}/ramp-and-6-8.mid"]:
    for first in [0, 5]:
        numbering = [f"--first-measure={first}", "-s", str(first + 1), "-e", str(first + 2)]
        for fmt in ["labels", "csv", "json", "summary", "svg", "midi", "wav"]:
            run(f"first-measure={first} {fmt} {os.path.basename(map_name)}",
                ["-f", fmt, "-r", "8000"] + numbering + [map_name, output([fmt])])
        run(f"first-measure={first} exact {os.path.basename(map_name)}",
            ["--exact", f"--first-measure={first}", "-e", str(first), map_name, "-"])
for options in [["--first-measure=-1"], ["--first-measure=x"], ["--first-measure=2147483648"],
                ["--first-measure="], ["--first-measure=5", "-s", "4"], ["--first-measure=5", "-e", "4"],
                ["-s", "0"], ["--first-measure=2147483647", "-s", "2147483647", "-e", "2147483647"]]:
    run(f"first-measure options {' '.join(options)}", ["-f", "csv"] + options + ["{ex}/song.tmap", "-"])
run("first-measure classic", ["--first-measure=5", "{ex}/song.tmap", "out.txt"])
for positional in [[], ["8000", "4"], ["8000", "1", "1"], ["8000", "6", "7"]]:
    run(f"first-measure=5 positional {' '.join(positional) or 'none'}",
        ["-f", "labels", "--first-measure=5", "{ex}/song.tmap", "-"] + positional)

# Timecode columns at every rate, and the options they go with or not.
for rate in ["24", "25", "29.97", "29.97df", "30", "23.976"]:
    for fmt in ["csv", "labels", "json"]:
        run(f"timecode={rate} {fmt}", ["-f", fmt, f"--timecode={rate}", "-e", "2", "{ex}/song.tmap", "-"])
run("timecode csv midi", ["-f", "csv", "--timecode=29.97df", "--beat=click", "{ex}/ramp-and-6-8.mid", "-"])
run("timecode csv fitted", ["--fit=measure", "-f", "csv", "--timecode=25", "waltz.txt", "-"])
run("timecode csv offset", ["-f", "csv", "--timecode=30", "--offset=3599.99", "-e", "1", "help.tmap", "-"])
# Video editors' marker lists: a marker a measure, or a division with -d.
for rate in ["24", "25", "29.97", "29.97df", "30", "23.976"]:
    run(f"edl {rate}", ["-f", "edl", f"--timecode={rate}", "-e", "3", "{ex}/song.tmap", "-"])
run("edl divisions", ["-f", "edl", "--timecode=29.97df", "-d", "2", "-e", "2", "{ex}/waltz.tmap", "-"])
run("edl positional divisions", ["-f", "edl", "--timecode=25", "{ex}/waltz.tmap", "-", "44100", "1", "1", "1"])
run("edl file first-measure offset", ["-f", "edl", "--timecode=30", "--first-measure=0",
                                      "--offset=01:00:00:00", "mid.tmap", "out.edl"])
run("edl midi", ["-f", "edl", "--timecode=23.976", "--beat=click", "{ex}/ramp-and-6-8.mid", "-"])
run("edl fitted", ["--fit=measure", "-f", "edl", "--timecode=25", "waltz.txt", "-"])
run("edl title", ["-f", "edl", "--timecode=24", "-e", "1", "späte Probe.v2.tmap", "-"])
run("edl past 999 events", ["-f", "edl", "--timecode=25", "-d", "8", "help.tmap", "-"])
run("edl refused without --timecode", ["-f", "edl", "help.tmap", "-"])
run("edl refused with --locate", ["-f", "edl", "--timecode=25", "--locate=tc.txt", "help.tmap", "-"])
# Times as timecodes: --offset, and --locate's lines, with --timecode only.
run("timecode offset", ["-f", "csv", "--timecode=29.97df", "--offset=01:00:00;00", "-e", "1", "help.tmap", "-"])
run("timecode locate", ["-f", "csv", "--timecode=25", "--locate=tc.txt", "{ex}/song.tmap", "-"])
run("timecode locate labels", ["-f", "labels", "--timecode=29.97df", "--locate=-", "{ex}/song.tmap", "-"],
    "00:00:00;15\t00:00:00;15\tcut\n00:00:01;00\t00:00:01;00\tcrash\n")
# Beats on frames' starts whose seconds no decimal ends (k/6 s at 24 fps): placed exactly, on the beat.
run("timecode locate on beats", ["-f", "csv", "--timecode=24", "--locate=-", "fast.tmap", "-"],
    "00:00:00:04\n00:00:00:08\n00:00:00:20\n")
run("timecode locate without --timecode", ["-f", "csv", "--locate=tc.txt", "{ex}/song.tmap", "-"])
run("timecode locate dropped label", ["-f", "json", "--timecode=29.97df", "--locate=-", "{ex}/song.tmap", "-"],
    "00:00:59;29\n00:01:00;00\n")
for offset in ["00:01:00;00", "00:00:00:25", "1:00:00:00.5", "-00:00:01:00"]:
    run(f"timecode offset refused {offset}", ["-f", "csv", "--timecode=25", f"--offset={offset}", "help.tmap", "-"])
run("timecode offset refused drop", ["-f", "csv", "--timecode=29.97df", "--offset=00:01:00;01", "help.tmap", "-"])
run("timecode offset without --timecode", ["-f", "csv", "--offset=00:00:01:00", "help.tmap", "-"])
for options in [["--timecode=26"], ["--timecode="], ["--timecode=29.97DF"], ["--timecode=25", "-f", "svg"],
                ["--timecode=25", "-f", "midi"], ["--timecode=25", "--exact"], ["--timecode=25", "-f", "list"],
                ["--timecode=25", "-f", "summary"]]:
    run(f"timecode refused {' '.join(options)}", options + ["help.tmap", "-"])


def le(number, size=4):
    return number.to_bytes(size, "little")


def chunk(tag, body):
    return tag + le(len(body)) + body + bytes(len(body) % 2)


def wav(frames, chunks=b""):
    """A WAV file of silence, 8-bit mono at 8000 Hz, with more chunks after its data."""
    fmt = le(1, 2) + le(1, 2) + le(8000) + le(8000) + le(1, 2) + le(8, 2)
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"data", bytes(frames)) + chunks
    return b"RIFF" + le(len(body)) + body


def cue_chunks(frames, names=()):
    """A cue point at each frame, as a WAV's "cue " chunk, with labels when named."""
    points = b"".join(le(i + 1) + le(n) + b"data" + le(0) + le(0) + le(n) for i, n in enumerate(frames))
    chunks = chunk(b"cue ", le(len(frames)) + points)
    labels = b"".join(chunk(b"labl", le(i + 1) + name.encode() + b"\0") for i, name in enumerate(names))
    return chunks + (chunk(b"LIST", b"adtl" + labels) if names else b"")


def prepare(folder, examples):
    # The examples go into the run's folder, named relatively, so that no
    # byte of any output depends on where the checkout is.
    shutil.copytree(examples, os.path.join(folder, "ex"))
    for name, text in MAPS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text.encode("latin-1") if "\xef" in text else text.encode())
    for name, text in LISTS.items():
        with open(os.path.join(folder, name), "w", newline="") as f:
            f.write(text)
    # A recording to mark: one second of silence; and beats as cue points,
    # plain, named with places (a pickup), and one alone.
    cues = [4000, 8000, 12000, 16100, 20000, 23900, 28000, 32000, 36000]
    for name, data in [("c0.wav", wav(8000)), ("cues.wav", wav(40000, cue_chunks(cues))),
                       ("named.wav", wav(40000, cue_chunks(cues[:5], ["0.4", "1.1", "1.2", "1.3", "2.1"]))),
                       ("onecue.wav", wav(8000, cue_chunks([4000])))]:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


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
                              capture_output=True, timeout=300)
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
