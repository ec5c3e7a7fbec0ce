#!/usr/bin/env python3
"""Rhythm-game charts and DJ beat grids read back: every beat of `-f osu`,
`sm`, `ssc` and `rekordbox` within a millisecond of its exact time, of
`-f chart` within a tick at its tempo, the exact times as the CSV export
(9 decimals) gives them. The osu! file is read by osu-parsers from npm where
npm is present (installed into CACHE), else by the game's own arithmetic
written here; the others by their readers' arithmetic in fractions.

Usage: chart_check.py BEATMARKS EXAMPLES CACHE
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from fractions import Fraction

BEATMARKS, EXAMPLES, CACHE = map(os.path.abspath, sys.argv[1:4])
BOUND = Fraction(1, 1000) + Fraction(1, 10**9)  # the CSV's own rounding

RUNS = [
    ["{ex}/song.tmap"],
    ["{ex}/waltz.tmap"],
    ["--offset=2.5", "-s", "2", "-e", "9", "{ex}/song.tmap"],
    ["--beat=click", "{ex}/ramp-and-6-8.mid"],
    ["--divisions=3", "{ex}/waltz.tmap"],
    ["{dir}/odd.tmap"],
    ["{dir}/long.tmap"],
    # Taps of a 6/8 at 140 dotted quarters, drifting: 210 quarters a minute.
    ["--fit", "--meter=6/8", "{dir}/taps68.txt"],
]
MAPS = {
    "odd.tmap": "tmap\t97.3333\t4\t40\ntmap\t133.37\t3\t20\ntmap\t59.999\t5\t30\n",
    # Tempos no millisecond nor thousandth divides, over an hour.
    "long.tmap": "tmap\t137.77777\t4\t2000\ntmap\t71.4142\t7\t300\n",
    "huge.tmap": "tmap\t120\t4\t2147483647\n",
    "taps68.txt": "".join(f"{0.5 + k * 60 / 140 + 0.0007 * (k % 3):.6f}\n" for k in range(24)),
}


def run(args, folder):
    args = [a.format(ex=EXAMPLES, dir=folder) for a in args]
    done = subprocess.run([BEATMARKS] + args, capture_output=True, text=True, cwd=folder)
    if done.returncode != 0:
        sys.exit(f"{args}: exit {done.returncode}: {done.stderr}{done.stdout}")
    return done


def exact_rows(args, folder):
    """(time, beat in its bar from 1) of every beat."""
    text = run(["-f", "csv"] + args + ["-"], folder).stdout
    rows = [line.split(",") for line in text.splitlines()[1:]]
    return [(Fraction(r[0]), int(r[3])) for r in rows if r[4] == "1"]


def exact_beats(args, folder):
    return [time for time, _ in exact_rows(args, folder)]


def npm_module(name):
    """NODE_PATH with `name` installed into CACHE, or None without npm or the module."""
    if shutil.which("npm") is None or shutil.which("node") is None:
        return None
    if not os.path.isdir(os.path.join(CACHE, "node_modules", name)):
        os.makedirs(CACHE, exist_ok=True)
        if subprocess.run(["npm", "install", "--silent", "--prefix", CACHE, name],
                          capture_output=True).returncode != 0:
            return None
    return os.path.join(CACHE, "node_modules")


def osu_points_by_npm(path):
    modules = npm_module("osu-parsers")
    if modules is None:
        return None
    script = ("const {BeatmapDecoder}=require('osu-parsers');"
              "const b=new BeatmapDecoder().decodeFromString(require('fs').readFileSync(process.argv[1],'utf8'));"
              "console.log(JSON.stringify({audio:b.general.audioFilename,"
              "points:b.controlPoints.timingPoints.map(p=>[p.startTime,p.beatLength,p.timeSignature])}));")
    env = dict(os.environ, NODE_PATH=modules)
    out = subprocess.run(["node", "-e", script, path], capture_output=True, text=True, env=env, check=True)
    read = json.loads(out.stdout)
    assert read["audio"], "no audio named"
    return [(Fraction(t), Fraction(l), m) for t, l, m in read["points"]]


def osu_points_by_hand(path):
    text = open(path, encoding="utf-8", newline="").read()
    assert "AudioFilename: " in text, "no audio named"
    section = text.split("[TimingPoints]\r\n")[1].split("\r\n\r\n")[0]
    points = []
    for line in section.split("\r\n"):
        f = line.split(",")
        assert f[6] == "1", line
        points.append((Fraction(f[0]), Fraction(f[1]), int(f[2])))
    return points


def osu_beats(points, count):
    beats = []
    for i, (start, length, _) in enumerate(points):
        k = 0
        while len(beats) < count:
            at = start + k * length
            if i + 1 < len(points) and at >= points[i + 1][0] - length / 2:
                break
            beats.append(at / 1000)
            k += 1
    return beats


def sm_field(text, name):
    return text.split(f"#{name}:")[1].split(";")[0].replace("\n", "")


def sm_timing_by_hand(path):
    """(beat 0's time, [(beat, tempo)], [(beat, numerator, denominator)])."""
    text = open(path, encoding="utf-8").read()
    zero = -Fraction(sm_field(text, "OFFSET"))
    tempos = [tuple(map(Fraction, p.split("="))) for p in sm_field(text, "BPMS").split(",")]
    meters = [tuple(map(Fraction, p.split("="))) for p in sm_field(text, "TIMESIGNATURES").split(",")]
    return zero, tempos, meters


def ssc_timing_by_npm(path):
    """The same read by ssc-parser from npm (which wants a steps section to
    follow the header), or None where it cannot be had."""
    modules = npm_module("ssc-parser")
    if modules is None:
        return None
    script = ("const h=require('ssc-parser').parseSSC(require('fs').readFileSync(process.argv[1],'utf8')"
              "+'#NOTEDATA:;\\n#NOTES:\\n0000\\n;\\n').header;"
              "console.log(JSON.stringify([h.VERSION,h.OFFSET,h.BPMS,h.TIMESIGNATURES]));")
    out = subprocess.run(["node", "-e", script, path], capture_output=True, text=True,
                         env=dict(os.environ, NODE_PATH=modules), check=True)
    version, offset, tempos, meters = json.loads(out.stdout, parse_float=Fraction, parse_int=Fraction)
    assert version == Fraction("0.83"), version
    return -offset, [tuple(t) for t in tempos], [tuple(m) for m in meters]


def beats_of_meter(numerator, denominator, click):
    """(beats a measure, a beat in quarter notes): the meter's notes, or with
    --beat=click (or beats fitted in 6/8) the dotted quarters of a compound
    meter (6/8, 9/8, 12/8)."""
    if click and denominator == 8 and numerator % 3 == 0 and numerator > 3:
        return numerator // 3, Fraction(3, 2)
    return numerator, Fraction(4, denominator)


def sm_beats(timing, count, click=False):
    zero, tempos, meters = timing
    places, at = [], Fraction(0)
    while len(places) < count:  # whole measures of the meter in force
        numerator, denominator = [(n, d) for b, n, d in meters if b <= at][-1]
        beats, length = beats_of_meter(int(numerator), int(denominator), click)
        for _ in range(beats):
            places.append(at)
            at += length
    beats = []
    for place in places[:count]:
        time, (last, bpm) = zero, tempos[0]
        for beat, next_bpm in tempos[1:]:
            if beat > place:
                break
            time += (beat - last) * 60 / bpm
            last, bpm = beat, next_bpm
        beats.append(time + (place - last) * 60 / bpm)
    return beats


def chart_beats(path, count, click=False):
    """Where a .chart reader puts each beat, and a tick's length at each beat."""
    text = open(path, encoding="utf-8", newline="").read()
    assert "\r\n" in text and "\n" not in text.replace("\r\n", ""), "not CRLF lines"
    song = dict(re.findall(r"^  (\w+) = (.*)\r$", text.split("[SyncTrack]")[0], re.M))
    resolution, zero = int(song["Resolution"]), Fraction(song["Offset"])
    assert song["MusicStream"].startswith('"'), song
    sync = re.findall(r"^  (\d+) = (TS|B) (\d+)(?: (\d+))?\r$", text.split("[SyncTrack]")[1].split("}")[0], re.M)
    tempos = [(int(t), Fraction(int(v), 1000)) for t, kind, v, _ in sync if kind == "B"]
    meters = [(int(t), int(n), 2 ** int(e or 2)) for t, kind, n, e in sync if kind == "TS"]
    assert tempos[0][0] == 0 and meters[0][0] == 0, sync
    places, at = [], 0
    while len(places) < count:  # whole measures of the meter in force
        numerator, denominator = [(n, d) for t, n, d in meters if t <= at][-1]
        beats, length = beats_of_meter(numerator, denominator, click)
        for _ in range(beats):
            places.append(at)
            assert (length * resolution).denominator == 1, "a beat between ticks"
            at += int(length * resolution)
    beats = []
    for place in places[:count]:
        time, (last, bpm) = zero, tempos[0]
        for tick, next_bpm in tempos[1:]:
            if tick > place:
                break
            time += Fraction(tick - last, resolution) * 60 / bpm
            last, bpm = tick, next_bpm
        beats.append(time + Fraction(place - last, resolution) * 60 / bpm)
    return beats, places[:count], len(tempos)


def tick_bounds(exact, places):
    """A tick at each beat's exact tempo: to the next beat, the last to the one before."""
    bounds = []
    for i in range(len(exact)):
        j = i + 1 if i + 1 < len(exact) else i - 1
        bounds.append(abs(exact[j] - exact[i]) / abs(places[j] - places[i]) + Fraction(2, 10**9))
    return bounds


def rekordbox_grid(path):
    """The TEMPO elements as (start ms, beat length ms, beat in the bar)."""
    root = ElementTree.parse(path).getroot()
    assert root.tag == "DJ_PLAYLISTS", root.tag
    tracks = root.findall("./COLLECTION/TRACK")
    assert len(tracks) == 1 and tracks[0].get("Location", "").startswith("file://localhost/"), tracks
    grid = []
    for tempo in tracks[0].findall("TEMPO"):
        start, bpm = tempo.get("Inizio"), tempo.get("Bpm")
        assert re.fullmatch(r"\d+\.\d{3}", start) and re.fullmatch(r"\d+\.\d{2}", bpm), tempo.attrib
        numerator = int(tempo.get("Metro").split("/")[0])
        assert 1 <= int(tempo.get("Battito")) <= numerator, tempo.attrib
        grid.append((Fraction(start) * 1000, 60000 / Fraction(bpm), int(tempo.get("Battito"))))
    return grid


def check_battito(name, grid, read, rows):
    """Each element's start is the beat the map numbers as its Battito."""
    for start, _, battito in grid:
        i = read.index(start / 1000)
        assert rows[i][1] == battito, f"{name}: beat {i} is {rows[i][1]} in its bar, Battito {battito}"


def check(name, read, exact, changes):
    assert len(read) == len(exact), f"{name}: {len(read)} beats read, {len(exact)} exact"
    worst = max(abs(r - e) for r, e in zip(read, exact))
    assert worst <= BOUND, f"{name}: a beat {float(worst)} s off"
    assert changes <= len(exact), name
    return worst


def check_ticks(name, read, exact, bounds, changes):
    assert len(read) == len(exact), f"{name}: {len(read)} beats read, {len(exact)} exact"
    worst = max(abs(r - e) / b for r, e, b in zip(read, exact, bounds))
    assert worst <= 1, f"{name}: a beat {float(worst)} ticks off"
    assert changes <= len(exact), name
    return worst


# Tempo changes the long map (10,100 beats) may take at most: two decimals of
# Rekordbox's tempo drift a millisecond in some 40 beats of 71.4142 (145 taken).
LONG_MAP_CHANGES = {"osu": 40, "sm": 40, "ssc": 40, "chart": 40, "rekordbox": 200}


def check_refusals(folder):
    """A resolution refused before anything is read, a meter the ticks cannot hold after."""
    failures = 0
    for args, status, why in [
            (["--resolution=0"], 2, "invalid resolution '0' (a whole number from 1 to 2147483647)"),
            (["--resolution=x"], 2, "invalid resolution 'x'"),
            (["-f", "sm", "--resolution=480"], 2, "--resolution needs --format=chart"),
            (["--resolution=1"], 1, "resolution 1 puts a beat of 1/8 between ticks")]:
        args = ["-f", "chart"] + args + [os.path.join(EXAMPLES, "ramp-and-6-8.mid"), "refused.chart"]
        done = subprocess.run([BEATMARKS] + args, capture_output=True, text=True, cwd=folder)
        if done.returncode != status or why not in done.stderr or done.stdout \
                or os.path.exists(os.path.join(folder, "refused.chart")):
            print("FAIL refusal", args, done.returncode, done.stdout, done.stderr)
            failures += 1
    return failures


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for name, text in MAPS.items():
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        used_npm = used_ssc_npm = False
        for args in RUNS:
            rows = exact_rows(args, folder)
            exact = [time for time, _ in rows]
            try:
                run(["-f", "osu"] + args + ["out.osu"], folder)
                path = os.path.join(folder, "out.osu")
                points = osu_points_by_npm(path)
                used_npm |= points is not None
                points = points or osu_points_by_hand(path)
                check(f"osu {args}", osu_beats(points, len(exact)), exact, len(points))
                run(["-f", "sm"] + args + ["out.sm"], folder)
                click = "--beat=click" in args or "--meter=6/8" in args
                check(f"sm {args}", sm_beats(sm_timing_by_hand(os.path.join(folder, "out.sm")), len(exact), click),
                      exact, 0)
                run(["-f", "ssc"] + args + ["out.ssc"], folder)
                path = os.path.join(folder, "out.ssc")
                assert open(path).read().startswith("#VERSION:0.83;\n"), "ssc"
                timing = ssc_timing_by_npm(path)
                used_ssc_npm |= timing is not None
                check(f"ssc {args}", sm_beats(timing or sm_timing_by_hand(path), len(exact), click), exact, 0)
                for resolution in ["192", "480"]:
                    run(["-f", "chart", "--resolution=" + resolution] + args + ["out.chart"], folder)
                    read, places, tempos = chart_beats(os.path.join(folder, "out.chart"), len(exact), click)
                    check_ticks(f"chart {resolution} {args}", read, exact, tick_bounds(exact, places), tempos)
                run(["-f", "rekordbox"] + args + ["out.xml"], folder)
                grid = rekordbox_grid(os.path.join(folder, "out.xml"))
                read = osu_beats(grid, len(exact))
                check(f"rekordbox {args}", read, exact, len(grid))
                check_battito(f"rekordbox {args}", grid, read, rows)
            except AssertionError as error:
                print("FAIL", error)
                failures += 1
        # A steady map takes one tempo however long it is; the long map far fewer than its beats.
        for fmt, word in [("osu", "1 timing point,"), ("sm", "1 tempo,"), ("ssc", "1 tempo,"),
                          ("chart", "1 tempo event,"), ("rekordbox", "1 tempo,")]:
            out = run(["-f", fmt, "{ex}/waltz.tmap", "x"], folder).stderr  # a run with options says what it saved on standard error
            if word not in out:
                print("FAIL", fmt, "steady map:", out)
                failures += 1
            out = run(["-f", fmt, "{dir}/long.tmap", "x"], folder).stderr
            saved = [line for line in out.splitlines() if line.startswith("Saved")][0]
            if int(saved.split(", ")[1].split()[0]) > LONG_MAP_CHANGES[fmt]:
                print("FAIL", fmt, "long map:", out)
                failures += 1
        # A range too long to hold is refused in one line, and nothing written.
        for fmt in ["osu", "sm", "ssc", "chart", "rekordbox"]:
            done = subprocess.run([BEATMARKS, "-f", fmt, "huge.tmap", "huge." + fmt],
                                  capture_output=True, text=True, cwd=folder)
            if done.returncode != 1 or "more than 1000000 beats" not in done.stdout + done.stderr \
                    or os.path.exists(os.path.join(folder, "huge." + fmt)):
                print("FAIL", fmt, "huge map:", done.returncode, done.stdout, done.stderr)
                failures += 1
        failures += check_refusals(folder)
        print("osu-parsers used" if used_npm else "osu-parsers not available: read by hand")
        print("ssc-parser used" if used_ssc_npm else "ssc-parser not available: read by hand")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
