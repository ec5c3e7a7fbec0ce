#!/usr/bin/env python3
"""Rhythm-game charts read back: every beat of `-f osu` and `-f sm` within a
millisecond of its exact time, as the CSV export (9 decimals) gives it. The
osu! file is read by osu-parsers from npm where npm is present (installed
into CACHE), else by the game's own arithmetic written here; the StepMania
timing by the game's arithmetic in fractions.

Usage: chart_check.py BEATMARKS EXAMPLES CACHE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
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
]
MAPS = {
    "odd.tmap": "tmap\t97.3333\t4\t40\ntmap\t133.37\t3\t20\ntmap\t59.999\t5\t30\n",
    # Tempos no millisecond nor thousandth divides, over an hour.
    "long.tmap": "tmap\t137.77777\t4\t2000\ntmap\t71.4142\t7\t300\n",
    "huge.tmap": "tmap\t120\t4\t2147483647\n",
}


def run(args, folder):
    args = [a.format(ex=EXAMPLES, dir=folder) for a in args]
    done = subprocess.run([BEATMARKS] + args, capture_output=True, text=True, cwd=folder)
    if done.returncode != 0:
        sys.exit(f"{args}: exit {done.returncode}: {done.stderr}{done.stdout}")
    return done


def exact_beats(args, folder):
    text = run(["-f", "csv"] + args + ["-"], folder).stdout
    rows = [line.split(",") for line in text.splitlines()[1:]]
    return [Fraction(r[0]) for r in rows if r[4] == "1"]


def osu_points_by_npm(path):
    if shutil.which("npm") is None or shutil.which("node") is None:
        return None
    if not os.path.isdir(os.path.join(CACHE, "node_modules", "osu-parsers")):
        os.makedirs(CACHE, exist_ok=True)
        if subprocess.run(["npm", "install", "--silent", "--prefix", CACHE, "osu-parsers"],
                          capture_output=True).returncode != 0:
            return None
    script = ("const {BeatmapDecoder}=require('osu-parsers');"
              "const b=new BeatmapDecoder().decodeFromString(require('fs').readFileSync(process.argv[1],'utf8'));"
              "console.log(JSON.stringify({audio:b.general.audioFilename,"
              "points:b.controlPoints.timingPoints.map(p=>[p.startTime,p.beatLength,p.timeSignature])}));")
    env = dict(os.environ, NODE_PATH=os.path.join(CACHE, "node_modules"))
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


def sm_beats(path, count):
    text = open(path, encoding="utf-8").read()
    zero = -Fraction(sm_field(text, "OFFSET"))
    tempos = [tuple(map(Fraction, p.split("="))) for p in sm_field(text, "BPMS").split(",")]
    meters = [tuple(map(Fraction, p.split("="))) for p in sm_field(text, "TIMESIGNATURES").split(",")]
    places, at = [], Fraction(0)
    while len(places) < count:  # whole measures of the meter in force
        numerator, denominator = [(n, d) for b, n, d in meters if b <= at][-1]
        for _ in range(int(numerator)):
            places.append(at)
            at += Fraction(4) / denominator
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


def check(name, read, exact, changes):
    assert len(read) == len(exact), f"{name}: {len(read)} beats read, {len(exact)} exact"
    worst = max(abs(r - e) for r, e in zip(read, exact))
    assert worst <= BOUND, f"{name}: a beat {float(worst)} s off"
    assert changes <= len(exact), name
    return worst


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for name, text in MAPS.items():
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        used_npm = False
        for args in RUNS:
            exact = exact_beats(args, folder)
            try:
                run(["-f", "osu"] + args + ["out.osu"], folder)
                path = os.path.join(folder, "out.osu")
                points = osu_points_by_npm(path)
                used_npm |= points is not None
                points = points or osu_points_by_hand(path)
                check(f"osu {args}", osu_beats(points, len(exact)), exact, len(points))
                run(["-f", "sm"] + args + ["out.sm"], folder)
                check(f"sm {args}", sm_beats(os.path.join(folder, "out.sm"), len(exact)), exact, 0)
            except AssertionError as error:
                print("FAIL", error)
                failures += 1
        # A steady map takes one tempo however long it is; the long map far fewer than its beats.
        for fmt, word in [("osu", "1 timing point,"), ("sm", "1 tempo,")]:
            out = run(["-f", fmt, "{ex}/waltz.tmap", "x"], folder).stderr  # a run with options says what it saved on standard error
            if word not in out:
                print("FAIL", fmt, "steady map:", out)
                failures += 1
            out = run(["-f", fmt, "{dir}/long.tmap", "x"], folder).stderr
            saved = [line for line in out.splitlines() if line.startswith("Saved")][0]
            if int(saved.split(", ")[1].split()[0]) > 40:
                print("FAIL", fmt, "long map:", out)
                failures += 1
        # A range too long to hold is refused in one line, and nothing written.
        for fmt in ["osu", "sm"]:
            done = subprocess.run([BEATMARKS, "-f", fmt, "huge.tmap", "huge." + fmt],
                                  capture_output=True, text=True, cwd=folder)
            if done.returncode != 1 or "more than 1000000 beats" not in done.stdout + done.stderr \
                    or os.path.exists(os.path.join(folder, "huge." + fmt)):
                print("FAIL", fmt, "huge map:", done.returncode, done.stdout, done.stderr)
                failures += 1
        print("osu-parsers used" if used_npm else "osu-parsers not available: read by hand")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
