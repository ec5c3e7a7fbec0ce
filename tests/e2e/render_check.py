"""The performances of scripts/render_instruments.py are what they claim:
each note's sound starts on the sample it is mixed in at (nothing of it
before, at least 1% of its peak there), the same seed renders the same
bytes and another seed other taps, and the taps are a person's: every beat
but the missed ones, 10 ms late +-15 ms, the double tap without a place,
the first two measures and the last beat in the follow's files.

Usage: render_check.py   (status 77 where fluidsynth or the soundfont is missing)
"""
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import render_instruments as ri  # noqa: E402
from instrument_notes import DRUMS, missing_tools, render_notes  # noqa: E402


def check_attacks():
    notes = [(DRUMS, 36, 100, 0.1), (DRUMS, 42, 60, 0.1), (33, 36, 100, 0.65), (0, 60, 82, 0.95)]
    sounds = render_notes(notes, ri.RATE, "timgm")
    for k, note in enumerate(notes):
        at = 1000 + 37 * k
        audio = ri.mix([(at / ri.RATE, note)], sounds, ri.RATE, at + 48000)
        level = abs(audio).max(axis=1)
        assert not level[:at].any(), f"{note}: sound before its sample"
        assert level[at] >= 0.01 * level.max(), f"{note}: {level[at] / level.max()} of its peak at its sample"


def check_places():
    """Beats numbered as the label track numbers them, a pickup in measure 0."""
    cases = [((0, 4, 0), "1.1"), ((5, 4, 0), "2.2"), ((3, 2, 0), "2.2"),
             ((0, 3, 1), "0.3"), ((1, 3, 1), "1.1"), ((4, 3, 1), "2.1"), ((1, 4, 2), "0.4")]
    for args, want in cases:
        assert ri.place(*args) == want, (args, ri.place(*args), want)


def rendered(folder, seed):
    truth = ri.render_all(folder, ["short"], seed)["short"]
    return truth, {p.name: p.read_bytes() for p in folder.iterdir()}


def check_taps(folder, truth):
    at = dict(truth)
    rows = [line.split("\t") for line in (folder / "short-taps.txt").read_text().splitlines()]
    placed = [(float(t), p) for t, _, p in rows if p]
    assert [p for _, _, p in rows].count("") == 1, "one double tap, with no place"
    assert len(placed) == len(truth) - 1, "one beat not tapped"
    late = [t - at[p] / ri.RATE for t, p in placed]
    assert all(-0.005 <= d <= 0.025 for d in late), late
    lines = (folder / "short-ends.txt").read_text().splitlines()
    assert [line.split("\t")[2] for line in lines] == [p for p, _ in truth[:8] + truth[-1:]]
    assert (folder / "short-start.txt").read_text().splitlines() == lines[:-1]


def main():
    if missing_tools():
        print(missing_tools())
        sys.exit(77)
    check_places()
    check_attacks()
    with tempfile.TemporaryDirectory() as tmp:
        one, two, other = (Path(tmp) / name for name in ("one", "two", "other"))
        for f in (one, two, other):
            f.mkdir()
        truth, first = rendered(one, 1)
        assert rendered(two, 1)[1] == first, "the same seed renders other bytes"
        assert rendered(other, 2)[1]["short-taps.txt"] != first["short-taps.txt"]
        check_taps(one, truth)
    print("notes on their samples, renders reproducible, taps as a person's")


if __name__ == "__main__":
    main()
