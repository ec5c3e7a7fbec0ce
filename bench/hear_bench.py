#!/usr/bin/python3
"""Beats heard from the recording alone (no taps), on the performances of
scripts/render_instruments.py, beside two beat trackers run on the same files
in the same run:
  heard      beatmarks --fit -f csv NAME.wav (--meter=6/8 for the 6/8 ballad,
             --pickup=1 for the piece with a pickup)
  aubio      aubiotrack -i NAME.wav (Debian's aubio-tools)
  essentia   Essentia's BeatTrackerMultiFeature, its WebAssembly build from
             npm (essentia.js, installed into --npm-cache on first use), on
             the file mixed to mono at 44.1 kHz
For each it prints the F-measure of the beats against the true ones (a beat
within 70 ms of a true one, each true one once), the beats within 1 ms, the
median error in ms, for beatmarks the beats numbered M.B as the score
numbers them, and the CPU seconds taken.

Usage: hear_bench.py [--beatmarks PATH] [--seed N] [--keep FOLDER]
                     [--npm-cache FOLDER] [NAME ...]
Not a test: run it by hand.
"""
import argparse
import json
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "scripts"))
import instrument_notes  # noqa: E402
import render_instruments  # noqa: E402

OPTIONS = {"ballad": ["--meter=6/8"], "ballad-reverb": ["--meter=6/8"], "pickup": ["--pickup=1"]}
TRACK_JS = """
const fs = require("fs");
const { Essentia, EssentiaWASM } = require("essentia.js");
const essentia = new Essentia(EssentiaWASM);
const buf = fs.readFileSync(process.argv[2]);
const samples = new Float32Array(buf.buffer, buf.byteOffset, buf.length / 4);
const out = essentia.BeatTrackerMultiFeature(essentia.arrayToVector(samples));
console.log(JSON.stringify(Array.from(essentia.vectorToArray(out.ticks))));
"""


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, **kwargs):
    """(stdout, CPU seconds) of a command."""
    before = children_cpu()
    out = subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout
    return out, children_cpu() - before


def figures(truth, beats, rate):
    """(F-measure at 70 ms, within 1 ms, median error in ms) of beats in samples."""
    window, used, errors = 0.070 * rate, set(), []
    for b in beats:
        k = min(range(len(truth)), key=lambda i: abs(truth[i] - b))
        if abs(truth[k] - b) <= window and k not in used:
            used.add(k)
            errors.append(abs(truth[k] - b) / rate * 1000)
    hits = len(used)
    f = 2 * hits / (len(beats) + len(truth)) if beats else 0.0
    return f, sum(e <= 1 for e in errors), statistics.median(errors) if errors else float("nan")


def heard(program, folder, name, truth):
    out = folder / f"{name}-heard.csv"
    _, cpu = timed([program, "--fit"] + OPTIONS.get(name, []) + ["-f", "csv", str(folder / f"{name}.wav"), str(out)])
    lines = out.read_text().splitlines()
    rows = [line.split(",") for line in lines[1:]]
    beats = [int(r[1]) for r in rows]
    places = dict(truth)
    numbered = sum(1 for r in rows if abs(places.get(f"{r[2]}.{r[3]}", -10**9) - int(r[1])) <= 0.07 * 48000)
    return beats, numbered, cpu


def aubio(folder, name, rate):
    out, cpu = timed(["aubiotrack", "-i", str(folder / f"{name}.wav")])
    return [float(v) * rate for v in out.split()], cpu


def essentia(folder, name, rate, cache):
    rate_in, audio = instrument_notes.read_wav(folder / f"{name}.wav")
    mono = audio.mean(axis=1)
    resampled = np.interp(np.arange(int(len(mono) * 44100 / rate_in)) * rate_in / 44100, np.arange(len(mono)), mono)
    raw = folder / f"{name}.f32"
    resampled.astype("<f4").tofile(raw)
    out, cpu = timed(["node", str(cache / "track.js"), str(raw)], cwd=cache)
    return [t * rate for t in json.loads(out)], cpu


def essentia_ready(cache):
    """True once essentia.js is installed in `cache` (npm), false without node or npm."""
    if not (shutil.which("node") and shutil.which("npm")):
        return False
    cache.mkdir(parents=True, exist_ok=True)
    (cache / "track.js").write_text(TRACK_JS)
    if not (cache / "node_modules" / "essentia.js").exists():
        subprocess.run(["npm", "install", "--prefix", str(cache), "essentia.js@0.1.3"], check=True,
                       capture_output=True)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--beatmarks", default=str(ROOT / "build" / "beatmarks"))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", type=Path, help="render into this folder and keep it (reused if there)")
    parser.add_argument("--npm-cache", type=Path, default=Path(tempfile.gettempdir()) / "beatmarks-essentia")
    parser.add_argument("names", nargs="*", default=render_instruments.ALL)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        folder = args.keep or Path(tmp)
        folder.mkdir(parents=True, exist_ok=True)
        missing = [n for n in args.names if not (folder / f"{n}-truth.txt").exists()]
        if missing:
            render_instruments.render_all(folder, missing, args.seed)
        with_essentia = essentia_ready(args.npm_cache)
        print(f"{'piece':14} {'run':9} {'beats':>5} {'F':>6} {'<=1ms':>6} {'median':>7} {'numbered':>8} {'cpu s':>6}")
        for name in args.names:
            truth = [(p, int(s)) for p, s, _ in (l.split("\t") for l in (folder / f"{name}-truth.txt").read_text().splitlines())]
            samples = [s for _, s in truth]
            rate = 44100 if name.endswith("44k") else 48000
            beats, numbered, cpu = heard(args.beatmarks, folder, name, truth)
            a, acpu = aubio(folder, name, rate)
            rows = [("heard", beats, str(numbered), cpu), ("aubio", a, "", acpu)]
            if with_essentia:
                e, ecpu = essentia(folder, name, rate, args.npm_cache)
                rows.append(("essentia", e, "", ecpu))
            for run, found, named, seconds in rows:
                f, within, median = figures(samples, found, rate)
                print(f"{name:14} {run:9} {len(samples):5} {f:6.3f} {within:6} {median:7.2f} {named:>8} {seconds:6.2f}")


if __name__ == "__main__":
    main()
