#!/usr/bin/env python3
"""Writes the example MIDI tempo map examples/ramp-and-6-8.mid and the small
MIDI files the MIDI reader's fuzz target starts from (fuzz/seeds/midi/).

Plain Python, no MIDI library: the bytes are put together here.
Usage: scripts/make-midi-examples.py   (from anywhere; paths are the repository's)
"""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def var_length(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def chunk(kind, body):
    return kind + len(body).to_bytes(4, "big") + body


def header(fmt, tracks, ticks_per_quarter):
    return chunk(b"MThd", fmt.to_bytes(2, "big") + tracks.to_bytes(2, "big")
                 + ticks_per_quarter.to_bytes(2, "big"))


def track(events):
    """events: (absolute tick, event bytes) in order; the end of track at the
    last tick is added."""
    body, now = b"", 0
    for tick, data in events:
        body += var_length(tick - now) + data
        now = tick
    return chunk(b"MTrk", body + b"\x00\xFF\x2F\x00")


def tempo(bpm):
    return b"\xFF\x51\x03" + round(60_000_000 / bpm).to_bytes(3, "big")


def meter(numerator, power, clocks):
    return bytes([0xFF, 0x58, 0x04, numerator, power, clocks, 8])


def text(words):
    return b"\xFF\x01" + var_length(len(words)) + words


def marker(words):
    return b"\xFF\x06" + var_length(len(words)) + words


def notes(start, stop, step, key=60):
    """A note every step ticks, all after the first in running status."""
    events = [(start, bytes([0x90, key, 100]))]
    for tick in range(start + step // 2, stop, step // 2):
        on = (tick - start) // (step // 2) % 2 == 0
        events.append((tick, bytes([key, 100 if on else 0])))
    return events


def ramp_and_six_eight():
    """Two bars of 4/4 at 100, two bars speeding up to 140 an eighth note at a
    time, then four bars of 6/8 clicking in dotted quarters; a marker names
    each part where its first change is."""
    q = 480
    conductor = [(0, text(b"Ramp and 6/8")), (0, meter(4, 2, 24)), (0, tempo(100)),
                 (0, marker(b"Steady"))]
    for step in range(1, 17):
        if step == 1:
            conductor.append((2 * 4 * q + q // 2, marker(b"Ramp")))
        conductor.append((2 * 4 * q + step * q // 2, tempo(100 + 40 * step / 16)))
    six_eight = 4 * 4 * q
    conductor.append((six_eight, meter(6, 3, 36)))
    conductor.append((six_eight, marker(b"Six-eight")))
    end = six_eight + 4 * 3 * q
    conductor.append((end, text(b"end")))
    return header(1, 2, q) + track(conductor) + track(notes(0, end, q))


def format_zero():
    """One track in 7/8 with tempo changes among notes, a system exclusive
    message and a text event."""
    events = [(0, meter(7, 3, 12)), (0, tempo(90)), (0, b"\xF0\x03\x7E\x09\xF7")]
    events += notes(0, 96 * 7, 48, 62)
    events.insert(5, (96, tempo(120)))
    events.append((96 * 7, text(b"seven")))
    return header(0, 1, 96) + track(sorted(events, key=lambda e: e[0]))


def cut_meter():
    """4/4 cut short by 3/4 after a beat and a half; the second track sets a
    tempo at the same tick as the first and ends off the bar line."""
    q = 96
    first = [(0, tempo(120)), (4 * q, tempo(60)), (5 * q + q // 2, meter(3, 2, 24))]
    second = [(4 * q, tempo(80))] + notes(4 * q, 9 * q + 5, q, 64)
    return header(1, 2, q) + track(first) + track(second) + chunk(b"XTRA", b"\x00\x01")


def write(path, data):
    with open(os.path.join(ROOT, path), "wb") as out:
        out.write(data)


def main():
    example = ramp_and_six_eight()
    write("examples/ramp-and-6-8.mid", example)
    os.makedirs(os.path.join(ROOT, "fuzz/seeds/midi"), exist_ok=True)
    write("fuzz/seeds/midi/ramp-and-6-8.mid", example)
    write("fuzz/seeds/midi/format-0.mid", format_zero())
    write("fuzz/seeds/midi/cut-meter.mid", cut_meter())


if __name__ == "__main__":
    main()
