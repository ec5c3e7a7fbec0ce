#!/usr/bin/env python3
"""What the program tells of the MIDI example.

  midi_picture_test.py sections BEATMARKS ROOT
    The JSON sections, for every beat unit and a few divisions, are the
    stretches between the tempo and meter changes (as scripts/make-midi-examples.py
    writes them): one for each beat at or after a change, starting at that
    beat's time, with the tempo and meter in force there. Text maps keep
    their keys; the pictures name their tempo unit.
  midi_picture_test.py docs BEATMARKS ROOT
    docs/tempo-map.png shows what the program draws now: the digest of the
    SVG it was made from matches, and so does the image where the same
    rsvg-convert is at hand (else exits 77, skipped).
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
from fractions import Fraction

EXAMPLE = "examples/ramp-and-6-8.mid"
TEXT_KEYS = ["number", "name", "tempo", "beatsPerMeasure", "measures", "firstMeasure", "start"]
# The example at 480 ticks a quarter: 100 a quarter, sixteen eighth-note steps
# up to 140 from bar 3, 4/4 then 6/8 clicking in dotted quarters.
TEMPOS = {0: 600000, **{3840 + 240 * k: round(60e6 / (100 + 40 * k / 16)) for k in range(1, 17)}}
METERS = {0: (4, 4, 24), 7680: (6, 8, 36)}


def run(program, root, args, stdin=None):
    return subprocess.run([program] + args, cwd=root, input=stdin, check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout


def changes():
    """(seconds, micros a quarter, meter) in force from each change on."""
    out, time, micros = [], Fraction(0), TEMPOS[0]
    for last, tick in zip([0] + sorted(TEMPOS | METERS), sorted(TEMPOS | METERS)):
        time += Fraction((tick - last) * micros, 480 * 1_000_000)
        micros = TEMPOS.get(tick, micros)
        out.append((time, micros, METERS.get(tick, out[-1][2] if out else None)))
    return out


def check_sections(doc, unit, where):
    beats, sections = doc["beats"], doc["sections"]
    times = [b["time"] for b in beats]
    # The first beat at or after each change, and what is in force there.
    firsts = {}
    for at, micros, meter in changes():
        if float(at) <= times[-1]:
            firsts[next(i for i, t in enumerate(times) if t >= float(at))] = (micros, meter)
    assert len(sections) == len(firsts), (where, len(sections), len(firsts))
    for n, (section, first) in enumerate(zip(sections, sorted(firsts))):
        (micros, (numerator, denominator, clocks)), here = firsts[first], (where, n + 1)
        note = {"denominator": Fraction(1, denominator), "quarter": Fraction(1, 4),
                "click": Fraction(clocks, 96)}[unit]
        in_beats = float(Fraction(1, 4) / note) * 60e6 / micros
        stop = sorted(firsts)[n + 1] if n + 1 < len(firsts) else len(beats)
        assert section["number"] == n + 1 and section["start"] == times[first], here
        assert section["quarterTempo"] == 60e6 / micros, here
        assert section["beatUnit"] == f"{note.numerator}/{note.denominator}", here
        assert section["meter"] == f"{numerator}/{denominator}", here
        assert abs(section["tempo"] - in_beats) < 1e-5 * in_beats, (here, section["tempo"])
        assert section["firstMeasure"] == beats[first]["measure"], here
        assert section["measures"] == sum(b["beat"] == b["division"] == 1 for b in beats[first:stop])


def sections(program, root):
    for unit in ["denominator", "quarter", "click"]:
        for divisions in ["1", "2", "3"]:
            out = run(program, root, ["-f", "json", "--beat=" + unit, "-d", divisions, EXAMPLE, "-"])
            check_sections(json.loads(out), unit, f"--beat={unit} -d {divisions}")
    text = json.loads(run(program, root, ["-f", "json", "examples/song.tmap", "-"]))
    assert all(list(s) == TEXT_KEYS for s in text["sections"]), text["sections"][0]
    assert b">Tempo (quarter notes per minute)<" in run(program, root, ["-f", "svg", EXAMPLE, "-"])
    assert b">Tempo (beats per minute)<" in run(program, root, ["-f", "svg", "examples/song.tmap", "-"])
    print("sections agree with the beats")


def png_chunks(png):
    """The chunks of a PNG as (type, body), and its text chunks as a dict."""
    chunks, pos = [], 8
    while pos < len(png):
        size = int.from_bytes(png[pos:pos + 4], "big")
        chunks.append((png[pos + 4:pos + 8], png[pos + 8:pos + 8 + size]))
        pos += 12 + size
    texts = dict(body.decode("latin-1").split("\0", 1) for kind, body in chunks if kind == b"tEXt")
    return [c for c in chunks if c[0] != b"tEXt"], texts


def docs(program, root):
    svg = run(program, root, ["-f", "svg", "--beat=click", EXAMPLE, "-"])
    with open(os.path.join(root, "docs", "tempo-map.png"), "rb") as f:
        image, texts = png_chunks(f.read())
    remake = "run scripts/make-tempo-picture with the built program"
    if texts.get("beatmarks-svg-sha256") != hashlib.sha256(svg).hexdigest():
        sys.exit("docs/tempo-map.png is not the picture the program draws now: " + remake)
    version = shutil.which("rsvg-convert") and run("rsvg-convert", root, ["--version"]).decode().strip()
    if version != texts.get("renderer"):
        print(f"made with {texts.get('renderer')}, here {version or 'no rsvg-convert'}: "
              "the image itself not compared")
        sys.exit(77)
    if png_chunks(run("rsvg-convert", root, ["--format=png"], svg))[0] != image:
        sys.exit("docs/tempo-map.png differs from a rendering of the program's SVG: " + remake)
    print("docs/tempo-map.png is current")


if __name__ == "__main__":
    {"sections": sections, "docs": docs}[sys.argv[1]](os.path.abspath(sys.argv[2]), sys.argv[3])
