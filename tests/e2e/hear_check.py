#!/usr/bin/env python3
"""A recording alone given to --fit (no taps): performances made by
scripts/render_band.py (a drifting groove, a waltz with a pickup, a march in
two, a rubato 6/8 ballad, a 12/8, chords on even eighths, waltzes of kicks, kicks under changing chords, a groove with rests, slow chords heard twice as fast, a band that rushes and holds a fermata, loud or soft after it) heard whole, every beat on
its hit's first sample and numbered as played; where the beat is lost the run
says where to tap; silence and noise are refused in one line, nothing written.

Usage: hear_check.py BEATMARKS
"""
import random
import struct
import subprocess
import sys
import tempfile
import wave
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from render_band import RESTS, place, render  # noqa: E402

TOLERANCE = 2  # samples
# (kind, options, the line the run prints, beats heard: None for all[, sure])
CASES = [
    ("groove", [], "Heard 65 beats in 17 measures of 4/4, 97-111 bpm", None),
    # Kicks on 1 and 3 alike, no chords: which is 1 is a guess, and said so.
    ("backbeat", [], "Unsure from 1.1 at 0.600000 s: tap a bar there", None),
    ("backbeat", ["--pickup=0"], "Heard 33 beats in 9 measures of 4/4", None),
    ("pickup", [], "Heard 44 beats in 16 measures of 3/4, 120-127 bpm", None),
    ("pickup", ["--pickup=1", "--meter=3"], "Heard 44 beats in 16 measures of 3/4", None),
    ("ballad", ["--meter=6/8"], "Heard 33 beats in 17 measures of 6/8, 52-61 bpm", None),
    # Its beats divided in three: 6/8 heard without being told.
    ("ballad", [], "Heard 33 beats in 17 measures of 6/8, 52-61 bpm", None),
    # Lost at the fermata, then heard on from the next beats as if the beat were held.
    ("rush", [], "Unsure from 14.1 at 31.327982 s: tap a bar there", None),
    # The same with the two beats after the fermata played softly: they
    # resume the beat, and the noise after them is not followed.
    ("rush-soft", [], "Heard 55 beats in 14 measures of 4/4", None),
    # Kick on 1 and snare on 2, as a groove in four has them: the chord
    # changing every two beats makes it two. The noise the file starts on,
    # a beat before the first, is no beat.
    ("march", [], "Heard 49 beats in 25 measures of 2/4", None),
    # Beats divided in three, the chord changing every four of them: 12/8.
    ("twelve", [], "Heard 33 beats in 9 measures of 12/8", None),
    # The measure's chord on every eighth, all alike: the beat or twice as
    # fast fit alike, so the tempo is a guess, and said so.
    ("eighths", ["--pickup=0"], "Unsure from 1.1 at 0.600000 s: tap a bar there", None),
    # A waltz of kicks, 1 louder by 1.9 dB: three, but only just, and said
    # so; by 3.1 dB, three for sure.
    ("lilt0.8", [], "Unsure from 1.1 at 0.600000 s: tap a bar there", None),
    ("lilt0.7", [], "Heard 37 beats in 13 measures of 3/4, 120 bpm", None, True),
    # A kick on every beat alike, whatever the meter; the chord changing
    # every bar settles it, and bar 1, for sure.
    ("changes", [], "Heard 33 beats in 9 measures of 4/4, 100 bpm", None, True),
    # A rest of two beats, of two bars: counted through at the tempo either
    # side, its beats placed evenly and numbered.
    ("rest2", [], "Heard 65 beats in 17 measures of 4/4, 97-111 bpm", None, True),
    ("rest8", [], "Heard 65 beats in 17 measures of 4/4, 97-111 bpm", None, True),
    # 70 bpm whose eighths are 3 dB softer: heard at 140, its eighths as
    # beats, and the tempo said to be a guess.
    ("slow", [], "Unsure from 1.1 at 0.600000 s: tap a bar there", None),
]
# Kinds heard at twice the score's tempo: its beats and their halves.
DOUBLED = {"slow"}


def run(program, args):
    return subprocess.run([program] + [str(a) for a in args], capture_output=True, text=True)


def check(program, folder, made, case):
    kind, options, line, count, *sure = case
    meter, pickup, hits = made[kind]
    out = folder / f"{kind}-{len(options)}.csv"
    r = run(program, ["--fit"] + options + ["-f", "csv", folder / f"{kind}.wav", out])
    name = f"{kind} {' '.join(options)}"
    assert r.returncode == 0 and line in r.stderr, f"{name}: status {r.returncode}\n{r.stderr}"
    # Told where the bar starts, the run is sure of it (but of the tempo).
    sure = sure[0] if sure else "--pickup=0" in options and "Unsure" not in line
    assert not sure or "Unsure" not in r.stderr, f"{name}: unsure\n{r.stderr}"
    rows = [row.split(",") for row in out.read_text().splitlines()[1:]]
    if kind in DOUBLED:
        hits = sorted(hits + [(a + b) // 2 for a, b in zip(hits, hits[1:])])
    want = hits[:count] if count else hits
    assert len(rows) == len(want), f"{name}: {len(rows)} beats for {len(want)}"
    first, stop = RESTS.get(kind, (0, 0))
    for k, (row, hit) in enumerate(zip(rows, want)):
        assert row[5] == place(k, meter, pickup), f"{name}: beat {k} is {row[5]}"
        # In a rest, beats are placed (evenly, within a fifth of a beat here).
        rest = first <= k < stop
        assert row[6] == ("placed" if rest else "heard"), f"{name}: beat {k} source {row[6]}"
        off = abs(int(row[1]) - hit)
        assert off <= (abs(hits[k + 1] - hit) / 5 if rest else TOLERANCE), f"{name}: beat {k} {off} samples off"


def check_compound_midi(program, folder):
    """The 6/8 heard without --meter reaches the MIDI file's time signature."""
    out = folder / "ballad.mid"
    r = run(program, ["--fit", "-f", "midi", folder / "ballad.wav", out])
    data = out.read_bytes() if out.exists() else b""
    at = data.find(b"\xff\x58\x04")
    assert r.returncode == 0 and at > 0, f"ballad midi: {r.returncode}\n{r.stderr}"
    assert (data[at + 3], data[at + 4]) == (6, 3), f"ballad midi: time signature {data[at + 3]}/{2 ** data[at + 4]}"


def check_one_tap(program, folder, made):
    """One tap beside the recording settles the bar line the hearing could
    only guess: the backbeat's third beat tapped as 1.1 numbers the two
    before it 0.3 and 0.4, the tap's beat snapped; tapped as 5.2, the one
    before it is 5.1; a tap between beats is refused."""
    _, _, hits = made["backbeat"]
    taps, out = folder / "one-tap.txt", folder / "one-tap.csv"
    taps.write_text(f"{hits[2] / 44100 + 0.012:.6f}\t{hits[2] / 44100 + 0.012:.6f}\t1.1\n")
    r = run(program, ["--fit", f"--snap={folder / 'backbeat.wav'}", "--follow", "-f", "csv", taps, out])
    assert r.returncode == 0 and "Unsure" not in r.stderr, f"one tap: {r.returncode}\n{r.stderr}"
    rows = [row.split(",") for row in out.read_text().splitlines()[1:]]
    assert len(rows) == len(hits), f"one tap: {len(rows)} beats for {len(hits)}"
    assert [(row[5], row[6]) for row in rows[:4]] == [("0.3", "heard"), ("0.4", "heard"), ("1.1", "snapped"),
                                                      ("1.2", "heard")], f"one tap: {rows[:4]}"
    # A place of its own numbers the beats around it.
    taps.write_text(f"{hits[2] / 44100:.6f}\t{hits[2] / 44100:.6f}\t5.2\n")
    r = run(program, ["--fit", f"--snap={folder / 'backbeat.wav'}", "--follow", "-f", "csv", taps, out])
    rows = [row.split(",") for row in out.read_text().splitlines()[1:]]
    assert [row[5] for row in rows[:4]] == ["4.4", "5.1", "5.2", "5.3"], f"tap at 5.2: {rows[:4]}"
    between = (hits[2] + hits[3]) / 2 / 44100
    taps.write_text(f"{between:.6f}\n")
    out.unlink()
    r = run(program, ["--fit", f"--snap={folder / 'backbeat.wav'}", "--follow", "-f", "csv", taps, out])
    assert r.returncode == 1 and "is not near a beat heard in" in r.stderr and not out.exists(), \
        f"tap between beats: {r.returncode}\n{r.stderr}"


def check_tapped_tempo(program, folder, made):
    """Where the tempo is a guess, one tap leaves it one and says so again;
    a bar tapped settles it."""
    meter, pickup, hits = made["eighths"]
    taps, out = folder / "eighths-taps.txt", folder / "eighths-taps.csv"
    for chosen in ([0], range(meter + 1)):
        taps.write_text("".join(f"{hits[k] / 44100:.6f}\t{hits[k] / 44100:.6f}\t{place(k, meter, pickup)}\n"
                                for k in chosen))
        r = run(program, ["--fit", f"--snap={folder / 'eighths.wav'}", "--follow", "-f", "csv", taps, out])
        rows = out.read_text().splitlines()[1:] if r.returncode == 0 else []
        assert len(rows) == len(hits), f"eighths, {len(chosen)} taps: {r.returncode}\n{r.stderr}"
        assert ("Unsure from 1.1 at 0.600000 s" in r.stderr) == (len(chosen) == 1), \
            f"eighths, {len(chosen)} taps\n{r.stderr}"


def write_wav(path, samples):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(44100)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples))


def check_refusals(program, folder):
    rng = random.Random(2)
    write_wav(folder / "silence.wav", [0] * 44100 * 5)
    write_wav(folder / "noise.wav", [int(rng.gauss(0, 3000)) for _ in range(44100 * 5)])
    for name in ("silence", "noise"):
        out = folder / f"{name}.csv"
        r = run(program, ["--fit", "-f", "csv", folder / f"{name}.wav", out])
        said = f"beatmarks: {folder / name}.wav: no beat heard in it (silence, noise, or sounds that do not recur)\n"
        assert r.returncode == 1 and r.stderr.endswith(said), f"{name}: {r.returncode}\n{r.stderr}"
        assert not out.exists(), f"{name}: a file was written"


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp)
        made = {kind: render(kind, folder / f"{kind}.wav") for kind in {c[0] for c in CASES}}
        for case in CASES:
            check(program, folder, made, case)
        check_compound_midi(program, folder)
        check_one_tap(program, folder, made)
        check_tapped_tempo(program, folder, made)
        check_refusals(program, folder)
    print(f"{len(CASES)} recordings heard without taps, every beat within {TOLERANCE} samples")


if __name__ == "__main__":
    main()
