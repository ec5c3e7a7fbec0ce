#!/usr/bin/env python3
"""Independent check of --fit against a performance made here: a pickup, a
slowing 4/4, a rushing 3/4, a fermata, a last measure left open; its beats as
a label track, a CSV with measure and beat columns, a plain list and a WAV
file's cue points. Every CSV row, fitted by beat and by measure, with 1 and 2
divisions, is the division computed here in fractions; clicks begin and
markers lie on those frames; where the build has them, -f midi read back by
mido puts every beat within 1 us and --locate finds each beat on its time.
Exits 77 without mido.

Usage: fit_check.py BEATMARKS
"""
import csv
import io
import random
import re
import struct
import subprocess
import sys
import tempfile
import wave
from fractions import Fraction
from pathlib import Path

try:
    import mido
except ImportError:
    print("mido is not installed: the fit is not checked")
    sys.exit(77)

RATE = 44100
WAV_RATE = 48000


def run(program, args, check=True):
    r = subprocess.run([program] + [str(a) for a in args], capture_output=True, text=True)
    assert not check or r.returncode == 0, f"{args}: status {r.returncode}\n{r.stdout}{r.stderr}"
    return r


def half_up(x):
    return (x.numerator * 2 + x.denominator) // (2 * x.denominator)


def decimals(t, places):
    """t rounded half up to `places` decimals, as text."""
    n = half_up(t * 10**places)
    return f"{n // 10**places}.{n % 10**places:0{places}d}" if places else str(n)


def performance(seed=7):
    """Beats as (exact time, measure, beat from 0) and the measures' lengths:
    measure 0 a pickup of two beats of 4/4, measures 1-8 slowing from 96 to 70
    bpm, 9-14 in 3/4 rushing to 130 bpm, 15-17 in 4/4 with a fermata on 16.1,
    and two beats of measure 18, where the map ends."""
    rng = random.Random(seed)
    lengths = [4] + [4] * 8 + [3] * 6 + [4] * 3 + [4]
    places = [(0, 2), (0, 3)] + [(m, b) for m in range(1, 18) for b in range(lengths[m])] + [(18, 0), (18, 1)]
    t, beats = Fraction(5, 4), []
    for i, (m, b) in enumerate(places):
        beats.append((t, m, b))
        bpm = 96 - 26 * max(m - 1, 0) / 7 if m < 9 else 70 + 60 * (m - 8) / 6 if m < 15 else 110
        held = 3 if (m, b) == (16, 0) else 1
        t += Fraction(60 / bpm * held * (1 + rng.uniform(-0.02, 0.02))).limit_denominator(10**7)
    return beats, lengths


def fitted(beats, lengths, mode, divisions, first_number):
    """Every division of the fitted map: (time, measure number, beat, division)."""
    n = len(beats)
    anchors = [k for k, (_, _, b) in enumerate(beats) if mode == "beat" or k in (0, n - 1) or b == 0]
    if mode == "measure":
        # A beat more than 30% of the spacing off its even place (a fermata) stays where it was played.
        held, a = [0], 0
        while a < n - 1:
            z = next(k for k in anchors if k > a)
            step = (beats[z][0] - beats[a][0]) / (z - a)
            z = next((j for j in range(a + 1, z) if abs(beats[j][0] - beats[a][0] - (j - a) * step) > step * Fraction(3, 10)), z)
            held.append(z)
            a = z
        anchors = held
    rows = []
    for a, z in zip(anchors, anchors[1:]):
        step = (beats[z][0] - beats[a][0]) / (z - a) / divisions
        for j in range((z - a) * divisions):
            _, m, b = beats[a + j // divisions]
            rows.append((beats[a][0] + j * step, m + first_number, b + 1, j % divisions + 1))
    # The map ends with the last beat played.
    t, m, b = beats[-1]
    rows.append((t, m + first_number, b + 1, 1))
    return rows


def csv_rows(program, args):
    out = run(program, ["-f", "csv"] + args + ["-"]).stdout
    return [(r["time"], int(r["frame"]), int(r["measure"]), int(r["beat"]), int(r["division"]), r["label"])
            for r in csv.DictReader(io.StringIO(out))]


def check_csv(program, path, wanted_beats, lengths, first, rate, options=()):
    for mode in ("beat", "measure"):
        for d in (1, 2):
            rows = csv_rows(program, [f"--fit={mode}", "-d", d] + list(options) + [path])
            want = fitted(wanted_beats, lengths, mode, d, first)
            assert len(rows) == len(want), (path, mode, d, len(rows), len(want))
            for row, (t, m, b, div) in zip(rows, want):
                label = f"{m}.{b}" + (f".{div}" if d > 1 else "")
                assert row == (decimals(t, 9), half_up(t * rate), m, b, div, label), (path, mode, d, row, t)


def wav_bytes(rate, frames, cues):
    """A mono 16-bit WAV of silence with a cue point (id, sample, name) each."""
    def chunk(cid, body):
        return cid + struct.pack("<I", len(body)) + body + b"\0" * (len(body) % 2)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    cue = struct.pack("<I", len(cues)) + b"".join(
        struct.pack("<II4sIII", i, s, b"data", 0, 0, s) for i, s, _ in cues)
    adtl = b"adtl" + b"".join(chunk(b"labl", struct.pack("<I", i) + name.encode() + b"\0") for i, _, name in cues)
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"data", b"\0\0" * frames) + chunk(b"cue ", cue) + chunk(b"LIST", adtl)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def read_cues(path):
    """(sample, name) of each cue point of a WAV file, in position order."""
    data, at, samples, names = Path(path).read_bytes(), 12, {}, {}
    while at + 8 <= len(data):
        size = struct.unpack_from("<I", data, at + 4)[0]
        cid, body = data[at:at + 4], data[at + 8:at + 8 + size]
        if cid == b"cue ":
            count = struct.unpack_from("<I", body)[0]
            samples = {c[0]: c[5] for c in struct.iter_unpack("<II4sIII", body[4:4 + 24 * count])}
        elif cid == b"LIST" and body[:4] == b"adtl":
            p = 4
            while p + 8 <= len(body):
                n = struct.unpack_from("<I", body, p + 4)[0]
                if body[p:p + 4] == b"labl":
                    names[struct.unpack_from("<I", body, p + 8)[0]] = body[p + 12:p + 8 + n].split(b"\0")[0].decode()
                p += 8 + n + n % 2
        at += 8 + size + size % 2
    return sorted((s, names.get(i, "")) for i, s in samples.items())


def check_clicks(program, path, want, folder, options=()):
    """Each click of the track begins on its division's frame."""
    out = folder / "clicks.wav"
    run(program, ["--fit", "-f", "wav"] + list(options) + [path, out])
    with wave.open(str(out)) as w:
        rate, width, channels = w.getframerate(), w.getsampwidth(), w.getnchannels()
        frames = w.readframes(w.getnframes())
    size = width * channels

    def silent(f):
        return frames[f * size:(f + 1) * size] == b"\0" * size
    for t, *_ in want:
        f = half_up(t * rate)
        assert not silent(f) and all(silent(g) for g in range(f - 16, f)), (path, t, f)
    assert [s for s, _ in read_cues(out)] == [half_up(t * rate) for t, *_ in want]


def check_midi(program, path, want, folder, options=()):
    """Every beat of the MIDI file, placed as MIDI readers place it, within 1 us."""
    out = folder / "fit.mid"
    run(program, ["--fit", "-f", "midi"] + list(options) + [path, out])
    f, events = mido.MidiFile(str(out)), []
    for track in f.tracks:
        tick = 0
        for m in track:
            tick += m.time
            events.append((tick, m))
    tempos = [(t, m.tempo) for t, m in events if m.type == "set_tempo"]
    meters = [(t, m.numerator, m.denominator) for t, m in events if m.type == "time_signature"]

    def seconds(tick):
        t, last, micros = Fraction(0), 0, 500000
        for at, value in tempos:
            if at >= tick:
                break
            t, last, micros = t + Fraction((at - last) * micros, f.ticks_per_beat), at, value
        return (t + Fraction((tick - last) * micros, f.ticks_per_beat)) / 10**6
    end = max(t for t, _ in events)
    beats = []
    for i, (at, _, den) in enumerate(meters):
        # An x/8 bar beats in dotted quarters.
        step = 4 * f.ticks_per_beat // den * (3 if den == 8 else 1)
        stop = meters[i + 1][0] if i + 1 < len(meters) else end
        beats += range(at, stop, step)
    # Tempo events on beats (a 6/8 file's dotted quarters) or quarter notes, where a DAW keeps them.
    placed = set(beats)
    assert all(t in placed or t % f.ticks_per_beat == 0 for t, _ in tempos), (path, tempos[:8])
    times = [seconds(b) for b in beats][-len(want):]
    worst = max(abs(s - t) for s, (t, *_) in zip(times, want))
    assert len(times) == len(want) and worst <= Fraction(1, 10**6), (path, worst)
    # The DAW's bar lines fall on the downbeats given; a pickup is a short bar of its own.
    bars = set()
    for i, (at, num, den) in enumerate(meters):
        stop = meters[i + 1][0] if i + 1 < len(meters) else end
        bars.update(range(at, stop, num * 4 * f.ticks_per_beat // den))
    # A time signature begins a bar of the one before it.
    off = [(at, num) for (at, num, den), (before, n, d) in zip(meters[1:], meters)
           if (at - before) % (n * 4 * f.ticks_per_beat // d)]
    assert not off, (path, meters, off)
    downbeats = [tick in bars for tick in beats[-len(want):]]
    wrong = [(k, w) for k, (d, w) in enumerate(zip(downbeats, want)) if d != (w[2] == 1 or k == 0)]
    assert not wrong, (path, meters, wrong[:4])
    return {(m.numerator, m.denominator, m.clocks_per_click) for _, m in events if m.type == "time_signature"}


def check_summary(program, path, want, meter, options=()):
    """One row a measure: its first beat's time, its beats' tempos (slowest,
    mean, fastest; the last beat keeps the tempo before it), meter, beats."""
    out = run(program, ["-f", "summary"] + list(options) + [path, "-"]).stdout.split("\n")
    rows = [re.split(r"  +", line.strip()) for line in out[1:out.index("")]]
    times = [t for t, *_ in want]
    tempos = [60 / (b - a) for a, b in zip(times, times[1:])]
    tempos.append(tempos[-1])
    measures = {}
    for (t, m, _, _), bpm in zip(want, tempos):
        measures.setdefault(m, (t, []))[1].append(bpm)
    assert len(rows) == len(measures), (path, options, len(rows), len(measures))
    for row, (m, (t, bpms)) in zip(rows, sorted(measures.items())):
        number, start, tempo, shown_meter, count = row
        assert (int(number), int(count), shown_meter) == (m, len(bpms), meter(m)), (row, m)
        assert start.endswith(f"({decimals(t, 9)} s)"), (row, t)
        spread = [float(x) for x in tempo.split("\u2013")]
        exact = [min(bpms), sum(bpms) / len(bpms), max(bpms)]
        wanted = exact if len(spread) == 3 else [exact[0]]
        assert all(abs(a - float(b)) < 0.0051 for a, b in zip(spread, wanted)), (row, [float(x) for x in exact])
    total = out[out.index("") + 1]
    assert total.startswith("Total ") and total.endswith(f", {len(want)} beats"), total


def tempo_ticks(svg):
    """The tempo axis's tick labels."""
    grid = re.search(r'<g font-size="11" text-anchor="end" fill="#444">\n(.*?)</g>', svg, re.S).group(1)
    return [float(label) for label in re.findall(r">([^<]+)</text>", grid)]


def check_picture_axis(program, plain, folder):
    """A double tap kept (--strict) is a spike of one beat: the axis covers
    the playing, the spike is drawn at its edge and marked; without it the
    axis covers every tempo and nothing is marked."""
    spiky = plain[:20] + [decimals(Fraction(plain[19]) + Fraction(1, 25), 4)] + plain[20:]
    (folder / "spiky.list").write_text("\n".join(spiky) + "\n")
    played = run(program, ["--fit", "-f", "svg", folder / "taps.list", "-"]).stdout
    spike = run(program, ["--fit", "--strict", "-f", "svg", folder / "spiky.list", "-"]).stdout
    assert "off the axis" not in played and "#d1361f" not in played
    assert "off the axis: up to 1" in spike and '<path fill="#d1361f" d="M' in spike, spike
    assert max(tempo_ticks(spike)) < 200, tempo_ticks(spike)


def check_locate(program, path, given, folder):
    """Each given time lies on its beat, no deviation."""
    times = folder / "given.txt"
    times.write_text("".join(f"{decimals(t, 9)}\n" for t in given))
    out = run(program, ["--fit", f"--locate={times}", "-f", "csv", path, "-"]).stdout
    rows = list(csv.DictReader(io.StringIO(out)))
    assert len(rows) == len(given) and all(
        r["where"] == "in" and Fraction(r["deviation"]) == 0 and int(r["deviation_frames"]) == 0 for r in rows), out


def main():
    program = sys.argv[1]
    help_text = run(program, ["--help"]).stdout
    beats, lengths = performance()
    with tempfile.TemporaryDirectory() as d:
        folder = Path(d)
        # A label track and a CSV as editors write them, with positions.
        labels = folder / "taps.txt"
        labels.write_text("".join(f"{decimals(t, 6)}\t{decimals(t, 6)}\t{m}.{b + 1}\n" for t, m, b in beats))
        as_labels = [(Fraction(decimals(t, 6)), m, b) for t, m, b in beats]
        check_csv(program, labels, as_labels, lengths, 0, RATE)
        table = folder / "taps.csv"
        table.write_text("time,measure,beat,note\r\n" +
                         "".join(f"{decimals(t, 9)},{m},{b + 1},\"x, y\"\r\n" for t, m, b in beats))
        as_csv = [(Fraction(decimals(t, 9)), m, b) for t, m, b in beats]
        check_csv(program, table, as_csv, lengths, 0, RATE)
        # A plain list: times of 1 to 7 decimals, beats from 1.1 in 3/4.
        rng = random.Random(3)
        plain = [decimals(t, rng.choice([1, 2, 4, 7])) for t, _, _ in beats]
        (folder / "taps.list").write_text("\n".join(plain) + "\n")
        count = len(plain)
        as_list = [(Fraction(p), k // 3, k % 3) for k, p in enumerate(plain)]
        check_csv(program, folder / "taps.list", as_list, [3] * (count // 3 + 1), 1, RATE, ["--meter=3"])
        # Cue points of a recording at its own rate, in no particular order in the chunk.
        cues = [(100 + k, half_up(t * WAV_RATE), f"{m}.{b + 1}") for k, (t, m, b) in enumerate(beats)]
        random.Random(5).shuffle(cues)
        recording = folder / "take.wav"
        recording.write_bytes(wav_bytes(WAV_RATE, half_up(beats[-1][0] * WAV_RATE) + WAV_RATE * 4, cues))
        as_cues = [(Fraction(half_up(t * WAV_RATE), WAV_RATE), m, b) for t, m, b in beats]
        check_csv(program, recording, as_cues, lengths, 0, WAV_RATE)
        # Markers on the performer's own samples, named as the map numbers them.
        into = folder / "marked.wav"
        run(program, ["--fit", "--into", recording, "-f", "wav", recording, into])
        # None after the last beat played.
        assert read_cues(into) == sorted((s, name) for _, s, name in cues)

        check_clicks(program, labels, fitted(as_labels, lengths, "beat", 1, 0), folder)
        check_clicks(program, recording, fitted(as_cues, lengths, "beat", 1, 0), folder)
        # The fermata is doubtful, and said so; the beat before it is not.
        r = run(program, ["--fit", "-f", "csv", labels, folder / "out.csv"])
        assert "Warning: beat 16.1 at " in r.stderr and "Warning: beat 15.4 at " not in r.stderr, r.stderr

        checked = []
        probe = run(program, ["--fit", "-f", "midi", table, folder / "probe.mid"], False)
        if "unknown format 'midi'" not in probe.stdout + probe.stderr:
            check_midi(program, table, fitted(as_csv, lengths, "beat", 1, 0), folder)
            # The pickup at 0 s, without a count-in: its short bar comes first.
            at_zero = folder / "at_zero.csv"
            at_zero.write_text("time,measure,beat\n" +
                               "".join(f"{decimals(t - as_csv[0][0], 9)},{m},{b + 1}\n" for t, m, b in as_csv))
            check_midi(program, at_zero, [(t - as_csv[0][0], *rest) for t, *rest in
                                          fitted(as_csv, lengths, "beat", 1, 0)], folder)
            check_midi(program, folder / "taps.list", fitted(as_list, [3] * (count // 3 + 1), "beat", 1, 1), folder,
                       ["--meter=3"])
            # 6/8, 9/8, 12/8: a tapped beat is a dotted quarter, clicked as one.
            for meter, per in (("6/8", 2), ("9/8", 3), ("12/8", 4)):
                as_compound = [(Fraction(p), k // per, k % per) for k, p in enumerate(plain)]
                signatures = check_midi(program, folder / "taps.list", fitted(as_compound, None, "beat", 1, 1),
                                        folder, [f"--meter={meter}"])
                assert signatures == {(3 * per, 8, 36)}, (meter, signatures)
            # Bars of four and three labelled beats in 12/8 and 9/8, the pickup's two a bar of 6/8
            # (the meter given is the one the places start in).
            signatures = check_midi(program, table, fitted(as_csv, lengths, "beat", 1, 0), folder, ["--meter=12/8"])
            assert {(n, d) for n, d, _ in signatures} == {(6, 8), (12, 8), (9, 8)}, signatures
            checked.append("-f midi")
        check_picture_axis(program, plain, folder)
        for mode in ("beat", "measure"):
            check_summary(program, table, fitted(as_csv, lengths, mode, 1, 0), lambda m: f"{lengths[m]} beats",
                          [f"--fit={mode}"])
            check_summary(program, table, fitted(as_csv, lengths, mode, 1, 0), lambda m: f"{3 * lengths[m]}/8",
                          [f"--fit={mode}", "--meter=12/8"])
        # The offset is where the range's first beat was played, whichever measure it starts at.
        for start in [0, 1, 2, 9, 17]:
            out = run(program, ["--fit", "-f", "json", "-s", str(start), table, "-"]).stdout
            offset = Fraction(re.search(r'"offset":([0-9.]+)', out).group(1))
            first = next(t for t, m, _ in as_csv if m == start)
            assert abs(offset - first) < Fraction(1, 10**9), (start, offset, first)
        if "--locate" in help_text:
            check_locate(program, table, [t for t, _, _ in as_csv], folder)
            checked.append("--locate")
    missing = [x for x in ("-f midi", "--locate") if x not in checked]
    print(f"fit: {len(beats)} beats in four forms, every division on its time"
          + (f"; checked {', '.join(checked)}" if checked else "")
          + (f"; this build has no {' or '.join(missing)}: not checked" if missing else ""))


if __name__ == "__main__":
    main()
