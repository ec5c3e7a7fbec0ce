#!/usr/bin/env python3
"""Independent check of the exact export formats.

Generates random tempo maps, runs the built program with each exact format
and compares every line with times computed here from first principles with
Python's exact fractions, parsing the outputs with Python's own csv and json
readers. Usage: exact_formats_check.py BEATMARKS [MAPS]
"""
import csv
import io
import json
import random
import subprocess
import sys
import tempfile
from fractions import Fraction
from pathlib import Path



def exact_tempo(text):
    """The tempo a map line gives exact times: the decimal as written."""
    return Fraction(text)


def rounded_decimal(t, decimals):
    """t rounded to the decimals, halves up, written out in full."""
    scaled = (t * 10**decimals + Fraction(1, 2)).__floor__()
    whole, part = divmod(scaled, 10**decimals)
    return f"{whole}.{part:0{decimals}d}" if decimals else str(whole)


def sample(t, rate):
    return (t * rate + Fraction(1, 2)).__floor__()  # exact, however large


def random_map(rng):
    tempos = ["120", "97.3333", "144.6", "1e-30", "3.4e38", "0.001", "60", "33.333333333",
              "97.333333333333333333333333333333333", "+0144.60e0", "1.5E2"]
    sections = []
    for _ in range(rng.randint(1, 5)):
        tempo = rng.choice(tempos + [f"{rng.uniform(20, 300):.{rng.randint(0, 6)}f}"])
        sections.append((tempo, rng.randint(1, 7), rng.randint(0, 4)))
    return sections


def expected_divisions(sections, divisions, offset, start, stop):
    """(measure, beat, division, exact time) of every division in the range."""
    t0, measure = offset, 0
    for tempo_text, beats, measures in sections:
        beat = Fraction(60) / exact_tempo(tempo_text)
        step = beat / divisions
        for m in range(measures):
            for b in range(beats):
                for d in range(divisions):
                    n = (m * beats + b) * divisions + d
                    if start <= measure + m <= stop:
                        yield measure + m, b, d, t0 + n * step
        t0 += beat * measures * beats
        measure += measures


def label(m, b, d, divisions):
    text = f"{m + 1}.{b + 1}"
    return text + f".{d + 1}" if divisions > 1 else text


def run(binary, folder, args):
    done = subprocess.run([binary, *args], cwd=folder, capture_output=True, check=False)
    if done.returncode != 0:
        raise AssertionError(f"{args}: status {done.returncode}: {done.stderr.decode()}")
    return done.stdout.decode()


def check_one(binary, folder, rng):
    sections = random_map(rng)
    total = sum(s[2] for s in sections)
    divisions = rng.randint(1, 4)
    rate = rng.choice([1, 44100, 48000, 96000, 2147483647, rng.randint(1, 2**31 - 1)])
    offset_text = rng.choice(["0", "0.1", "12.345678901", "3", f"{rng.random() * 100:.{rng.randint(0, 12)}f}"])
    start = rng.randint(1, max(1, total))
    stop = rng.randint(start, max(start, total))
    Path(folder, "map.tmap").write_text("".join(f"tmap\t{t}\t{b}\t{m}\n" for t, b, m in sections))
    common = ["-r", str(rate), "-d", str(divisions), "-s", str(start), "-e", str(stop),
              f"--offset={offset_text}"]
    expected = list(expected_divisions(sections, divisions, Fraction(offset_text), start - 1, stop - 1))
    context = f"map {sections} rate {rate} div {divisions} offset {offset_text} range {start}-{stop}"

    labels = run(binary, folder, ["-f", "labels", *common, "map.tmap", "-"])
    want = "".join(f"{rounded_decimal(t, 6)}\t{rounded_decimal(t, 6)}\t{label(m, b, d, divisions)}\n"
                   for m, b, d, t in expected)
    assert labels == want, f"labels differ: {context}"

    table = list(csv.reader(io.StringIO(run(binary, folder, ["-f", "csv", *common, "map.tmap", "-"]), newline="")))
    assert table[0] == ["time", "frame", "measure", "beat", "division", "label"], context
    rows = [[rounded_decimal(t, 9), str(sample(t, rate)), str(m + 1), str(b + 1), str(d + 1),
             label(m, b, d, divisions)] for m, b, d, t in expected]
    assert table[1:] == rows, f"csv differs: {context}"

    document = json.loads(run(binary, folder, ["-f", "json", *common, "map.tmap", "-"]))
    assert document["sampleRate"] == rate and document["divisions"] == divisions, context
    beats = [(e["measure"], e["beat"], e["division"], e["time"], e["sample"]) for e in document["beats"]]
    assert beats == [(m + 1, b + 1, d + 1, float(t), sample(t, rate)) for m, b, d, t in expected], \
        f"json differs: {context}"
    assert [float(s["tempo"]) for s in document["sections"]] == [float(Fraction(t)) for t, _, _ in sections], \
        f"json tempos differ: {context}"

    listing = run(binary, folder, ["--exact", *common, "map.tmap", "-"])
    times = [line.split("\t")[-2:] for line in listing.splitlines() if line.endswith(" smp")]
    assert times == [[f"{rounded_decimal(t, 3)} sec", f"{sample(t, rate)} smp"] for *_, t in expected], \
        f"exact list differs: {context}"
    return len(expected)


def main():
    binary = str(Path(sys.argv[1]).resolve())
    maps = int(sys.argv[2]) if len(sys.argv) > 2 else 150
    rng = random.Random(20261208)
    lines = 0
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(maps):
            lines += check_one(binary, folder, rng)
        # A long export passes through the output buffer many times over.
        Path(folder, "map.tmap").write_text("tmap\t97.3333\t4\t10000\n")
        labels = run(binary, folder, ["-f", "labels", "map.tmap", "-"]).splitlines()
        step = Fraction(60) / exact_tempo("97.3333")
        assert labels == [f"{rounded_decimal(n * step, 6)}\t{rounded_decimal(n * step, 6)}\t"
                          f"{n // 4 + 1}.{n % 4 + 1}" for n in range(40000)], "long labels differ"
        # Times past the largest double stay valid JSON.
        huge = json.loads(run(binary, folder, ["-f", "json", "-e", "1", "--offset=1" + "0" * 400, "map.tmap", "-"]))
        assert huge["offset"] == float("inf") and huge["beats"][0]["sample"] == 44100 * 10**400, "huge offset"
    print(f"{maps} maps, {lines} divisions: labels, csv, json and the exact list match")


if __name__ == "__main__":
    main()
