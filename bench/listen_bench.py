#!/usr/bin/python3
"""How near their attacks the listened beats lie, on performances played by
General MIDI instruments (scripts/render_instruments.py renders them, with
every beat's true attack sample), beside an independent onset detector on
the same files in the same run.

For each piece or variant it runs
  snap    beatmarks --fit --snap=NAME.wav -f csv NAME-taps.txt (every beat tapped)
  follow  beatmarks --fit --snap=NAME.wav --follow -f csv NAME-ends.txt
          (two measures and the last beat tapped)
  from    the same with NAME-start.txt (two measures tapped, nothing after)
  aubio   aubioonset -H 32 -T samples, less its latency measured once on
          single notes far apart, each true beat matched to the nearest onset
and prints, a line each: the beats, those found with their right M.B,
those written that the piece does not have (or numbered wrong), those
within 1 ms of the truth, over 2 ms, and the worst error in ms.

Usage: listen_bench.py [--beatmarks PATH] [--seed N] [--keep FOLDER] [NAME ...]
Needs python3-numpy, python3-mido, fluidsynth, sox, aubio-tools and Debian's
timgm6mb and musescore-general soundfonts. Not a test: run it by hand.
"""
import argparse
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
import render_instruments  # noqa: E402

RUNS = [("snap", "taps", []), ("follow", "ends", ["--follow"]), ("from", "start", ["--follow"])]


def read_truth(path):
    """[(M.B, sample)] of a truth file."""
    return [(p, int(s)) for p, s, _ in (line.split("\t") for line in path.read_text().splitlines())]


def read_csv(path):
    """{M.B: sample} of the program's CSV."""
    lines = path.read_text().splitlines()
    names = lines[0].split(",")
    m, b, s = names.index("measure"), names.index("beat"), names.index("frame")
    rows = [line.split(",") for line in lines[1:]]
    return {f"{r[m]}.{r[b]}": int(r[s]) for r in rows}


def aubio_onsets(wav):
    out = subprocess.run(["aubioonset", "-i", str(wav), "-H", "32", "-T", "samples"],
                         check=True, capture_output=True, text=True).stdout
    return [float(v) for v in out.split()]


def nearest(onsets, sample):
    return min(onsets, key=lambda o: abs(o - sample)) if onsets else float("inf")


def aubio_latency(folder):
    """aubioonset's median lateness in seconds on single notes far apart."""
    truth = read_truth(folder / "isolated-truth.txt")
    onsets = aubio_onsets(folder / "isolated.wav")
    return statistics.median(nearest(onsets, s) - s for _, s in truth) / render_instruments.RATE


def figures(truth, found, rate):
    """(beats, found, wrong, within 1 ms, over 2 ms, worst ms)."""
    errors = [abs(found[p] - s) * 1000 / rate for p, s in truth if p in found]
    wrong = len(set(found) - {p for p, _ in truth})
    return (len(truth), len(errors), wrong, sum(e <= 1 for e in errors), sum(e > 2 for e in errors),
            max(errors, default=float("nan")))


def run_program(program, folder, name, taps, extra):
    out = folder / f"{name}-{taps}.csv"
    r = subprocess.run([program, "--fit", f"--snap={folder / name}.wav", *extra, "-f", "csv",
                        str(folder / f"{name}-{taps}.txt"), str(out)], capture_output=True, text=True)
    if r.returncode != 0:
        return {}, f"status {r.returncode}: {r.stderr.strip()}"
    last = [line for line in r.stderr.splitlines() if line.startswith(("Lost", "Followed to"))]
    return read_csv(out), last[-1] if last else ""


def measure(program, folder, name, latency, seed):
    truth = read_truth(folder / f"{name}-truth.txt")
    rate = render_instruments.prepare(name, seed)[2]
    rows = []
    for label, taps, extra in RUNS:
        found, note = run_program(program, folder, name, taps, extra)
        rows.append((name, label, figures(truth, found, rate), note))
    onsets = [o - latency * rate for o in aubio_onsets(folder / f"{name}.wav")]
    heard = {p: round(nearest(onsets, s)) for p, s in truth}
    rows.append((name, "aubio", figures(truth, heard, rate), ""))
    return rows


def show(rows):
    print(f"{'piece':14} {'run':7} {'beats':>5} {'found':>5} {'wrong':>5} {'<=1ms':>5} "
          f"{'>2ms':>5} {'worst ms':>8}  note")
    for name, label, (beats, found, wrong, within, over, worst), note in rows:
        print(f"{name:14} {label:7} {beats:5} {found:5} {wrong:5} {within:5} {over:5} {worst:8.2f}  {note}")


def totals(rows):
    for label, _, _ in RUNS + [("aubio", None, None)]:
        mine = [r[2] for r in rows if r[1] == label]
        beats, within, over = (sum(f[i] for f in mine) for i in (0, 3, 4))
        worst = max(f[5] for f in mine)
        print(f"{label:7} all pieces: {within} of {beats} beats within 1 ms "
              f"({100 * within / beats:.1f}%), {over} over 2 ms, worst {worst:.2f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--beatmarks", default=str(ROOT / "build" / "beatmarks"))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", type=Path, help="render into this folder and keep it")
    parser.add_argument("names", nargs="*", default=render_instruments.ALL)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        folder = args.keep or Path(tmp)
        folder.mkdir(parents=True, exist_ok=True)
        began = time.monotonic()
        render_instruments.render_isolated(folder, args.seed)
        render_instruments.render_all(folder, args.names, args.seed)
        print(f"rendered {len(args.names)} performances in {time.monotonic() - began:.1f} s (seed {args.seed})")
        latency = aubio_latency(folder)
        print(f"aubioonset -H 32: latency {latency * 1000:.2f} ms on single notes, taken off")
        with ThreadPoolExecutor(2) as pool:
            rows = [r for part in pool.map(lambda n: measure(args.beatmarks, folder, n, latency, args.seed), args.names)
                    for r in part]
        show(rows)
        totals(rows)


if __name__ == "__main__":
    main()
