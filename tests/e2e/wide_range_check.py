#!/usr/bin/env python3
"""Measures past 2^31: generated maps of sections of about 10^9 measures,
ranges on both sides of 2147483647 asked with -s/-e and with START and STOP,
checked against exact times computed here with fractions; JSON, labels, the
exact list, the classic list, a MIDI export and WAV markers checked against
them or each other; the 64-bit edges of -s and -e.
Usage: wide_range_check.py BEATMARKS"""
import json
import random
import re
import subprocess
import sys
import tempfile
from fractions import Fraction
from pathlib import Path

BIN, INT64_MAX = sys.argv[1], 2**63 - 1


def run(folder, args, status=0):
    r = subprocess.run([BIN] + args, cwd=folder, capture_output=True)
    r.stdout, r.stderr = r.stdout.decode(), r.stderr.decode()  # line ends kept as written
    assert r.returncode == status, (args, r.returncode, r.stderr)
    return r


def up(x):
    return (x + Fraction(1, 2)).__floor__()


def fixed(t, places):
    n = up(t * 10**places)
    return f"{n // 10**places}.{n % 10**places:0{places}d}"


def oracle(sections, rate, div, first, start, stop):
    """(time, sample, measure, beat, division) of the range, section by section."""
    t, m0 = Fraction(0), first
    for tempo, beats, measures in sections:
        step = 60 / Fraction(tempo) / div
        for m in range(max(start, m0), min(stop, m0 + measures - 1) + 1):
            for n in range(beats * div):
                at = t + ((m - m0) * beats * div + n) * step
                yield at, up(at * rate), m, n // div + 1, n % div + 1
        t, m0 = t + step * div * beats * measures, m0 + measures


def label(m, b, d, div):
    return f"{m}.{b}" + (f".{d}" if div > 1 else "")


def csv_lines(divisions, div):
    return [f"{fixed(t, 9)},{s},{m},{b},{d},{label(m, b, d, div)}" for t, s, m, b, d in divisions]


def check_case(folder, rng, dyadic):
    tempos = ["60", "120", "240"] if dyadic else ["97.3333", "144.6", "1.5e2", "33.333333333", "60"]
    sections = [(rng.choice(tempos), rng.randint(1, 7), rng.randint(10**9, 2**31 - 1)) for _ in range(rng.randint(2, 4))]
    Path(folder, "map.tmap").write_text("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in sections))
    first = 1 if dyadic else rng.choice([0, 1, 5, 2**31 - 1])
    ends = [first + sum(s[2] for s in sections[:k]) for k in range(1, len(sections) + 1)]
    start = max(first, rng.choice([2**31 - 1, 2**31, ends[-1] - 1, rng.choice(ends[:-1])]) - rng.randint(0, 1))
    stop, rate, div = start + rng.randint(0, 1), rng.choice([44100, 48000, 96000]), rng.choice([1, 2] if dyadic else [1, 2, 3])
    want = list(oracle(sections, rate, div, first, start, stop))
    numbers = [str(rate), str(start), str(stop), str(div)]
    named = run(folder, ["-f", "csv", f"--first-measure={first}", "-r", numbers[0], "-s", numbers[1], "-e", numbers[2],
                         "-d", numbers[3], "map.tmap", "-"]).stdout
    assert named.split("\r\n")[1:-1] == csv_lines(want, div), (sections, first, numbers, named[:300])
    assert run(folder, ["-f", "csv", f"--first-measure={first}", "map.tmap", "-"] + numbers).stdout == named
    beats = json.loads(run(folder, ["-f", "json", f"--first-measure={first}", "map.tmap", "-"] + numbers).stdout)["beats"]
    assert [(x["measure"], x["beat"], x["division"], x["sample"]) for x in beats] == [(m, b, d, s) for _, s, m, b, d in want]
    labels = run(folder, ["-f", "labels", f"--first-measure={first}", "map.tmap", "-"] + numbers).stdout.splitlines()
    assert labels == [f"{fixed(t, 6)}\t{fixed(t, 6)}\t{label(m, b, d, div)}" for t, _, m, b, d in want]
    exact = run(folder, ["--exact", f"--first-measure={first}", "map.tmap", "-"] + numbers).stdout
    assert re.findall(r"M (\d+)\t", exact) == [str(m) for _, _, m, b, d in want if b == d == 1]
    assert re.findall(r"\t(\S+) sec\t(\d+) smp", exact) == [(fixed(t, 3), str(s)) for t, s, *_ in want]
    if dyadic:  # running sums of binary fractions are exact: the classic list is the exact one
        run(folder, ["map.tmap", "classic.txt"] + numbers)
        assert Path(folder, "classic.txt").read_text() == exact
        Path(folder, "classic.txt").unlink()


def cue_labels(wav):
    """The cue points' sample positions by name, read from the RIFF chunks."""
    data, at, places, names = Path(wav).read_bytes(), 12, {}, {}
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], int.from_bytes(data[at + 4:at + 8], "little")
        body, at = data[at + 8:at + 8 + size], at + 8 + size + size % 2
        if kind == b"cue ":
            for k in range(int.from_bytes(body[:4], "little")):
                entry = body[4 + 24 * k:28 + 24 * k]
                places[entry[:4]] = int.from_bytes(entry[20:24], "little")
        elif kind == b"LIST" and body[:4] == b"adtl":
            sub = 4
            while sub + 8 <= len(body):
                n = int.from_bytes(body[sub + 4:sub + 8], "little")
                names[body[sub + 8:sub + 12]] = body[sub + 12:sub + 8 + n].rstrip(b"\0").decode()
                sub += 8 + n + n % 2
    return {names[k]: v for k, v in places.items()}


def check_edges(folder):
    long = [("1e11", 4, 2**31 - 1), ("6e10", 3, 2**31 - 1)]
    Path(folder, "long.tmap").write_text("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in long))
    for value in ["2147483647", "2147483648", "4294967294", "4294967295", str(INT64_MAX), str(INT64_MAX + 1), "-1", "1e3", "+5", ""]:
        if value.isdigit() and int(value) <= INT64_MAX:
            r = run(folder, ["-f", "csv", "-s", value, "-e", value, "long.tmap", "-"])
            assert r.stdout.split("\r\n")[1:-1] == csv_lines(oracle(long, 44100, 1, 1, int(value), int(value)), 1)
            continue
        for option, what in [("-s", "start"), ("-e", "stop")]:
            r = run(folder, ["-f", "csv", option, value, "long.tmap", "-"], 2)
            assert r.stderr == (f"beatmarks: invalid {what} measure '{value}' (a whole number from 0 to "
                                f"{INT64_MAX})\nTry 'beatmarks --help'.\n"), r.stderr
    without_stop = run(folder, ["-f", "csv", "-s", "4294967293", "long.tmap", "-"]).stdout  # to the map's end
    assert without_stop.split("\r\n")[1:-1] == csv_lines(oracle(long, 44100, 1, 1, 4294967293, 2**62), 1)
    for held in [str(INT64_MAX + 1), str(2**64 + 2**32 - 2), "1" + "0" * 30]:  # positional START is held at the 64-bit end
        assert run(folder, ["-f", "csv", "long.tmap", "-", "44100", held]).stdout == "time,frame,measure,beat,division,label\r\n"
    # Markers past 2^31 measures, and a stop at the very last 64-bit measure.
    run(folder, ["-f", "wav", "-r", "8000", "--first-measure=0", "-s", "4294967292", "-e", str(INT64_MAX), "long.tmap", "c.wav"])
    assert cue_labels(Path(folder, "c.wav")) == {f"{m}.{b}": s for _, s, m, b, _ in oracle(long, 8000, 1, 0, 4294967292, INT64_MAX)}
    # A MIDI export of a range far in is the export of its section alone.
    for name, text, first in [("far", "A\ttmap\t120\t4\t2147483647\n", 2**31), ("near", "", 1)]:
        Path(folder, name).mkdir()
        Path(folder, name, "x.tmap").write_text(text + "B\ttmap\t60\t3\t10\n")
        run(Path(folder, name), ["-f", "midi", "-s", str(first + 2), "-e", str(first + 5), "x.tmap", "x.mid"])
    assert Path(folder, "far", "x.mid").read_bytes() == Path(folder, "near", "x.mid").read_bytes()


def main():
    rng = random.Random(25)
    with tempfile.TemporaryDirectory() as folder:
        for case in range(12):
            check_case(folder, rng, case % 2 == 0)
        check_edges(folder)
    print("wide ranges: every line as computed exactly")


if __name__ == "__main__":
    main()
