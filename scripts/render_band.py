#!/usr/bin/env python3
"""Renders performances to try --follow on, with every beat at a known
sample: a drum groove drifting from 96 to 112 bpm (and one with kicks on
1 and 3), a band that rushes, slows
down and holds a fermata, a waltz with a one-beat pickup, a march in two
whose chord changes every measure, a rubato 6/8
ballad of plucked eighths (two dotted-quarter beats a measure), a 12/8
whose chord changes every measure, chords on even eighths (the beat or
twice as fast fit alike), a waltz of kicks whose beats 2 and 3 are GAIN
times beat 1's, kicks alike on every beat under a chord changing every
bar, the groove with a rest of two beats or two bars and chords at 70 bpm
whose eighths are 3 dB softer (140 fits as well), each over a
ringing bass note and noise at -40 dB, as a 44.1 kHz mono WAV; and the taps
a person gives --follow: the first two measures (the pickup too) and the
last beat, as a label track with M.B places, 10 ms late and +-12 ms.

Usage: render_band.py groove|backbeat|rush|rush-soft|pickup|ballad|broaden|march|twelve|eighths|liltGAIN|changes|rest2|rest8|slow RECORDING.wav TAPS.txt [SEED]
The beats' first samples go to standard output, one a line.
"""
import math
import random
import struct
import sys
import wave

RATE = 44100


def drift(beats, start, end):
    """Intervals of a tempo moving evenly from `start` to `end` bpm."""
    return [60 / (start + (end - start) * k / beats) for k in range(beats)]


def score(kind):
    """(meter, pickup, beat intervals in seconds)."""
    if kind == "groove" or kind in RESTS:
        return 4, 0, drift(64, 96, 112)
    if kind in ("rush", "rush-soft"):
        gaps = drift(16, 100, 100) + drift(16, 100, 116) + drift(16, 116, 88) + drift(6, 88, 80)
        gaps[-2] *= 3.2  # a fermata on the last beat but one
        return 4, 0, gaps
    if kind == "pickup":
        return 3, 1, drift(1 + 3 * 14, 120, 128)
    if kind == "march":
        return 2, 0, drift(48, 104, 110)
    if kind == "backbeat":  # kicks on 1 and 3 (the second 0.4 dB softer)
        return 4, 0, drift(32, 100, 104)
    if kind == "eighths":  # even eighths, as strong as the beats
        return 4, 0, drift(32, 100, 100)
    if kind == "slow":  # 70 bpm, its eighths 3 dB softer: 140 fits as well
        return 4, 0, drift(24, 70, 70)
    if kind == "changes":  # a kick on every beat alike, the chord changing each bar
        return 4, 0, drift(32, 100, 100)
    if kind.startswith("lilt"):  # a waltz whose downbeat is a little louder
        return 3, 0, drift(36, 120, 120)
    if kind == "twelve":  # four dotted quarters a measure
        return 4, 0, [60 / 50 * (1 + 0.05 * math.sin(k / 4)) for k in range(32)]
    if kind == "broaden":  # a phrase that broadens for two beats at once
        return 4, 0, drift(10, 100, 100) + [0.78, 0.86] + drift(9, 100, 100)
    return 2, 0, [60 / 56 * (1 + 0.08 * math.sin(k / 3)) for k in range(32)]  # dotted quarters


def beat_times(kind):
    meter, pickup, gaps = score(kind)
    times, t = [], 0.6
    for g in gaps:
        times.append(t)
        t += g
    times.append(t)
    return meter, pickup, times


def tone(kind, i, rng):
    """Sample i of a hit from its first sample on."""
    decay = math.exp(-i / (0.04 * RATE))
    if kind == "kick":
        phase = 2 * math.pi * (55 * i / RATE + 95 * 0.02 * (1 - math.exp(-i / (0.02 * RATE))))
        return 0.9 * decay * math.sin(phase + 0.3)
    if kind == "snare":
        return 0.5 * decay * ((rng.random() * 2 - 1) * 0.8 + 0.3 * math.sin(2 * math.pi * 190 * i / RATE))
    if kind == "hat":
        return 0.12 * math.exp(-i / (0.01 * RATE)) * (rng.random() * 2 - 1)
    pitch = float(kind)  # a pluck of that many hertz
    return 0.5 * decay * math.sin(2 * math.pi * pitch * i / RATE + 0.5)


# The march's chords, one a measure: its root, then the chord's notes (Hz).
CHORDS = [(130.8, (261.6, 329.6, 392.0)), (110.0, (220.0, 261.6, 329.6)),
          (87.3, (174.6, 220.0, 261.6)), (98.0, (196.0, 246.9, 293.7))]


# The groove with beats [first, stop) silent: a rest of two beats, of two bars.
RESTS = {"rest2": (24, 26), "rest8": (24, 32)}


def hits_of(kind, meter, pickup, times):
    """(time, instrument, gain) for the whole performance."""
    if kind in RESTS:
        first, stop = RESTS[kind]
        return [h for h in hits_of("groove", meter, pickup, times)
                if not times[first] - 0.01 <= h[0] < times[stop] - 0.01]
    hits = []
    for k, t in enumerate(times):
        beat = (k - pickup) % meter
        if kind == "march":  # the root and a kick on 1, the chord and a snare on 2
            root, chord = CHORDS[k // 2 % 4]
            notes = [root] if beat == 0 else chord
            hits += [(t, "kick" if beat == 0 else "snare", 0.6)] + [(t, str(f), 0.5) for f in notes]
            continue
        if kind == "twelve":  # the root on the beat, the chord's notes on its thirds
            gap = (times[k + 1] - t) if k + 1 < len(times) else times[k] - times[k - 1]
            root, chord = CHORDS[k // 4 % 4]
            hits.append((t, str(root * 2), 1.0 if beat == 0 else 0.7))
            if k + 1 < len(times):
                hits += [(t + gap * i / 3, str(chord[i]), 0.3) for i in (1, 2)] + [(t, str(chord[0]), 0.3)]
            continue
        if kind == "eighths":  # the measure's chord on every eighth, all alike
            gap = (times[k + 1] - t) if k + 1 < len(times) else 0
            root, chord = CHORDS[k // 4 % 4]
            hits += [(t + h, str(f), 0.4) for h in ((0, gap / 2) if gap else (0,)) for f in (root,) + chord]
            continue
        if kind == "ballad":
            gap = (times[k + 1] - t) if k + 1 < len(times) else times[k] - times[k - 1]
            hits.append((t, str(220 * 2 ** (beat / 12)), 1.0))
            if k + 1 < len(times):
                hits += [(t + gap / 3, "330", 0.3), (t + 2 * gap / 3, "294", 0.3)]
            continue
        if kind == "slow":  # the root and chord on the beat, the chord on its eighth
            root, chord = CHORDS[k // 2 % 4]
            hits += [(t, str(root), 0.6)] + [(t, str(f), 0.4) for f in chord]
            if k + 1 < len(times):
                hits += [((t + times[k + 1]) / 2, str(f), 0.28) for f in chord]
            continue
        if kind == "changes":  # C major and F sharp major by turns, a bar each
            chord = (261.6, 329.6, 392.0) if (k // meter) % 2 == 0 else (185.0, 233.1, 277.2)
            hits += [(t, "kick", 0.6)] + [(t, str(f), 0.5) for f in chord]
            continue
        if kind.startswith("lilt"):  # a kick on every beat, 1 a little louder
            hits.append((t, "kick", 1.0 if beat == 0 else float(kind[4:])))
            continue
        # "rush-soft": the two beats after the fermata played softly.
        gain = 0.2 if kind == "rush-soft" and k >= len(times) - 2 else 1.0
        if kind == "backbeat" and beat == 2:
            gain = 0.95
        hits.append((t, "kick" if beat == 0 or (kind == "backbeat" and beat == 2) else "snare", gain))
        if k + 1 < len(times) and times[k + 1] - t < 1.0:
            hits.append(((t + times[k + 1]) / 2, "hat", 1.0))
    return hits


def render(kind, path, seed=0):
    """Writes the performance; returns (meter, pickup, beats' first samples)."""
    rng = random.Random(seed)
    meter, pickup, times = beat_times(kind)
    mono = [0.0] * int((times[-1] + 2.0) * RATE)
    for t, instrument, gain in hits_of(kind, meter, pickup, times):
        first = round(t * RATE)
        for i in range(int(0.2 * RATE)):
            if first + i < len(mono):
                mono[first + i] += gain * tone(instrument, i, rng)
    for i in range(len(mono)):
        mono[i] += 0.1 * math.sin(2 * math.pi * 41 * i / RATE) + 0.01 * (rng.random() * 2 - 1)
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(v * 26000)))) for v in mono))
    return meter, pickup, [round(t * RATE) for t in times]


def place(k, meter, pickup):
    """M.B of beat k, measures numbered from 1 (a pickup in measure 0)."""
    b = k - pickup + meter
    return f"{b // meter}.{b % meter + 1}" if pickup else f"{k // meter + 1}.{k % meter + 1}"


def taps(meter, pickup, samples, seed=0):
    """A label track: the pickup and two measures, and the last beat."""
    rng = random.Random(seed + 1)
    chosen = list(range(pickup + 2 * meter)) + [len(samples) - 1]
    lines = []
    for k in chosen:
        t = samples[k] / RATE + 0.010 + rng.uniform(-0.012, 0.012)
        lines.append(f"{t:.6f}\t{t:.6f}\t{place(k, meter, pickup)}\n")
    return "".join(lines)


def main():
    kind, recording, tapfile = sys.argv[1], sys.argv[2], sys.argv[3]
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    meter, pickup, samples = render(kind, recording, seed)
    with open(tapfile, "w") as f:
        f.write(taps(meter, pickup, samples, seed))
    print("\n".join(str(s) for s in samples))


if __name__ == "__main__":
    main()
