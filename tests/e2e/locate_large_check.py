#!/usr/bin/env python3
"""--locate against a large MIDI map and many fitted beats, whole runs
pinned byte for byte.

Writes a MIDI file of 6,000 tempo events (many inside beats), meter changes
that cut measures short, and markers, and 14,000 times: exactly on divisions,
halfway between them, a rounding half and a hair to either side, anywhere,
before and after the map. Each run's OUTPUT must have the SHA-256 written
down here: the bytes as they were before the index kept fewer of each
stretch's times. The runs cover a grid tabled as doubles, one too long for
the table, an offset, and 7,000 beats fitted one stretch each. Usage: locate_large_check.py BEATMARKS [--print]
"""
import bisect
import hashlib
import subprocess
import sys
import tempfile
from fractions import Fraction
from pathlib import Path

TPQ = 500  # every tick time then ends in at most 9 decimals

RUNS = [
    (["-f", "csv", "-d", "2", "-r", "48000"], "csv", "large.mid"),
    (["-f", "labels", "-d", "3", "-r", "44100", "--offset=1.25"], "txt", "large.mid"),
    (["-f", "json", "-d", "600", "-r", "96000"], "json", "large.mid"),
    (["--fit", "-f", "csv", "-d", "2", "-r", "48000"], "fit.csv", "beats.txt"),
]
PINNED = [
    "b7b7ef1c72956eb22cb9f164d0fa97c4217f2cc287ded7a9c098090a3f401479",
    "35972db4ef07e9e1d776b27e772777df14cc8dc31ab4f4e412cf1aaac509d78c",
    "28baaee031e037b8bda2417fa99ec001361f2b72aa7218d5b9d11c567a14ac02",
    "a285466e9260ed0669f50d5701d72d62c581c0386f27a0d33905e35bc76a2e37",
]


class Numbers:
    """A fixed linear congruential sequence: the same file on every Python."""

    def __init__(self, seed):
        self.state = seed

    def below(self, n):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % 2**64
        return (self.state >> 33) % n


def var_length(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def events(rng):
    """(tick, bytes) of the tempo map, and its tempo changes as (tick, micros)."""
    tempos, meters, markers = [], [], []
    tick = 0
    for i in range(6000):
        micros = 300000 + rng.below(900000)
        tempos.append((tick, micros))
        tick += 60 + rng.below(640)
    end = tick
    for beat in range(0, end // TPQ, 37):
        numerator, power = [(4, 2), (3, 2), (5, 2), (6, 3)][rng.below(4)]
        meters.append((beat * TPQ, bytes([0xFF, 0x58, 4, numerator, power, 24, 8])))
    for n, at in enumerate(range(TPQ * 11, end, TPQ * 173)):
        markers.append((at, bytes([0xFF, 0x06, 7]) + f"Part{n:03d}".encode()[:7]))
    tempo_events = [(t, bytes([0xFF, 0x51, 3]) + m.to_bytes(3, "big")) for t, m in tempos]
    return sorted(meters + markers + tempo_events, key=lambda e: e[0]), tempos, end


def midi_file(all_events, end):
    track, last = bytearray(), 0
    for tick, data in all_events:
        track += var_length(tick - last) + data
        last = tick
    track += var_length(end - last) + b"\xFF\x2F\x00"
    header = b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1]) + TPQ.to_bytes(2, "big")
    return header + b"MTrk" + len(track).to_bytes(4, "big") + bytes(track)


class Clock:
    """Exact seconds at any tick, from the tempo changes' running sums."""

    def __init__(self, tempos):
        self.ticks = [t for t, _ in tempos]
        self.tempos = tempos
        self.starts = [Fraction(0)]
        for (at, micros), (next_at, _) in zip(tempos, tempos[1:]):
            self.starts.append(self.starts[-1] + Fraction(micros * (next_at - at), TPQ * 10**6))

    def __call__(self, tick):
        i = bisect.bisect_right(self.ticks, tick) - 1
        at, micros = self.tempos[i]
        return self.starts[i] + Fraction(micros * (tick - at), TPQ * 10**6)


def decimal(t, places):
    scaled = (t * 10**places).__floor__()
    sign = "-" if scaled < 0 else ""
    whole, part = divmod(abs(scaled), 10**places)
    return f"{sign}{whole}.{part:0{places}d}"


def times(rng, time_at, end):
    hair, half = Fraction(1, 10**25), Fraction(1, 2 * 10**6)
    lines = ["-0.5", "0", decimal(time_at(end), 9), decimal(time_at(end) * 2, 3)]
    for _ in range(1600):
        tick = rng.below(end // 125) * 125  # on a division of two, three or 600 a beat
        on = time_at(tick)
        middle = (on + time_at(tick + 125)) / 2
        for t in (on, middle, on + half, on - half):
            lines += [decimal(t, 10), decimal(t + hair, 25), decimal(t - hair, 25)]
    length = int(time_at(end)) + 2
    lines += [f"{rng.below(length * 10**6) / 10**6:.6f}" for _ in range(4000)]
    return "".join(line + "\n" for line in lines)


def beats(rng):
    """7,000 tapped beats a little uneven, in microseconds: as many fitted stretches."""
    t, lines = 0, []
    for _ in range(7000):
        t += 450000 + rng.below(100000)
        lines.append(f"{t // 10**6}.{t % 10**6:06d}\n")
    return "".join(lines)


def main():
    binary = sys.argv[1]
    rng = Numbers(2026)
    all_events, tempos, end = events(rng)
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        (folder / "large.mid").write_bytes(midi_file(all_events, end))
        (folder / "times.txt").write_text(times(rng, Clock(tempos), end))
        (folder / "beats.txt").write_text(beats(rng))
        failed = 0
        for (options, suffix, tempo_map), pinned in zip(RUNS, PINNED):
            out = folder / f"out.{suffix}"
            done = subprocess.run([binary, *options, f"--locate={folder / 'times.txt'}",
                                   str(folder / tempo_map), str(out)], capture_output=True, text=True)
            digest = hashlib.sha256(out.read_bytes()).hexdigest() if done.returncode == 0 else ""
            if "--print" in sys.argv:
                print(f'    "{digest}",  # {" ".join(options)}: {done.returncode}')
            elif digest != pinned:
                failed += 1
                print(f"{' '.join(options)}: status {done.returncode}, SHA-256 {digest}, "
                      f"want {pinned}\n{done.stdout}{done.stderr}")
        sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
