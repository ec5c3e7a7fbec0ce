#!/usr/bin/env python3
"""The peer of --locate: what a user would write instead with numpy. The grid
of division times in doubles (cumulative sums of the tempo map), each time of
TIMES found by searchsorted, the nearest division, the deviation and how far
into the beat, written as CSV. For a text map (tmap lines) or a MIDI file of
4/4 with tempo events (read with mido).
Usage: bench/locate_peer.py MAP TIMES DIVISIONS RATE OUTPUT"""
import sys

import numpy as np


def text_grid(path, divisions):
    """Division times, and each division's measure, beat and division."""
    tempos, beats, measures = [], [], []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if "tmap" in fields:
                at = fields.index("tmap")
                tempo, per, count = fields[at + 1:at + 4]
                tempos.append(float(tempo))
                beats.append(int(per))
                measures.append(int(count))
    steps, meas, beat, div = [], [], [], []
    first = 0
    for tempo, per, count in zip(tempos, beats, measures):
        n = per * count * divisions
        steps.append(np.full(n, 60.0 / tempo / divisions))
        k = np.arange(n)
        meas.append(first + k // (per * divisions))
        beat.append(k // divisions % per)
        div.append(k % divisions)
        first += count
    return (np.concatenate([[0.0], np.cumsum(np.concatenate(steps))]), np.concatenate(meas),
            np.concatenate(beat), np.concatenate(div))


def midi_grid(path, divisions):
    import mido
    song = mido.MidiFile(path)
    tempo, tick, changes = 500000, 0, []
    end = 0
    for message in mido.merge_tracks(song.tracks):
        tick += message.time
        if message.type == "set_tempo":
            changes.append((tick, message.tempo))
        end = tick
    per = song.ticks_per_beat // divisions
    ticks = np.arange(0, end + 1, per)
    at = np.array([c[0] for c in changes])
    micros = np.array([c[1] for c in changes], dtype=float)
    which = np.searchsorted(at, ticks[:-1], side="right") - 1
    seconds = micros[which] / 1e6 / song.ticks_per_beat * per
    grid = np.concatenate([[0.0], np.cumsum(seconds)])
    k = np.arange(len(ticks) - 1)
    return grid, k // (4 * divisions), k // divisions % 4, k % divisions


def main():
    map_path, times_path, divisions, rate, output = sys.argv[1:6]
    divisions, rate = int(divisions), int(rate)
    with open(map_path, "rb") as f:
        midi = f.read(4) == b"MThd"
    grid, meas, beat, div = (midi_grid if midi else text_grid)(map_path, divisions)
    t = np.loadtxt(times_path, ndmin=1)
    last = len(grid) - 1
    i = np.searchsorted(grid, t, side="right") - 1
    inside = (i >= 0) & (i < last)
    j = np.clip(i, 0, last - 1)
    later = (grid[j + 1] - t <= t - grid[j]) & (j + 1 < last)
    near = np.where(later, j + 1, j)
    deviation = t - grid[near]
    frames = np.floor(deviation * rate + 0.5).astype(np.int64)
    start = j - div[j]
    into = (t - grid[start]) / (grid[np.minimum(start + divisions, last)] - grid[start])
    last1 = np.minimum(near, last - 1)
    # Plain lists: indexing numpy arrays one element at a time is slow.
    t_, i_, inside_, into_, dev_, frames_ = (a.tolist() for a in (t, i, inside, into, deviation, frames))
    m_, b_ = (meas[j] + 1).tolist(), (beat[j] + 1).tolist()
    nm, nb, nd = (meas[last1] + 1).tolist(), (beat[last1] + 1).tolist(), (div[last1] + 1).tolist()
    rows = ["time,where,measure,beat,into_beat,nearest,deviation,deviation_frames"]
    for n in range(len(t_)):
        if not inside_[n]:
            rows.append(f"{t_[n]},{'before' if i_[n] < 0 else 'after'},,,,,,")
            continue
        rows.append(f"{t_[n]},in,{m_[n]},{b_[n]},{into_[n]:.6f},{nm[n]}.{nb[n]}.{nd[n]},{dev_[n]:.9f},{frames_[n]}")
    with open(output, "w") as f:
        f.write("\r\n".join(rows) + "\r\n")


main()
