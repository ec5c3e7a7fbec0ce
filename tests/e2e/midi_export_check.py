#!/usr/bin/env python3
"""Independent check of the MIDI export (-f midi).

Exports tempo maps, reads each file back with mido and places every beat as
MIDI readers do (the sum of ticks x microseconds a quarter note / 960), in
exact fractions: each lies within the bound of its time computed here from
the map (for a MIDI map, from the source read the same way); markers and
time signatures are the map's. The program's CSV of its own file matches the
map's within the bound. Every tempo event lies on a beat or a quarter note,
where a DAW's import keeps it, unless the bound is too fine for those ticks,
and the run then counts the others. The tempo events are the fewest that
keep the beats in bound, against a search over every way of placing the two
roundings of the map's tempo on beats, and the run's counts are its file's. Exits 77 without mido
or without -f midi.

Usage: midi_export_check.py BEATMARKS EXAMPLES
"""
import bisect
import csv
from decimal import Decimal
import io
import math
import re
import subprocess
import sys
import tempfile
from collections import deque
from fractions import Fraction
from pathlib import Path

try:
    import mido
except ImportError:
    print("mido is not installed: the MIDI export is not checked")
    sys.exit(77)

RATE = 44100


def run(program, args, check=True):
    r = subprocess.run([program] + args, capture_output=True, text=True)
    assert not check or r.returncode == 0, f"{args}: status {r.returncode}\n{r.stdout}{r.stderr}"
    return r


def read(path):
    """The file, its tempos, time signatures, markers, track names and end."""
    f = mido.MidiFile(path)
    events, end = [], 0
    for track in f.tracks:
        tick = 0
        for m in track:
            tick += m.time
            events.append((tick, m))
        end = max(end, tick)
    of = lambda kind: [(t, m) for t, m in events if m.type == kind]  # noqa: E731
    return (f, [(t, m.tempo) for t, m in of("set_tempo")],
            [(t, m.numerator, m.denominator, m.clocks_per_click) for t, m in of("time_signature")],
            [(t, m.text) for t, m in of("marker")], [m.name for _, m in of("track_name")], end)


PREFIXES = {}  # id of a tempo list -> (the list, where each of its events lies)


def seconds_at(tick, tempos, tpq):
    kept = PREFIXES.get(id(tempos))
    if kept is None or kept[0] is not tempos:
        starts, t, last, micros = [], Fraction(0), 0, 500000
        for at, value in tempos:
            t, last, micros = t + Fraction((at - last) * micros, tpq), at, value
            starts.append(t)
        kept = PREFIXES[id(tempos)] = (tempos, starts, [at for at, _ in tempos])
    _, starts, ticks = kept
    i = bisect.bisect_left(ticks, tick)  # the events before the tick
    if i == 0:
        return Fraction(tick * 500000, tpq) / 10**6
    return (starts[i - 1] + Fraction((tick - ticks[i - 1]) * tempos[i - 1][1], tpq)) / 10**6


def beats_of(meters, end, tpq, click):
    """(tick, beat of its measure) up to the bar line at or after the end; a
    time signature begins a measure."""
    beats = []
    for i, (at, num, den, clocks) in enumerate(meters):
        step = Fraction(tpq * clocks, 24) if click else Fraction(4 * tpq, den)
        per = int(Fraction(4 * tpq * num, den) / step)
        stop = meters[i + 1][0] if i + 1 < len(meters) else at - (at - end) // (per * step) * per * step
        beats += [(at + k * step, k % per) for k in range(-(-(stop - at) // step))]
    return beats


def check_file(path, want, bound, click=False):
    """The file's beats against (time, beat) wanted: the lead-in's length and what was read."""
    f, tempos, meters, markers, names, end = read(path)
    assert (f.type, f.ticks_per_beat, len(f.tracks)) == (1, 960, 1)
    beats = beats_of(meters, end, 960, click)
    lead = len(beats) - len(want)
    assert lead >= 0 and (lead == 0) == (want[0][0] <= bound), (path, len(beats), len(want))
    for i, ((tick, b), (t, wanted_b)) in enumerate(zip(beats[lead:], want)):
        assert abs(seconds_at(tick, tempos, 960) - t) <= bound and b == wanted_b, (path, i, b)
    on_beats = {tick for tick, _ in beats}
    between = [tick for tick, _ in tempos if tick % 960 != 0 and tick not in on_beats]
    assert bound < Fraction(1, 2 * 10**6) or not between, (path, between[:5])
    return lead, beats, meters, markers, names, tempos, len(between)


def csv_rows(program, args):
    out = run(program, ["-f", "csv"] + args + ["-"]).stdout
    return [(Fraction(r["time"]), int(r["frame"]), r["label"]) for r in csv.DictReader(io.StringIO(out))]


def text_map(program, folder, name, sections, options=(), bound=Fraction(1, 10**6), offset="0",
             first=1, last=None):
    last = last or sum(s[3] for s in sections)
    path, out = folder / f"{name}.tmap", folder / f"{name}.mid"
    path.write_text("".join(f"{n}\ttmap\t{t}\t{per}\t{count}\n" for n, t, per, count in sections))
    run(program, ["-f", "midi", f"--offset={offset}", "-s", str(first), "-e", str(last)] +
        list(options) + [str(path), str(out)])
    t, want, starts, measure = Fraction(0), [], [], 1
    for number, (_, tempo, per, count) in enumerate(sections):
        for k in range(count * per):
            if first <= measure + k // per <= last:
                if not want or k == 0:
                    starts.append((len(want), number))
                want.append((t, k % per))
            t += 60 / Fraction(tempo)
        measure += count
    want = [(t - want[0][0] + Fraction(offset), b) for t, b in want]
    lead, beats, meters, markers, names, tempos, _ = check_file(out, want, bound)
    # Markers where sections begin, named after them; N/4 where N beats a measure begin.
    assert markers == [(beats[lead + i][0], sections[n][0] or f"Section {n + 1}") for i, n in starts]
    assert names == [path.name] and lead % sections[starts[0][1]][2] == 0, (names, lead)
    pers = [sections[n][2] for _, n in starts]
    wanted_meters = [(beats[lead + i][0] if k else 0, pers[k]) for k, (i, _) in enumerate(starts)
                     if k == 0 or pers[k] != pers[k - 1]]
    assert [(t, n) for t, n, d, _ in meters if d == 4] == wanted_meters == [m[:2] for m in meters]
    # The program's own reading of its file: the map's CSV within the bound.
    mine = csv_rows(program, [str(out)])[lead:]
    theirs = csv_rows(program, [f"--offset={offset}", "-s", str(first), "-e", str(last), str(path)])
    assert len(mine) == len(theirs) == len(want), name
    for (t, frame, _), (exact, _) in zip(mine, want):
        assert abs(t - exact) <= bound + Fraction(1, 2 * 10**9), (name, t, exact)
        assert abs(frame - round(exact * RATE)) <= -(-bound * RATE // 1), (name, frame)
    print(f"{name}: {len(want)} beats, {len(tempos)} tempo events, lead-in {lead} beats")
    return lead, tempos


def spread(costs, dlo, dhi, lo, hi, extra):
    """Each c2 in lo..hi: the least cost over c with c + dlo <= c2 <= c + dhi, plus extra."""
    out, window, items, i = {}, deque(), sorted(costs.items()), 0
    for c2 in range(lo, hi + 1):
        while i < len(items) and items[i][0] <= c2 - dlo:
            while window and window[-1][1] >= items[i][1]:
                window.pop()
            window.append(items[i])
            i += 1
        while window and window[0][0] < c2 - dhi:
            window.popleft()
        if window:
            out[c2] = window[0][1] + extra
    return out


def fewest(tempo, beats, bound, n=960, anywhere=False):
    """The fewest tempo events, each the tempo rounded down (u) or up (u + 1)
    on a beat (of a quarter note, n ticks), or at any tick, that keep beats
    1..beats within the bound: a search over c, the ticks at u + 1 so far, on
    every beat."""
    step, b = 60 / Fraction(tempo) * 960 * 10**6, bound * 960 * 10**6
    u = math.floor(step / n)
    if u * n == step:
        return 1
    cost = [{0: 1}, {0: 1}]  # by the tempo in force: c -> events
    for k in range(1, beats + 1):
        lo, hi = math.ceil(k * (step - u * n) - b), math.floor(k * (step - u * n) + b)
        new = [{}, {}]
        # (tempo after, least and most ticks at u + 1 in the beat, events): none, one, two
        ways = (((0, [(0, 0, 0, 0), (1, 1, n, 1), (0, 0, n, 2)]),
                 (1, [(1, n, n, 0), (0, 0, n - 1, 1), (1, 0, n, 2)])) if anywhere else
                ((0, [(0, 0, 0, 0), (1, n, n, 1)]), (1, [(1, n, n, 0), (0, 0, 0, 1)])))
        for m, ways in ways:
            for m2, dlo, dhi, extra in ways:
                for c2, e in spread(cost[m], dlo, dhi, lo, hi, extra).items():
                    new[m2][c2] = min(e, new[m2].get(c2, e))
        cost = new
    return min(min(c.values(), default=math.inf) for c in cost)


def fewest_on_grid(step, steps, b, n, quarter=960):
    """The fewest tempo events, each the tempo rounded down (u) or up (u + 1),
    on a beat or a quarter note inside one (beats of n ticks from tick 0,
    `step` reader units long), that keep the ends of `steps` beats within
    b: a search over c, the ticks at u + 1 so far, beat by beat."""
    u = math.floor(step / n)
    if u * n == step:
        return 1
    cost = [{0: 1}, {0: 1}]  # by the tempo in force: c -> events
    for k in range(steps):
        places = [p for p in range(n) if p == 0 or (k * n + p) % quarter == 0]
        lo, hi = math.ceil((k + 1) * (step - u * n) - b), math.floor((k + 1) * (step - u * n) + b)
        new = [{}, {}]
        for m in (0, 1):
            # (tempo after, ticks at u + 1 in the beat, events added)
            ways = [(m, n * m, 0)] + [(1 - m, n - p if m == 0 else p, 1) for p in places] + \
                   [(m, p2 - p1 if m == 0 else p1 + n - p2, 2) for p1 in places for p2 in places if p2 > p1]
            for c, e in cost[m].items():
                for m2, add, extra in ways:
                    if lo <= c + add <= hi and new[m2].get(c + add, math.inf) > e + extra:
                        new[m2][c + add] = e + extra
        cost = new
    return min(min(c.values(), default=math.inf) for c in cost)


def fitted_claims(program, folder, seconds, taps, drift):
    """Taps `seconds` apart as 6/8, each a dotted quarter of 1440 ticks: every
    beat and the end within the bound, events on beats or quarter notes, as
    few as any placement there allows. The count."""
    path, out, bound = folder / "even.txt", folder / "even.mid", Fraction(drift)
    path.write_text("".join(f"{Decimal(seconds) * k}\n" for k in range(taps)))
    run(program, ["--fit", "--meter=6/8", "-f", "midi", f"--max-drift={drift}", str(path), str(out)])
    _, tempos, meters, _, _, end = read(out)
    beats = [1440 * k for k in range(taps)] + [end]
    assert end == 1440 * taps and meters[0][1:3] == (6, 8), (end, meters)
    for k, tick in enumerate(beats):
        assert abs(seconds_at(tick, tempos, 960) - Fraction(seconds) * k) <= bound, (seconds, k)
    assert all(t % 1440 == 0 or t % 960 == 0 for t, _ in tempos), tempos[:8]
    step = Fraction(seconds) * 960 * 10**6
    least = fewest_on_grid(step, taps, bound * 960 * 10**6, 1440)
    assert len(tempos) == least, (seconds, taps, drift, len(tempos), least)
    return len(tempos)


def claims(program, folder, tempo, per, measures, drift):
    """One section: every beat and the end read back within the bound; the run's
    count of tempo events and largest drift are its file's. The count."""
    path, out, bound = folder / "claims.tmap", folder / "claims.mid", Fraction(drift)
    path.write_text(f"tmap\t{tempo}\t{per}\t{measures}\n")
    said = run(program, ["-f", "midi", f"--max-drift={drift}", str(path), str(out)]).stderr
    events, largest = re.search(r"(\d+) tempo events?, largest drift ([0-9.]+) s", said).groups()
    between = re.search(r"; (\d+) lies? between quarter notes, where a DAW's import moves them\n", said)
    beat = 60 / Fraction(tempo)
    _, beats, _, _, _, tempos, off = check_file(out, [(k * beat, k % per) for k in range(per * measures)],
                                                bound)
    assert off == (int(between.group(1)) if between else 0), (tempo, drift, said)
    end = read(out)[-1]
    drifts = [abs(seconds_at(tick, tempos, 960) - k * beat) for k, (tick, _) in
              enumerate(beats + [(end, 0)])]
    assert len(drifts) == per * measures + 1 and max(drifts) <= bound, (tempo, drift)
    assert len(tempos) == int(events), (tempo, drift, said)
    assert abs(max(drifts) - Fraction(largest)) <= Fraction(1, 2 * 10**9), (tempo, drift, said)
    return len(tempos), off


def midi_map(program, folder, source, click=False, bound=Fraction(1, 10**6)):
    out, beat = folder / f"{source.stem}{click}.mid", ["--beat=click"] if click else []
    run(program, ["-f", "midi"] + beat + [str(source), str(out)])
    f, tempos, meters, markers, _, end = read(source)
    want = [(seconds_at(tick, tempos, f.ticks_per_beat), b)
            for tick, b in beats_of(meters, end, f.ticks_per_beat, click)]
    lead, beats, out_meters, out_markers, _, out_tempos, _ = check_file(out, want, bound, click)
    assert [m[1:3] for m in out_meters] == [m[1:3] for m in meters], (out_meters, meters)
    # Each marker of the source, on the first beat at or after it.
    firsts = [next(k for k, (t, _) in enumerate(want) if t >= seconds_at(tick, tempos, f.ticks_per_beat))
              for tick, _ in markers]
    assert out_markers == [(beats[lead + k][0], text) for k, (_, text) in zip(firsts, markers)], out_markers
    mine, theirs = csv_rows(program, beat + [str(out)]), csv_rows(program, beat + [str(source)])
    assert len(mine) == len(theirs) and all(
        abs(t - u) <= bound + Fraction(1, 10**9) and abs(fr - ufr) <= 1 and label == ulabel
        for (t, fr, label), (u, ufr, ulabel) in zip(mine, theirs)), source
    print(f"{source.name}, click {click}: {len(want)} beats, {len(out_tempos)} tempo events")


def main():
    program, examples = sys.argv[1], Path(sys.argv[2])
    with tempfile.TemporaryDirectory() as d:
        folder = Path(d)
        probe = run(program, ["-f", "midi", str(examples / "waltz.tmap"), str(folder / "p.mid")], False)
        if "unknown format 'midi'" in probe.stdout + probe.stderr:
            print("this build has no -f midi: the MIDI export is not checked")
            sys.exit(77)
        text_map(program, folder, "fours", [("", "97.3333", 4, 400)])
        meters = [("Waltz", "144.6", 3, 5), ("", "80", 7, 3), ("Same", "80", 7, 2), ("", "61.7", 2, 4)]
        text_map(program, folder, "meters", meters)
        song = [("Intro", "96", 4, 8), ("", "96", 4, 16), ("Bridge", "84", 3, 8), ("Last", "100", 4, 16)]
        text_map(program, folder, "offset", song, offset="2.5")
        text_map(program, folder, "range", song, ["--max-drift=0.00002"], Fraction(1, 50000),
                 offset="0.123457", first=20, last=40)
        # A first beat of microseconds: the count-in keeps to a tempo a DAW shows.
        for offset, tempo, beats in [("8.789", "2671860", 4), ("0.1", "2671860", 3), ("600", "5", 4)]:
            lead, tempos = text_map(program, folder, "runaway", [("", tempo, beats, 2)], offset=offset)
            assert lead <= 4 * 300 * Fraction(offset) / 60 + beats and len(tempos) <= 4, (offset, lead)
            assert 200000 <= tempos[0][1] <= 3000000 or lead == beats, (offset, tempos[0])
        # The counts the README gives, and what searching every placement on beats finds.
        for tempo, per, measures, drift, count in [("97.3333", 4, 400, "0.000001", 478),
                                                   ("97.3333", 4, 400, "0.0000005", 1385),
                                                   ("97.3333", 4, 400, "0.000000001", 1601)]:
            assert claims(program, folder, tempo, per, measures, drift)[0] == count, (tempo, drift)
        for tempo, beats, drift in [("97.3333", 60, "0.0000005"), ("61.7", 40, "0.0000005"),
                                    ("144.6", 30, "0.0000007"), ("133.33", 40, "0.0000006"),
                                    ("200.5", 50, "0.000002"), ("97.3333", 120, "0.000001"),
                                    # a bound too finely written for 128-bit integers: BigInt
                                    ("97.3333", 60, "0.00000050000000001"),
                                    ("61.7", 40, "0.0000005000000000001")]:
            got, off = claims(program, folder, tempo, 1, beats, drift)
            assert off == 0 and got == fewest(tempo, beats, Fraction(drift)), (tempo, beats, drift, got)
        # Finer than quarter notes hold: events between them, never fewer than anywhere allows.
        for tempo, beats, drift in [("61.7", 40, "0.00000005"), ("144.6", 30, "0.000000001"),
                                    ("133.33", 40, "0.0000002"), ("200.5", 50, "0.00000002"),
                                    ("97.3333", 60, "0.00000049999999999")]:
            got, off = claims(program, folder, tempo, 1, beats, drift)
            least = fewest(tempo, beats, Fraction(drift), anywhere=True)
            assert least <= got <= beats + 1 and off <= got, (tempo, beats, drift, got, least)
        # Dotted quarters: corrections on the beat or on the quarter note inside it.
        for seconds, taps, drift in [("0.4567", 60, "0.000001"), ("0.61", 40, "0.0000007"),
                                     ("0.3331", 80, "0.000002")]:
            fitted_claims(program, folder, seconds, taps, drift)
        midi_map(program, folder, examples / "ramp-and-6-8.mid")
        midi_map(program, folder, examples / "ramp-and-6-8.mid", click=True)
        # A map far too long for a MIDI file is refused, and nothing is written.
        (folder / "long.tmap").write_text("tmap\t97.3333\t4\t2000000000\n")
        r = run(program, ["-f", "midi", str(folder / "long.tmap"), str(folder / "long.mid")], False)
        assert r.returncode == 1 and "too long for a MIDI file" in r.stderr, r
        assert not (folder / "long.mid").exists()
    print("MIDI export: every beat within the bound")


if __name__ == "__main__":
    main()
