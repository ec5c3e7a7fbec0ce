#!/usr/bin/env python3
"""Timecodes read back: every beat's timecode in the CSV, JSON and labels of
--timecode, and every marker of -f edl, names the frame the beat's exact time
falls in, floor(time x rate), at each rate, drop-frame included, over maps
that run past a day. The exact times are summed here in fractions from the
maps' own tempos; a label is read back to its frame by the timecode's own
arithmetic written here, and by smpte-timecode from npm where npm is present
(installed into CACHE; labels below 24 hours, which it keeps to).

Usage: timecode_check.py BEATMARKS CACHE
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction

BEATMARKS, CACHE = map(os.path.abspath, sys.argv[1:3])
RATES = {"24": (Fraction(24), 24, False), "25": (Fraction(25), 25, False),
         "29.97": (Fraction(30000, 1001), 30, False), "29.97df": (Fraction(30000, 1001), 30, True),
         "30": (Fraction(30), 30, False), "23.976": (Fraction(24000, 1001), 24, False)}
# Sections (tempo as written, beats a measure, measures). 59.94 bpm puts a
# beat on every 30th frame of 29.97 exactly; the long map runs 25 hours.
MAPS = {
    "odd.tmap": [("97.3333", 4, 40), ("133.37", 3, 20), ("59.94", 5, 30)],
    "day.tmap": [("59.94", 4, 22000), ("137.77777", 7, 300)],
}
OFFSET = "1.5"


def beat_times(sections, offset, divisions=1):
    t, times = Fraction(offset), []
    for tempo, beats, measures in sections:
        step = 60 / Fraction(tempo) / divisions
        for _ in range(beats * measures * divisions):
            times.append(t)
            t += step
    return times


LABEL = re.compile(r"^(\d{2,}):(\d\d):(\d\d)([:;])(\d\d)$")


def frame_of_label(label, nominal, drop):
    """The frame a label names, refusing one out of range or one drop-frame skips."""
    m = LABEL.match(label)
    assert m, f"not a timecode: {label!r}"
    h, mi, s, sep, f = int(m[1]), int(m[2]), int(m[3]), m[4], int(m[5])
    assert sep == (";" if drop else ":"), label
    assert mi < 60 and s < 60 and f < nominal, label
    total_minutes = 60 * h + mi
    if drop:
        assert not (s == 0 and f < 2 and mi % 10 != 0), f"a dropped label: {label}"
    frames = (total_minutes * 60 + s) * nominal + f
    return frames - 2 * (total_minutes - total_minutes // 10) if drop else frames


def npm_installed():
    """Whether smpte-timecode is in CACHE, installed once if need be."""
    if shutil.which("npm") is None or shutil.which("node") is None:
        return False
    if not os.path.isdir(os.path.join(CACHE, "node_modules", "smpte-timecode")):
        os.makedirs(CACHE, exist_ok=True)
        try:  # offline, npm may retry for long: then the test reads by its own arithmetic
            subprocess.run(["npm", "install", "--silent", "--prefix", CACHE, "smpte-timecode"],
                           capture_output=True, timeout=180)
        except subprocess.TimeoutExpired:
            return False
    return os.path.isdir(os.path.join(CACHE, "node_modules", "smpte-timecode"))


NPM = None


def frames_by_npm(labels, rate_name):
    """smpte-timecode's frame count of each label, or None without it."""
    global NPM
    if NPM is None:
        NPM = npm_installed()
    if not NPM:
        return None
    rate, drop = rate_name.removesuffix("df"), rate_name.endswith("df")
    script = ("const T=require('smpte-timecode');const l=JSON.parse(require('fs').readFileSync(0,'utf8'));"
              f"console.log(JSON.stringify(l.map(x=>T(x,{rate},{'true' if drop else 'false'}).frameCount)));")
    env = dict(os.environ, NODE_PATH=os.path.join(CACHE, "node_modules"))
    out = subprocess.run(["node", "-e", script], input=json.dumps(labels), capture_output=True,
                         text=True, env=env, check=True)
    return json.loads(out.stdout)


def run(args, folder):
    done = subprocess.run([BEATMARKS] + args + ["-"], capture_output=True, cwd=folder)
    if done.returncode != 0:
        sys.exit(f"{args}: exit {done.returncode}: {done.stderr.decode()}")
    return done.stdout.decode()


def labels_of(fmt, text):
    if fmt == "csv":
        rows = text.split("\r\n")
        assert rows[0].endswith(",timecode"), rows[0]
        return [row.split(",")[-1] for row in rows[1:] if row]
    if fmt == "labels":
        return [line.split("\t")[2].split(" ")[1] for line in text.splitlines()]
    document = json.loads(text)
    return [beat["timecode"] for beat in document["beats"]]


def edl_markers(text, drop):
    lines = text.split("\n")
    assert lines[1] == ("FCM: DROP FRAME" if drop else "FCM: NON-DROP FRAME"), lines[1]
    events = re.findall(r"^(\d{3,})  AX       V     C        (\S+) (\S+) (\S+) (\S+)\n\* LOC: (\S+) (\w+) +(\S+)$",
                        text, re.M)
    for number, (n, src_in, src_out, rec_in, rec_out, loc, color, name) in enumerate(events, 1):
        assert int(n) == number and src_in == rec_in == loc and src_out == rec_out, (n, loc)
    return events


def check(folder, used):
    for name, sections in MAPS.items():
        exact = beat_times(sections, OFFSET)
        for rate_name, (rate, nominal, drop) in RATES.items():
            expected = [int(t * rate) for t in exact]  # floor: times are positive
            for fmt in ["csv", "labels", "json"] if name == "odd.tmap" else ["csv"]:
                labels = labels_of(fmt, run(["-f", fmt, f"--timecode={rate_name}", f"--offset={OFFSET}", name],
                                            folder))
                got = [frame_of_label(label, nominal, drop) for label in labels]
                assert got == expected, f"{name} {rate_name} {fmt}: first wrong at beat " \
                    f"{next(i for i, (a, b) in enumerate(zip(got, expected)) if a != b)}"
            day = [label for label in labels if int(label[:2]) < 24]
            by_npm = frames_by_npm(day, rate_name)
            if by_npm is not None:
                used.add("smpte-timecode")
                assert by_npm == expected[:len(day)], f"{name} {rate_name}: smpte-timecode reads otherwise"
            # The EDL: a marker on every measure, and with -d on every division.
            edl = run(["-f", "edl", f"--timecode={rate_name}", f"--offset={OFFSET}", name], folder)
            markers = edl_markers(edl, drop)
            firsts, at = [], 0
            for _, beats, measures in sections:
                firsts += [at + beats * m for m in range(measures)]
                at += beats * measures
            assert [frame_of_label(m[5], nominal, drop) for m in markers] == [expected[i] for i in firsts], name
            assert all(frame_of_label(m[2], nominal, drop) == frame_of_label(m[1], nominal, drop) + 1
                       for m in markers), f"{name} {rate_name}: an event not one frame long"
            assert {m[6] for m in markers} == {"RED"}, name
        halves = beat_times(sections, OFFSET, 2)
        edl = run(["-f", "edl", "--timecode=29.97df", "-d", "2", f"--offset={OFFSET}", name], folder)
        markers = edl_markers(edl, True)
        assert [frame_of_label(m[5], 30, True) for m in markers] == [int(t * RATES["29.97df"][0]) for t in halves]
        assert markers[0][6:] == ("RED", "1.1.1") and markers[1][6:] == ("BLUE", "1.1.2"), markers[:2]
        assert markers[2][6:] == ("YELLOW", "1.2.1"), markers[2]


def fixed9(value):
    """A fraction's magnitude to 9 decimals, a half up, with its sign."""
    units = (abs(value) * 10**9 * 2 + 1) // 2
    return ("-" if value < 0 and units else "") + f"{units // 10**9}.{units % 10**9:09d}"


def check_timecodes_read(folder):
    """--offset and --locate as timecodes: each the start of its frame, exactly."""
    rate, nominal, drop = RATES["29.97df"]
    offset = "00:00:01;15"
    start = Fraction(frame_of_label(offset, nominal, drop)) / rate
    labels = labels_of("csv", run(["-f", "csv", "--timecode=29.97df", f"--offset={offset}", "odd.tmap"], folder))
    assert [frame_of_label(x, nominal, drop) for x in labels] == \
        [int(t * rate) for t in beat_times(MAPS["odd.tmap"], start)], "--offset as a timecode"
    # Frames at 25 (seconds of at most two decimals) placed on a grid of half seconds.
    frames = [0, 1, 12, 13, 24, 25, 1499, 1500, 12345, 19000]
    with open(os.path.join(folder, "tc.txt"), "w") as f:
        f.write("".join(f"00:{n // 1500:02d}:{n // 25 % 60:02d}:{n % 25:02d}\n" for n in frames))
    rows = run(["-f", "csv", "--timecode=25", "--locate=tc.txt", "steady.tmap"], folder).split("\r\n")[1:-1]
    for n, row in zip(frames, rows, strict=True):
        t = Fraction(n, 25)
        k = int(t * 2 + Fraction(1, 2))  # the nearest beat, a half to the later
        cells = row.split(",")
        assert cells[0] == fixed9(t) and cells[1] == "in", row
        assert (int(cells[2]), int(cells[3])) == (int(t * 2) // 4 + 1, int(t * 2) % 4 + 1), row
        assert cells[5] == f"{k // 4 + 1}.{k % 4 + 1}" and cells[6] == fixed9(t - Fraction(k, 2)), row


def main():
    with tempfile.TemporaryDirectory() as folder:
        for name, sections in MAPS.items():
            with open(os.path.join(folder, name), "w") as f:
                f.write("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in sections))
        used = set()
        check(folder, used)
        with open(os.path.join(folder, "steady.tmap"), "w") as f:
            f.write("tmap\t120\t4\t400\n")
        check_timecodes_read(folder)
    print("smpte-timecode used" if used else "smpte-timecode not available: read by the format's arithmetic")


if __name__ == "__main__":
    main()
