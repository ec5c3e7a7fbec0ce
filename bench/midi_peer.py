#!/usr/bin/env python3
"""What a user would write instead of -f midi: a mido script that reads a
text map (NAME tab tmap tab BPM tab BEATS tab MEASURES) or a list of beat
times (one a line, seconds) and writes a tempo event on every beat, the tempo
of that beat rounded to whole microseconds, with a time signature and a marker
where each section begins. Its beats drift by the roundings summed.
Usage: midi_peer.py MAP OUT.mid"""
import sys

import mido

TPQ = 960


def text_map_beats(lines):
    """(seconds a beat, beats a measure, name or None at a section's first beat) per beat."""
    for number, line in enumerate(lines, 1):
        fields = line.rstrip("\n").split("\t")
        name = fields[0] if len(fields) == 5 else ""
        bpm, per, measures = float(fields[-3]), int(fields[-2]), int(fields[-1])
        for k in range(per * int(measures)):
            yield 60 / bpm, per, (name or f"Section {number}") if k == 0 else None


def tap_beats(lines):
    times = [float(t) for t in lines if t.strip()]
    for a, b in zip(times, times[1:]):
        yield b - a, 4, None


def main():
    with open(sys.argv[1]) as f:
        lines = f.readlines()
    beats = text_map_beats(lines) if "\ttmap\t" in lines[0] or lines[0].startswith("tmap") else tap_beats(lines)
    track = mido.MidiTrack()
    meter, wait = None, 0
    for seconds, per, name in beats:
        if per != meter:
            track.append(mido.MetaMessage("time_signature", numerator=per, denominator=4, time=wait))
            meter, wait = per, 0
        if name is not None:
            track.append(mido.MetaMessage("marker", text=name, time=wait))
            wait = 0
        track.append(mido.MetaMessage("set_tempo", tempo=round(seconds * 1e6), time=wait))
        wait = TPQ
    track.append(mido.MetaMessage("end_of_track", time=wait))
    out = mido.MidiFile(type=1, ticks_per_beat=TPQ)
    out.tracks.append(track)
    out.save(sys.argv[2])


if __name__ == "__main__":
    main()
