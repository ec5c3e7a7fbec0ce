#!/usr/bin/env python3
"""How far a DAW puts the beats of a file that -f midi wrote.

Writes a text map as a MIDI file with the program, reads the file back with
mido, and has Ardour 7 (its headless Lua session, Debian's `ardour`,
`ardour7-lua`) build a tempo map from the file's tempo events, each at its
tick. Ardour keeps a tempo change on a beat (a quarter note in 4/4), so an
event between quarter notes moves, and every beat after it with it. Ardour
then gives the sample of late quarter notes, set against where the file
itself puts them (the sum of ticks x tempo, exact). Printed in samples at
48 kHz; Ardour answers in whole samples of its session's rate (192 kHz
here), so each figure is good to 1/8 of a sample at 48 kHz. What is left
with every event on a quarter note is Ardour's own rounding of a tempo to
its clock (282,240,000 a second) and the file's bound.

Usage: ardour_drift.py BEATMARKS [MAP.tmap] [-- beatmarks options]
Exits 77 without mido or ardour7-lua.
"""
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction
from pathlib import Path

try:
    import mido
except ImportError:
    print("mido is not installed (Debian: python3-mido)")
    sys.exit(77)

RATE = 192000  # the session's; figures are given at 48 kHz
ARDOUR_TICKS = 1920  # Ardour's ticks a quarter note
DEFAULT_MAP = "Verse\ttmap\t97.3333\t4\t400\nOutro\ttmap\t133.7\t7\t9\n"

LUA = """
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:set_sample_rate({rate})
AudioEngine:start(false)
local session = create_session("{folder}/session", "drift", {rate})
assert(session, "no session")
local function place(events)
  local map = Temporal.TempoMap.write_copy()
  for _, e in ipairs(events) do
    map:set_tempo(Temporal.Tempo(e[2], e[2], 4), Temporal.timepos_t.from_ticks(e[1]))
  end
  Temporal.TempoMap.update(map)
  local read = Temporal.TempoMap.read()
  for _, q in ipairs({{{quarters}}}) do
    print("AT", q, read:sample_at(Temporal.timepos_t.from_ticks(q * {ticks})))
  end
end
{calls}
close_session()
quit()
"""


def tempo_events(path):
    f = mido.MidiFile(path)
    events, tick = [], 0
    for m in f.tracks[0]:
        tick += m.time
        if m.type == "set_tempo":
            events.append((tick, m.tempo))
    return f.ticks_per_beat, events


def seconds_at(tick, events, tpq):
    t, last, micros = Fraction(0), 0, 500000
    for at, value in events:
        if at >= tick:
            break
        t, last, micros = t + Fraction((at - last) * micros, tpq), at, value
    return (t + Fraction((tick - last) * micros, tpq)) / 10**6


def lua_events(events, tpq):
    return "{" + ",".join(f"{{{tick * ARDOUR_TICKS // tpq},{60e6 / micros!r}}}"
                          for tick, micros in events) + "}"


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = sys.argv[1]
    rest = sys.argv[2:]
    options = rest[rest.index("--") + 1:] if "--" in rest else []
    rest = rest[:rest.index("--")] if "--" in rest else rest
    lua = shutil.which("ardour7-lua")
    if lua is None:
        print("ardour7-lua is not installed (Debian: ardour)")
        sys.exit(77)
    with tempfile.TemporaryDirectory() as d:
        folder = Path(d)
        source = Path(rest[0]) if rest else folder / "song.tmap"
        if not rest:
            source.write_text(DEFAULT_MAP)
        out = folder / "song.mid"
        said = subprocess.run([program, "-f", "midi"] + options + [str(source), str(out)],
                              capture_output=True, text=True, check=True).stdout
        print(said.strip().splitlines()[-1])
        tpq, events = tempo_events(out)
        last = max(tick for tick, _ in events) // tpq
        quarters = sorted({q for q in (last // 4, last // 2, last, last - 1) if q > 0})
        off = sum(1 for tick, _ in events if tick % tpq != 0)
        print(f"{len(events)} tempo events, {off} between quarter notes; quarter notes {quarters}")
        script = LUA.format(rate=RATE, folder=folder, quarters=",".join(map(str, quarters)),
                            ticks=ARDOUR_TICKS, calls=f"place({lua_events(events, tpq)})")
        (folder / "drift.lua").write_text(script)
        r = subprocess.run([lua, str(folder / "drift.lua")], capture_output=True, text=True,
                           timeout=600)
        rows = [w for w in (line.split() for line in r.stdout.splitlines()) if w[:1] == ["AT"]]
        if len(rows) != len(quarters):
            sys.exit(f"ardour7-lua gave no answer:\n{r.stdout[-2000:]}{r.stderr[-2000:]}")
        drifts = []
        for _, q, sample in rows:
            exact = seconds_at(int(q) * tpq, events, tpq) * RATE
            drifts.append(f"quarter {q}: {float((int(sample) - exact) / (RATE // 48000)):+.3f}")
        print("Ardour against the file: " + ", ".join(drifts) + " samples at 48 kHz")

if __name__ == "__main__":
    main()
