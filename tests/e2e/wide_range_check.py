#!/usr/bin/env python3
"""Ranges past measure 2^31 of generated maps, asked with -s/-e and START
and STOP, against exact times computed here with fractions; the other outputs
against them or each other; the 64-bit edges. Usage: wide_range_check.py BEATMARKS"""
import json
import random
import re
import subprocess
import sys
import tempfile
from fractions import Fraction
from pathlib import Path

BIN, TOP = sys.argv[1], 2**63 - 1


def run(folder, args, status=0):
    r = subprocess.run([BIN] + args, cwd=folder, capture_output=True)
    assert r.returncode == status, (args, r.returncode, r.stderr)
    return r.stdout.decode(), r.stderr.decode()  # line ends as written


def fixed(t, places):
    n = (t * 10**places + Fraction(1, 2)).__floor__()
    return f"{n // 10**places}.{n % 10**places:0{places}d}"


def oracle(sections, rate, div, first, start, stop):
    """(time, sample, measure, beat, division, label) of the range, section by section."""
    t, m0 = Fraction(0), first
    for tempo, beats, measures in sections:
        step = 60 / Fraction(tempo) / div
        for m in range(max(start, m0), min(stop, m0 + measures - 1) + 1):
            for n in range(beats * div):
                at, b, d = t + ((m - m0) * beats * div + n) * step, n // div + 1, n % div + 1
                yield at, (at * rate + Fraction(1, 2)).__floor__(), m, b, d, f"{m}.{b}" + f".{d}" * (div > 1)
        t, m0 = t + step * div * beats * measures, m0 + measures


def csv_text(want):
    return "time,frame,measure,beat,division,label\r\n" + "".join(
        f"{fixed(w[0], 9)},{','.join(map(str, w[1:]))}\r\n" for w in want)


def check_case(folder, rng, dyadic):
    tempos = ["60", "120", "240"] if dyadic else ["97.3333", "144.6", "1.5e2", "33.333333333"]
    sections = [(rng.choice(tempos), rng.randint(1, 7), rng.randint(10**9, 2**31 - 1)) for _ in range(rng.randint(2, 4))]
    Path(folder, "map.tmap").write_text("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in sections))
    first = 1 if dyadic else rng.choice([0, 5, 2**31 - 1])
    ends = [first + sum(s[2] for s in sections[:k]) for k in range(1, len(sections) + 1)]
    start = max(first, rng.choice([2**31 - 1, 2**31, ends[-1] - 1, rng.choice(ends[:-1])]) - rng.randint(0, 1))
    rate, div, stop = rng.choice([48000, 96000] + [44100] * (not dyadic)), rng.randint(1, 3 - dyadic), start + rng.randint(0, 1)
    want, numbers = list(oracle(sections, rate, div, first, start, stop)), [str(rate), str(start), str(stop), str(div)]
    options, named = ["--first-measure=" + str(first), "map.tmap", "-"], ["-r", "-s", "-e", "-d"]
    csv = run(folder, ["-f", "csv"] + [x for pair in zip(named, numbers) for x in pair] + options)[0]
    assert csv == csv_text(want), (sections, first, numbers)
    assert run(folder, ["-f", "csv"] + options + numbers)[0] == csv
    beats = json.loads(run(folder, ["-f", "json"] + options + numbers)[0])["beats"]
    assert [(x["measure"], x["beat"], x["division"], x["sample"]) for x in beats] == [w[2:5] + w[1:2] for w in want]
    exact = run(folder, ["--exact"] + options + numbers)[0]
    assert re.findall(r"M (\d+)\t", exact) == [str(w[2]) for w in want if w[3] == w[4] == 1]
    assert re.findall(r"\t(\S+) sec\t(\d+) smp", exact) == [(fixed(w[0], 3), str(w[1])) for w in want]
    if dyadic:  # sums of binary fractions are exact, every sample whole: the classic list is the exact one
        Path(folder, "classic.txt").unlink(missing_ok=True)  # the classic list appends
        run(folder, ["map.tmap", "classic.txt"] + numbers)
        assert Path(folder, "classic.txt").read_text() == exact


def check_edges(folder):
    long = [("1e11", 4, 2**31 - 1), ("6e10", 3, 2**31 - 1)]
    Path(folder, "long.tmap").write_text("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in long))
    for value in ["2147483647", "2147483648", "4294967294", "4294967295", str(TOP), str(TOP + 1), "-1", "1e3", "+5", ""]:
        if value.isdigit() and int(value) <= TOP:
            csv = run(folder, ["-f", "csv", "-s", value, "-e", value, "long.tmap", "-"])[0]
            assert csv == csv_text(oracle(long, 44100, 1, 1, int(value), int(value)))
            continue
        for option, what in [("-s", "start"), ("-e", "stop")]:
            assert run(folder, ["-f", "csv", option, value, "long.tmap", "-"], 2)[1] == (
                f"beatmarks: invalid {what} measure '{value}' (a whole number from 0 to {TOP})\nTry 'beatmarks --help'.\n")
    # Without STOP to the map's end; a positional START past 64 bits held at their end.
    csv = run(folder, ["-f", "csv", "-s", "4294967293", "long.tmap", "-"])[0]
    assert csv == csv_text(oracle(long, 44100, 1, 1, 4294967293, TOP))
    for held in [str(TOP + 1), str(2**64 + 2**32 - 2), "1" + "0" * 30]:
        assert run(folder, ["-f", "csv", "long.tmap", "-", "44100", held])[0] == csv_text([])
    # WAV markers past 2^31 measures, the range up to the last 64-bit measure.
    run(folder, ["-f", "wav", "-r", "8000", "--first-measure=0", "-s", "4294967292", "-e", str(TOP), "long.tmap", "c.wav"])
    wav, marks = Path(folder, "c.wav").read_bytes(), [w[5] for w in oracle(long, 8000, 1, 0, 4294967292, TOP)]
    assert wav.count(b"labl") == len(marks) == 6 and all(m.encode() + b"\0" in wav for m in marks)
    # A MIDI export of a range far in is the export of its section alone.
    for name, before, first in [("far", "A\ttmap\t120\t4\t2147483647\n", 2**31), ("near", "", 1)]:
        Path(folder, name).mkdir()
        Path(folder, name, "x.tmap").write_text(before + "B\ttmap\t60\t3\t10\n")
        run(Path(folder, name), ["-f", "midi", "-s", str(first + 2), "-e", str(first + 5), "x.tmap", "x.mid"])
    assert Path(folder, "far", "x.mid").read_bytes() == Path(folder, "near", "x.mid").read_bytes()


if __name__ == "__main__":
    rng = random.Random(25)
    with tempfile.TemporaryDirectory() as folder:
        for case in range(12):
            check_case(folder, rng, case % 2 == 0)
        check_edges(folder)
