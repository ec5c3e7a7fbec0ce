#!/usr/bin/env python3
"""Independent check of --locate.

Generates random tempo maps and times (on divisions, halfway between them, a
rounding half away, a hair to either side, anywhere, before and after the
map), runs the built program with each format and TIMES in each of its forms,
and compares every row with positions computed here from first principles
with Python's exact fractions. Also feeds the program's own CSV back as TIMES:
every division must be its own nearest at no distance, and a bad TIMES must be
refused with its line. Usage: locate_check.py BEATMARKS [MAPS]
"""
import bisect
import csv
import io
import json
import random
import subprocess
import sys
import tempfile
from fractions import Fraction
from pathlib import Path

TEMPOS = ["120", "150", "75", "96", "100", "144.6", "97.3333", "33.333333333", "60"]


def decimal(t, places):
    """t cut (toward minus infinity) to the places, written out in full."""
    scaled = (t * 10**places).__floor__()
    sign = "-" if scaled < 0 else ""
    whole, part = divmod(abs(scaled), 10**places)
    return f"{sign}{whole}.{part:0{places}d}" if places else f"{sign}{whole}"


def short_decimal(t, most=18):
    for places in range(most + 1):
        if Fraction(decimal(t, places)) == t:
            return decimal(t, places)
    return None


def rounded(magnitude, scale):
    return (magnitude * scale + Fraction(1, 2)).__floor__()


def units(value, places):
    whole, part = divmod(value, 10**places)
    return f"{whole}.{part:0{places}d}"


def grid_of(sections, divisions, offset):
    """(time, measure, beat, division) of every division, and the end."""
    divs, t0, measure = [], offset, 0
    for tempo, beats, measures in sections:
        step = Fraction(60) / Fraction(tempo) / divisions
        for n in range(measures * beats * divisions):
            divs.append((t0 + n * step, measure + n // (beats * divisions), n // divisions % beats, n % divisions))
        t0 += step * measures * beats * divisions
        measure += measures
    return divs, t0


def label(m, b, d, divisions):
    return f"{m + 1}.{b + 1}" + (f".{d + 1}" if divisions > 1 else "")


def locate(divs, end, t, divisions, rate):
    """The expected CSV fields after the time, without the name."""
    times = [d[0] for d in divs]
    if not divs or t < times[0]:
        return ["before"] + [""] * 6
    if t >= end:
        return ["after"] + [""] * 6
    j = bisect.bisect_right(times, t) - 1
    first, after = j, j + 1
    while first > 0 and divs[first][3] != 0:
        first -= 1
    while after < len(divs) and divs[after][3] != 0:
        after += 1
    beat_end = times[after] if after < len(divs) else end
    into = (Fraction(10**6) * (t - times[first]) / (beat_end - times[first])).__floor__()
    later = j + 1 < len(divs) and times[j + 1] - t <= t - times[j]
    near = divs[j + 1] if later else divs[j]
    magnitude = abs(t - near[0])
    nanos, frames = rounded(magnitude, 10**9), rounded(magnitude, rate)
    sign = "-" if later else ""
    return ["in", str(divs[j][1] + 1), str(divs[j][2] + 1), units(into, 6), label(*near[1:], divisions),
            (sign if nanos else "") + units(nanos, 9), (sign if frames else "") + str(frames),
            (sign if rounded(magnitude, 10**6) else "") + units(rounded(magnitude, 10**6), 6)]


def random_times(rng, divs, end):
    times = []
    for _ in range(30):
        on, *_ = rng.choice(divs)
        following = [d[0] for d in divs if d[0] > on]
        after = following[0] if following else end
        for point in (on, (on + after) / 2, on + Fraction(1, 2 * 10**6), on - Fraction(1, 2 * 10**9)):
            for text in (short_decimal(point), decimal(point + Fraction(1, 10**25), 30),
                         decimal(point - Fraction(1, 10**25), 30)):
                if text is not None:
                    times.append(text)
        times.append(decimal(Fraction(rng.randint(-10**6, int((end + 1) * 10**6)), 10**6), rng.randint(0, 9)))
    return times + [decimal(end, 30), "-0.5", decimal(end + 5, 2)]


def run(binary, folder, args, ok=True):
    done = subprocess.run([binary, *args], cwd=folder, capture_output=True, check=False)
    if ok and done.returncode != 0:
        raise AssertionError(f"{args}: status {done.returncode}: {done.stderr.decode()}")
    return done


def check_one(binary, folder, rng):
    sections = [(rng.choice(TEMPOS), rng.randint(1, 7), rng.randint(0, 3)) for _ in range(rng.randint(1, 4))]
    if sum(s[2] for s in sections) == 0:
        sections[0] = (sections[0][0], sections[0][1], 1)
    divisions = rng.choice([1, 2, 3, 4])
    rate = rng.choice([44100, 48000, 1, rng.randint(1, 2**31 - 1)])
    offset = rng.choice(["0", "0.1", "12.345678901", "3"])
    Path(folder, "map.tmap").write_text("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in sections))
    divs, end = grid_of(sections, divisions, Fraction(offset))
    times = random_times(rng, divs, end)
    names = [rng.choice(["", "onset", "a, \"quoted\" name", "x"]) for _ in times]
    expected = [[t] + locate(divs, end, Fraction(t), divisions, rate) for t in times]
    common = ["-r", str(rate), "-d", str(divisions), f"--offset={offset}", "--locate=times"]
    context = f"map {sections} div {divisions} rate {rate} offset {offset}"

    # CSV from a CSV with names.
    Path(folder, "times").write_text("Time,Name\r\n" + "".join(
        f"{t},\"{n.replace(chr(34), chr(34) * 2)}\"\r\n" for t, n in zip(times, names)))
    out = run(binary, folder, ["-f", "csv", *common, "map.tmap", "-"]).stdout.decode()
    table = list(csv.reader(io.StringIO(out, newline="")))
    assert table[0][:9] == ["time", "where", "measure", "beat", "into_beat", "nearest", "deviation",
                            "deviation_frames", "name"], context
    want = [row[:8] + [name] for row, name in zip(expected, names)]
    for got, row in zip(table[1:], want):
        assert got[:9] == row, f"csv differs: {context}: got {got} want {row}"
    assert len(table) == len(times) + 1 and out.count("\r\n") == len(times) + 1, context

    # Labels from a label track, with a frequency line to pass over.
    Path(folder, "times").write_text("".join(f"{t}\t{t}\t{n}\n\\\t100\t200\n" for t, n in zip(times, names)))
    lines = run(binary, folder, ["-f", "labels", *common, "map.tmap", "-"]).stdout.decode().splitlines()
    for line, row in zip(lines, expected, strict=True):
        text = row[1] if row[1] != "in" else \
            f"{row[5]} {row[8] if row[8].startswith('-') or set(row[8]) <= set('0.') else '+' + row[8]} s"
        assert line == f"{row[0]}\t{row[0]}\t{text}", f"labels differ: {context}: {line!r} {text!r}"

    # JSON from plain numbers, its values kept as the text they were written with.
    Path(folder, "times").write_text("\n".join(times) + "\n")
    document = json.loads(run(binary, folder, ["-f", "json", *common, "map.tmap", "-"]).stdout,
                          parse_float=str, parse_int=str)
    assert document["sampleRate"] == str(rate) and document["divisions"] == str(divisions), context
    for got, row in zip(document["times"], expected, strict=True):
        assert Fraction(got["time"]) == Fraction(row[0]) and got["where"] == row[1], context
        if row[1] == "in":
            assert [got["measure"], got["beat"], got["intoBeat"], got["nearest"], got["deviation"],
                    got["deviationSamples"]] == row[2:8], f"json differs: {context}: {got} {row}"


def check_feedback(binary, folder):
    """The program's own CSV read back: every division its own nearest."""
    Path(folder, "map.tmap").write_text("tmap\t144.6\t4\t3\ntmap\t97.3333\t3\t2\n")
    for divisions in (1, 3):
        common = ["-d", str(divisions), "--offset=1.5"]
        beats = run(binary, folder, ["-f", "csv", *common, "map.tmap", "-"]).stdout.decode()
        Path(folder, "times").write_text(beats)
        rows = list(csv.DictReader(io.StringIO(run(
            binary, folder, ["-f", "csv", *common, "--locate=times", "map.tmap", "-"]).stdout.decode(), newline="")))
        assert len(rows) == beats.count("\n") - 1, "feedback lost rows"
        for row in rows:
            assert row["nearest"] == row["name"] and row["deviation_frames"] == "0", f"feedback: {row}"
            assert abs(Fraction(row["deviation"])) <= Fraction(1, 10**9), f"feedback: {row}"


def check_wide(binary, folder):
    """Deviations past 2^128 nanoseconds or samples, exact as any other."""
    for tempo, beats, rate, times in [("1e-30", 1, 48000, ["2" + "0" * 31, "1" + "0" * 29, "3" + "0" * 31]),
                                      ("7e-41", 3, 2147483647, ["12345678901234567890123456789012345678901.5"]),
                                      ("1e-20", 2, 1, ["3" + "0" * 21 + ".000000000000000000001"])]:
        Path(folder, "map.tmap").write_text(f"tmap\t{tempo}\t{beats}\t2\n")
        Path(folder, "times").write_text("\n".join(times) + "\n")
        divs, end = grid_of([(tempo, beats, 2)], 1, Fraction(0))
        out = run(binary, folder, ["-f", "csv", "-r", str(rate), "--locate=times", "map.tmap", "-"]).stdout.decode()
        for got, t in zip(list(csv.reader(io.StringIO(out, newline="")))[1:], times, strict=True):
            assert got[:8] == [t] + locate(divs, end, Fraction(t), 1, rate)[:7], f"wide: {tempo} {got}"


def check_refusals(binary, folder):
    Path(folder, "map.tmap").write_text("tmap\t120\t4\t2\n")
    for text, message in [("1\n2\nabc\n", "beatmarks: times:3: 'abc' is not a time"), ("", "beatmarks: times holds no times"),
                          ("when,name\n1,a\n", "beatmarks: times:1: the CSV header has no 'time' column")]:
        Path(folder, "times").write_text(text)
        done = run(binary, folder, ["-f", "csv", "--locate=times", "map.tmap", "out.csv"], ok=False)
        assert done.returncode != 0 and message in done.stderr.decode() and not done.stdout, message
        assert not Path(folder, "out.csv").exists(), f"{message}: an output was written"


def main():
    binary = str(Path(sys.argv[1]).resolve())
    maps = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    rng = random.Random(20260114)
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(maps):
            check_one(binary, folder, rng)
        check_feedback(binary, folder)
        check_wide(binary, folder)
        check_refusals(binary, folder)
    print(f"{maps} maps: csv, labels and json match; the program's CSV reads back on the grid")


if __name__ == "__main__":
    main()
