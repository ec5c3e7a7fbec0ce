#!/usr/bin/python3
"""Renders performances played by General MIDI instruments (Debian's
soundfonts through fluidsynth) with every beat at a known sample, and taps
of them as a person gives them.

Each note is rendered alone (scripts/instrument_notes.py), trimmed to its
attack (the first sample above 1% of its own peak) and mixed in at an exact
sample; the notes a score puts on a beat all start on that beat's sample,
which is the beat's truth. Pieces (scripts/instrument_scores.py): drums;
drums with legato electric bass and piano; a walking acoustic bass with ride
and piano; guitar and strings over a groove; fills and crashes; a band that
rushes, slows and holds a fermata; a rubato 6/8 ballad; a waltz with a
pickup. Variants: reverb, pink noise 20 dB under the music, a 4 kHz
low-pass, 44.1 kHz, mono, 30 dB down.

For each piece NAME, into FOLDER:
  NAME.wav        48 kHz stereo 24-bit (unless the variant says otherwise)
  NAME-truth.txt  a line a beat: M.B, its truth sample, its truth seconds
  NAME-taps.txt   every beat tapped as a label track with M.B places: about
                  10 ms late, +-15 ms, a tap missed and a double tap (with no
                  place) a minute
  NAME-start.txt  the first two measures (and the pickup) tapped
  NAME-ends.txt   those and the last beat

Usage: render_instruments.py [--seed N] FOLDER [NAME ...]
NAME is a piece or variant (default: every one), "short" and "soft" (a few
seconds of the band and of the ballad's piano, for the tests) or "isolated" (single notes far apart, to measure a detector's
latency). Exits with status 77 where fluidsynth or a soundfont it needs is
missing. Uses python3-numpy, python3-mido, fluidsynth and sox.
"""
import argparse
import random
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
import instrument_scores as scores  # noqa: E402
from instrument_notes import DRUMS, missing_tools, read_wav, render_notes, write_wav  # noqa: E402

RATE = 48000
LEVEL = 0.5  # the mix's peak before any effect
START = 0.6  # seconds before the first beat
# variant: (piece, what is done to it)
VARIANTS = {
    "band-reverb": ("band", "reverb"), "band-noise": ("band", "noise"),
    "band-lowpass": ("band", "lowpass"), "band-44k": ("band", "44k"),
    "band-mono": ("band", "mono"), "band-quiet": ("band", "quiet"),
    "ballad-reverb": ("ballad", "reverb"), "drums-noise": ("drums", "noise"),
}
SOX = {"reverb": ["reverb"], "lowpass": ["lowpass", "4000"]}


def beat_times(piece):
    times = [START]
    for gap in piece.gaps:
        times.append(times[-1] + gap)
    return times


def seconds_at(times, position):
    """The moment of a beat position, past the last beat at the last beat's pace."""
    k = min(int(position), len(times) - 2)
    return times[k] + (position - k) * (times[k + 1] - times[k])


def timed_notes(piece, times):
    """(start seconds, (program, key, velocity, length seconds)) of every note;
    lengths in 50 ms steps, so that repeats share one render."""
    out = []
    for beat, program, key, velocity, length in piece.notes:
        start = seconds_at(times, beat)
        seconds = 0.1 if program == DRUMS else seconds_at(times, beat + length) - start
        out.append((start, (program, key, velocity, max(0.05, round(seconds / 0.05) * 0.05))))
    return out


def place(k, meter, pickup):
    """M.B of beat k, measures from 1 (a pickup is measure 0)."""
    if pickup:
        k += meter - pickup
        return f"{k // meter}.{k % meter + 1}"
    return f"{k // meter + 1}.{k % meter + 1}"


def mix(timed, sounds, rate, frames):
    out = np.zeros((frames, 2))
    for start, note in timed:
        at, sound = round(start * rate), sounds[note]
        end = min(frames, at + len(sound))
        out[at:end] += sound[:end - at]
    return out


def pink_noise(shape, rng):
    """Noise falling 3 dB an octave, each channel its own."""
    white = rng.standard_normal(shape)
    spectrum = np.fft.rfft(white, axis=0)
    scale = 1 / np.sqrt(np.maximum(np.arange(spectrum.shape[0]), 1))
    return np.fft.irfft(spectrum * scale[:, None], n=shape[0], axis=0)


def rms(x):
    return float(np.sqrt(np.mean(x ** 2)))


def through_sox(audio, rate, effect):
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = Path(tmp) / "in.wav", Path(tmp) / "out.wav"
        write_wav(src, rate, audio, bits=32)
        subprocess.run(["sox", str(src), "-e", "floating-point", str(dst)] + SOX[effect],
                       check=True, capture_output=True)
        return read_wav(dst)[1]


def finish(audio, rate, change, seed):
    """The mix at its level, through the variant's change."""
    audio = audio * (LEVEL / np.abs(audio).max())
    if change in SOX:
        audio = through_sox(audio, rate, change)
    elif change == "noise":
        noise = pink_noise(audio.shape, np.random.default_rng(seed))
        audio = audio + noise * (rms(audio) / rms(noise) / 10)  # 20 dB under
    elif change == "mono":
        audio = audio.mean(axis=1, keepdims=True)
    elif change == "quiet":
        audio = audio * 10 ** (-30 / 20)
    peak = np.abs(audio).max()
    return audio * (0.9 / peak) if peak > 0.9 else audio


def taps(truth, rate, meter, pickup, seed):
    """(every beat tapped, the first bars, the first bars and the last beat)."""
    rng = random.Random(seed)
    times = [s / rate + 0.010 + rng.uniform(-0.015, 0.015) for _, s in truth]
    lines = [(t, p) for t, (p, _) in zip(times, truth)]
    first = pickup + 2 * meter
    start = lines[:first]
    minutes = max(1, round((truth[-1][1] - truth[0][1]) / rate / 60))
    middle = list(range(first, len(lines) - 1))
    missed = set(rng.sample(middle, minutes))
    doubled = set(rng.sample([k for k in middle if k not in missed], minutes))
    every = []
    for k, (t, p) in enumerate(lines):
        if k not in missed:
            every.append((t, p))
        if k in doubled:
            every.append((t + rng.uniform(0.03, 0.06), ""))
    label = lambda rows: "".join(f"{t:.6f}\t{t:.6f}\t{p}\n" for t, p in rows)
    return label(every), label(start), label(start + [lines[-1]])


def write_truth(path, truth, rate):
    """A line a beat: M.B, its attack's sample and that sample in seconds."""
    path.write_text("".join(f"{p}\t{s}\t{s / rate:.9f}\n" for p, s in truth))


def prepare(name, seed):
    """(the piece, its change, its rate, its beats' times, its timed notes)."""
    base, change = VARIANTS.get(name, (name, ""))
    makers = {f.__name__[:-6]: f for f in scores.PIECES + [scores.short_piece, scores.soft_piece]}
    piece = makers[base](random.Random(f"{base}:{seed}"))
    times = beat_times(piece)
    return piece, change, 44100 if change == "44k" else RATE, times, timed_notes(piece, times)


def render(folder, name, seed, prepared, sounds):
    """Writes one piece or variant from its notes' sounds; returns its truth
    [(M.B, sample)]."""
    piece, change, rate, times, timed = prepared
    frames = round((times[-1] + 3.0) * rate)
    audio = finish(mix(timed, sounds, rate, frames), rate, change, seed)
    write_wav(folder / f"{name}.wav", rate, audio)
    truth = [(place(k, piece.meter, piece.pickup), round(t * rate)) for k, t in enumerate(times)]
    onsets = {round(start * rate) for start, _ in timed}
    if not all(s in onsets for _, s in truth):
        raise ValueError(f"{name}: a beat on which no note starts")
    write_truth(folder / f"{name}-truth.txt", truth, rate)
    for suffix, text in zip(("taps", "start", "ends"), taps(truth, rate, piece.meter, piece.pickup, seed)):
        (folder / f"{name}-{suffix}.txt").write_text(text)
    return truth


def render_all(folder, names, seed):
    """Renders the pieces named, each distinct note once per soundfont and rate."""
    prepared = {name: prepare(name, seed) for name in names}
    wanted = {}
    for piece, _, rate, _, timed in prepared.values():
        wanted.setdefault((piece.soundfont, rate), set()).update(n for _, n in timed)
    sounds = {key: render_notes(notes, key[1], key[0]) for key, notes in wanted.items()}
    return {name: render(folder, name, seed, p, sounds[(p[0].soundfont, p[2])])
            for name, p in prepared.items()}


def render_isolated(folder, seed):
    """Single notes of the pieces' instruments from both soundfonts, 3 s
    apart, each alone."""
    notes = [(DRUMS, k, 100, 0.1) for k in (scores.KICK, scores.SNARE, scores.HAT, scores.RIM,
                                            scores.CRASH, scores.RIDE, scores.TOMS[3])]
    notes += [(p, k, 90, 0.5) for p in (scores.PIANO, scores.ELECTRIC_BASS, scores.ACOUSTIC_BASS,
                                        scores.GUITAR) for k in (40, 52, 64)]
    sounds = {(font, n): sound for font in ("timgm", "musescore")
              for n, sound in render_notes(notes, RATE, font).items()}
    keys = sorted(sounds)
    random.Random(seed).shuffle(keys)
    timed = [(START + 3.0 * i, key) for i, key in enumerate(keys)]
    audio = mix(timed, sounds, RATE, round((timed[-1][0] + 2.0) * RATE))
    write_wav(folder / "isolated.wav", RATE, audio * (LEVEL / np.abs(audio).max()))
    truth = [(f"{i + 1}.1", round(t * RATE)) for i, (t, _) in enumerate(timed)]
    write_truth(folder / "isolated-truth.txt", truth, RATE)
    return truth


ALL = [f.__name__[:-6] for f in scores.PIECES] + list(VARIANTS)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("folder", type=Path)
    parser.add_argument("names", nargs="*", default=ALL)
    args = parser.parse_args()
    fonts = {prepare(n, 0)[0].soundfont for n in args.names if n != "isolated"}
    fonts |= {"timgm", "musescore"} if "isolated" in args.names else {"timgm"}
    lacking = [m for m in map(missing_tools, sorted(fonts)) if m]
    if lacking:
        print(f"render_instruments.py: {lacking[0]}", file=sys.stderr)
        sys.exit(77)
    args.folder.mkdir(parents=True, exist_ok=True)
    if "isolated" in args.names:
        render_isolated(args.folder, args.seed)
    render_all(args.folder, [n for n in args.names if n != "isolated"], args.seed)


if __name__ == "__main__":
    main()
