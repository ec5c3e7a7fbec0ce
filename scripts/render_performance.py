#!/usr/bin/env python3
"""Renders a performance to try --snap on: hits of one kind (noise, pluck or
kick) at known samples of a tempo drifting from 96 to about 116 bpm, over a
ringing bass note, noise at -40 dB and a reverb tail, as a 48 kHz stereo WAV;
and taps of it as a person makes them: 10 ms late, +-15 ms, one beat missed and
one tapped twice. The hits' first samples go to standard output.

Usage: render_performance.py RECORDING.wav TAPS.txt [noise|pluck|kick [SEED]]
"""
import math
import random
import struct
import sys
import wave

RATE = 48000


def hit(kind, i, rng):
    """Sample i of a hit of the kind, from its first sample on."""
    decay = math.exp(-i / (0.03 * RATE))
    if kind == "noise":
        return (rng.random() * 2 - 1) * 0.6 * decay
    if kind == "pluck":
        return 0.6 * decay * math.sin(2 * math.pi * 660 * i / RATE + 0.7)
    phase = 2 * math.pi * (60 * i / RATE + 90 * 0.02 * (1 - math.exp(-i / (0.02 * RATE))))
    return 0.8 * decay * math.sin(phase + 0.3)  # a kick: 150 Hz falling to 60 Hz


def render(path, kind, seed):
    """Writes the performance; returns the hits' first samples."""
    rng = random.Random(seed)
    seconds, t, hits = 14, 0.7, []
    while t < seconds - 1:
        hits.append(round(t * RATE))
        t += 60 / (96 + 20 * t / seconds)  # from 96 to about 116 bpm
    mono = [0.0] * (seconds * RATE)
    for h in hits:
        for i in range(int(0.25 * RATE)):
            if h + i < len(mono):
                tail = 0.02 * (rng.random() * 2 - 1) * math.exp(-i / (0.1 * RATE))
                mono[h + i] += hit(kind, i, rng) + tail
    for i in range(len(mono)):
        mono[i] += 0.15 * math.sin(2 * math.pi * 41 * i / RATE) + 0.01 * (rng.random() * 2 - 1)
    frames = b"".join(struct.pack("<hh", int(v * 30000), int(v * 29000)) for v in mono)
    write_wav(path, frames, 2)
    return hits


def write_wav(path, frames, channels):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


def taps_of(hits, seed):
    rng = random.Random(seed)
    taps = [h / RATE + 0.010 + rng.uniform(-0.015, 0.015) for h in hits]
    del taps[len(taps) // 2]             # a beat not tapped
    taps.insert(len(taps) // 3, taps[len(taps) // 3] + 0.03)  # a double tap
    return sorted(taps)


def main():
    recording, taps = sys.argv[1], sys.argv[2]
    kind = sys.argv[3] if len(sys.argv) > 3 else "noise"
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    hits = render(recording, kind, seed)
    with open(taps, "w") as f:
        f.write("".join(f"{t:.4f}\n" for t in taps_of(hits, seed)))
    print("\n".join(str(h) for h in hits))


if __name__ == "__main__":
    main()
