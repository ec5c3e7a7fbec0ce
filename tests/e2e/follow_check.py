#!/usr/bin/env python3
"""--follow end to end on performances made here (scripts/render_band.py): a
drifting groove, a band that rushes, slows and holds a fermata, a waltz with
a pickup and a rubato 6/8 ballad, tapped for two measures (and the pickup)
and, in one set, the last beat, 10 ms late and +-12 ms. Every beat found
must lie on its hit's first sample (two samples of room, far inside the 1 ms
asked for); where the beat is lost the run says so, and no wrong beat comes
before; misnumbered taps are reported, not renumbered; refusals are usage
errors.

Usage: follow_check.py BEATMARKS
"""
import array
import random
import subprocess
import sys
import tempfile
import wave
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from render_band import render, taps  # noqa: E402

TOLERANCE = 2  # samples
KINDS = ["groove", "rush", "pickup", "ballad"]
# (kind, taps, extra options): the beats expected (None: all of them) and
# a line the run must print.
CASES = [
    (kind, "ends", [], None, "between the taps and 0 after them") for kind in KINDS
] + [
    ("groove", "start", [], None, "Followed 0 beats between the taps and 57 after them"),
    ("pickup", "start", [], None, "and 37 after them"),
    ("ballad", "start", [], None, "and 29 after them"),
    ("rush", "start", [], 53, "Lost the beat after 14.1 at 31.327982 s: tap from there"),
    ("groove", "start", ["-e", "8"], 32, "and 24 after them"),
    ("groove", "start", ["-e", "9223372036854775807"], None, "and 57 after them"),  # the last 64-bit measure
    ("ballad", "ends", ["--meter=6/8"], None, "Followed 28 beats between the taps and 0 after them"),
    ("groove", "shifted", [], None, "Warning: the low accents fall on beat 2 of the measures, not on beat 1"),
    # 121 beats between two taps: more than the mending adds without --follow.
    ("twice", "ends", [], None, "Followed 121 beats between the taps and 0 after them"),
]


def run(program, args):
    return subprocess.run([program] + [str(a) for a in args], capture_output=True, text=True)


def shifted(text):
    """The taps numbered one beat on, as a person who counted from beat 2."""
    lines = []
    for line in text.splitlines():
        t, _, p = line.split("\t")
        m, b = map(int, p.split("."))
        k = (m - 1) * 4 + b
        lines.append(f"{t}\t{t}\t{k // 4 + 1}.{k % 4 + 1}\n")
    return "".join(lines)


def make(folder, kind):
    meter, pickup, hits = render(kind, folder / f"{kind}.wav")
    ends = taps(meter, pickup, hits)
    (folder / f"{kind}-ends.txt").write_text(ends)
    (folder / f"{kind}-start.txt").write_text("".join(ends.splitlines(True)[:-1]))
    (folder / f"{kind}-shifted.txt").write_text(shifted(ends))
    return kind, hits


def twice(folder, hits):
    """The groove played twice, a pause between, tapped at its start and its end."""
    with wave.open(str(folder / "groove.wav")) as w:
        params, frames = w.getparams(), w.readframes(w.getnframes())
    with wave.open(str(folder / "twice.wav"), "wb") as w:
        w.setparams(params)
        w.writeframes(frames + frames)
    length = len(frames) // 2
    hits["twice"] = hits["groove"] + [h + length for h in hits["groove"]]
    ends = taps(4, 0, hits["twice"])
    (folder / "twice-ends.txt").write_text(ends)


def check_sources(name, taps_file, rows, said):
    """Tapped places snapped to their hits, every other beat followed or
    placed, as many placed as the run says."""
    tapped = {line.split("\t")[2] for line in taps_file.read_text().splitlines()}
    placed = int(said.split(" placed without an attack")[0].rsplit(" ", 1)[1])
    sources = [(row.split(",")[5], row.split(",")[6]) for row in rows]
    for label, source in sources:
        want = {"snapped"} if label in tapped else {"followed", "placed"}
        assert source in want, f"{name}: beat {label} is '{source}'"
    assert sum(source == "placed" for _, source in sources) == placed, f"{name}: placed beats"


def check(program, folder, hits, case):
    kind, tapset, extra, expected, line = case
    out = folder / f"{kind}-{tapset}-{len(extra)}.csv"
    r = run(program, ["--fit", f"--snap={folder / kind}.wav", "--follow", "-f", "csv"] + extra +
            [folder / f"{kind}-{tapset}.txt", out])
    name = f"{kind} {tapset} {' '.join(extra)}"
    assert r.returncode == 0, f"{name}: status {r.returncode}\n{r.stderr}{r.stderr}"
    assert line in r.stderr, f"{name}: no '{line}' in\n{r.stderr}"
    closing = r.stderr.splitlines()[-2]
    ends = (": STOP",) if extra == ["-e", "8"] else (": tap from there", ": the playing ends", ": the recording ends")
    assert closing.startswith(("Followed to ", "Lost the beat after ")) and closing.endswith(ends), \
        f"{name}: the follow's last line is '{closing}'"
    rows = out.read_text().splitlines()
    assert rows[0] == "time,frame,measure,beat,division,label,source", f"{name}: {rows[0]}"
    frames = [int(row.split(",")[1]) for row in rows[1:]]
    check_sources(name, folder / f"{kind}-{tapset}.txt", rows[1:], r.stderr)
    want = hits[kind][:expected] if expected else hits[kind]
    assert len(frames) == len(want), f"{name}: {len(frames)} beats for {len(want)}\n{r.stderr}"
    worst = max(abs(f - h) for f, h in zip(frames, want))
    assert worst <= TOLERANCE, f"{name}: a beat {worst} samples from its hit"


def check_picture(program, folder):
    """The picture of a followed run is titled with the recording and marks
    the beats followed and where following stopped."""
    wav, out = folder / "rush.wav", folder / "rush.svg"
    r = run(program, ["--fit", f"--snap={wav}", "--follow", "-f", "svg", folder / "rush-start.txt", out])
    svg = out.read_text()
    assert r.returncode == 0 and f"<title>{wav}</title>" in svg, r.stderr + svg[:300]
    assert ">followed to 14.1</text>" in svg and 'stroke="#1a9c8c"' in svg, svg


def check_long_gap(program, folder):
    """6,000 clicks between two taps, more than one search takes: followed on
    from the tap before, each beat on its click."""
    rate, step, count = 8000, 800, 6002
    click = array.array("h", [20000, -16000, 12000, -8000, 4000])
    samples = array.array("h", bytes(2 * (count * step + rate)))
    for k in range(count):
        samples[k * step + 400:k * step + 405] = click
    with wave.open(str(folder / "clicks.wav"), "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(rate)
        w.writeframes(samples.tobytes())
    places = [(k // 4 + 1, k % 4 + 1) for k in range(count)]
    tapped = list(range(4)) + [count - 1]
    (folder / "clicks.txt").write_text("".join(
        f"{(k * step + 400) / rate + 0.01:.4f}\t{(k * step + 400) / rate + 0.01:.4f}\t{places[k][0]}.{places[k][1]}\n"
        for k in tapped))
    out = folder / "clicks.csv"
    r = run(program, ["--fit", f"--snap={folder / 'clicks.wav'}", "--follow", "-f", "csv",
                      folder / "clicks.txt", out])
    assert r.returncode == 0 and "Followed 5997 beats between the taps" in r.stderr, r.stderr
    assert "Warning" not in r.stderr, r.stderr
    frames = [int(row.split(",")[1]) for row in out.read_text().splitlines()[1:]]
    assert len(frames) == count, f"long gap: {len(frames)} beats\n{r.stderr}"
    worst = max(abs(f - (k * step + 400)) for k, f in enumerate(frames))
    assert worst <= TOLERANCE, f"long gap: a beat {worst} samples from its click"


def check_last_tap(program, folder, hits):
    """The groove tapped for two bars and then once more at beat 6.1, while
    it plays on: that last tap, apart from the others, ends the follow."""
    with wave.open(str(folder / "groove.wav")) as w:
        rate = w.getframerate()
    tapped = list(range(8)) + [20]
    (folder / "last-tap.txt").write_text("".join(
        f"{hits['groove'][k] / rate + 0.01:.4f}\t{hits['groove'][k] / rate + 0.01:.4f}\t{k // 4 + 1}.{k % 4 + 1}\n"
        for k in tapped))
    out = folder / "last-tap.csv"
    r = run(program, ["--fit", f"--snap={folder / 'groove.wav'}", "--follow", "-f", "csv",
                      folder / "last-tap.txt", out])
    assert r.returncode == 0 and "and 0 after them" in r.stderr, r.stderr
    frames = [int(row.split(",")[1]) for row in out.read_text().splitlines()[1:]]
    assert len(frames) == 21, f"last tap: {len(frames)} beats\n{r.stderr}"
    assert max(abs(f - h) for f, h in zip(frames, hits["groove"])) <= TOLERANCE, "last tap: a beat off its hit"


def check_heard_mend(program, folder):
    """A plain list of taps of a phrase that broadens, the tap missed where
    it broadens (too long a gap for the intervals to call it two beats):
    --snap adds the beat the recording has, and numbers the rest right."""
    kind, hits = make(folder, "broaden")
    rng = random.Random(3)
    taps = [h / 44100 + 0.010 + rng.uniform(-0.012, 0.012) for k, h in enumerate(hits) if k != 11]
    (folder / "broaden.txt").write_text("".join(f"{t:.6f}\n" for t in taps))
    out = folder / "broaden.csv"
    r = run(program, ["--fit", f"--snap={folder / kind}.wav", "-f", "csv", folder / "broaden.txt", out])
    assert r.returncode == 0 and "beat 3.4 at " in r.stderr and "the recording has the attack" in r.stderr, r.stderr
    rows = out.read_text().splitlines()[1:]
    frames = [int(row.split(",")[1]) for row in rows]
    assert len(frames) == len(hits), f"broaden: {len(frames)} beats for {len(hits)}\n{r.stderr}"
    assert max(abs(f - h) for f, h in zip(frames, hits)) <= TOLERANCE, "broaden: a beat off its hit"
    assert rows[11].split(",")[6] == "followed", rows[11]


def check_refusals(program, folder):
    taps_file, wav = folder / "groove-ends.txt", folder / "groove.wav"
    for args, message in [
        (["--fit", "--follow"], "--follow needs --snap"),
        (["--follow"], "--follow needs --snap"),
        (["--fit", f"--snap={wav}", "--follow", "--strict"], "--follow cannot be used with --strict"),
    ]:
        out = folder / "refused.csv"
        r = run(program, args + [taps_file, out])
        assert r.returncode == 2 and r.stderr.startswith(f"beatmarks: {message}\n"), (args, r.stderr)
        assert not out.exists(), args


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp)
        with ProcessPoolExecutor(2) as pool:
            hits = dict(pool.map(make, [folder] * len(KINDS), KINDS))
        twice(folder, hits)
        for case in CASES:
            check(program, folder, hits, case)
        check_refusals(program, folder)
        check_picture(program, folder)
        check_last_tap(program, folder, hits)
        check_long_gap(program, folder)
        check_heard_mend(program, folder)
    print(f"{len(CASES)} followed performances, every beat within {TOLERANCE} samples")


if __name__ == "__main__":
    main()
