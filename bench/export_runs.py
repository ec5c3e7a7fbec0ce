#!/usr/bin/env python3
"""Whole runs of the exact exports: lines per second streamed to /dev/null
with peak resident memory (GNU time), the first exact line deep in the
largest map, a 500 MB recording marked with --into, ten minutes of click track,
a million fitted beats summarised (and their summary against their CSV, by CPU).
Usage: bench/export_runs.py [path/to/beatmarks] [--summary-only]"""
import os
import resource
import runpy
import subprocess
import sys
import tempfile
import time

BINARY = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 and sys.argv[1] != "--summary-only" else os.path.join(
    os.path.dirname(__file__), "..", "build", "beatmarks"))


def timed(args, folder, runs=1, expect=0):
    """Median seconds and peak resident KiB (from GNU time) of whole runs."""
    times, peak = [], None
    for _ in range(runs):
        timer = ["/usr/bin/time", "-f", "%M"] if os.path.exists("/usr/bin/time") else []
        start = time.perf_counter()
        done = subprocess.run(timer + [BINARY] + args, cwd=folder, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
        times.append(time.perf_counter() - start)
        if done.returncode != expect:
            sys.exit(f"{args}: status {done.returncode}: {done.stderr}")
        if timer:
            peak = int(done.stderr.strip().splitlines()[-1])
    times.sort()
    return times[len(times) // 2], peak


def report(name, seconds, peak, lines=None):
    rate = f", {lines / seconds / 1e6:.1f} million lines/s" if lines else ""
    memory = f", peak {peak / 1024:.1f} MiB" if peak else ""
    print(f"{name}: {seconds * 1000:.0f} ms{rate}{memory}")


def ramp_midi(tempos):
    """A format 0 file with a tempo change on every beat (480 ticks) in 4/4."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts",
                          "make-midi-examples.py")
    var_length = runpy.run_path(script)["var_length"]
    events = bytearray()
    for i in range(tempos):
        micros = 400000 + (i * 37) % 300000
        events += var_length(0 if i == 0 else 480) + b"\xFF\x51\x03" + micros.to_bytes(3, "big")
    events += var_length(480) + b"\xFF\x2F\x00"
    header = b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0x01, 0xE0])
    return header + b"MTrk" + len(events).to_bytes(4, "big") + bytes(events)


def fitted_summary(folder):
    """A million fitted beats, every one its own tempo: the summary walks them
    twice (widths, then rows) and holds no row, as the CSV holds none."""
    with open(os.path.join(folder, "taps.txt"), "w") as f:
        f.write("".join(f"{i * 0.5 + (i * 7919 % 13) * 0.001:.6f}\n" for i in range(10**6)))
    for fmt in ("csv", "summary"):
        seconds, peak = timed(["--fit", "-f", fmt, "taps.txt", "/dev/null"], folder, runs=3)
        report(f"--fit of 10^6 beats, {fmt} to /dev/null", seconds, peak, 10**6)
    # The same two paired run by run, by CPU time (user and system), which a
    # busy machine disturbs less than the wall clock: best of each.
    best = {"csv": [], "summary": []}
    for _ in range(7):
        for fmt in best:
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            timed(["--fit", "-f", fmt, "taps.txt", "/dev/null"], folder)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            best[fmt].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    csv_cpu, summary_cpu = min(best["csv"]), min(best["summary"])
    print(f"--fit of 10^6 beats, CPU best of 7 paired: csv {csv_cpu * 1000:.0f} ms, summary "
          f"{summary_cpu * 1000:.0f} ms: {summary_cpu / csv_cpu:.2f}x")


if "--summary-only" in sys.argv:  # just the fitted summary against its CSV
    with tempfile.TemporaryDirectory() as only:
        fitted_summary(only)
    sys.exit(0)

with tempfile.TemporaryDirectory() as folder:
    def write(name, text):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)

    write("long.tmap", "tmap\t97.3333\t4\t25000000\n")  # 10^8 beats
    for fmt in ("csv", "labels"):
        seconds, peak = timed(["-f", fmt, "long.tmap", "/dev/null"], folder)
        report(f"{fmt}, 10^8 divisions to /dev/null", seconds, peak, 10**8)
    seconds, peak = timed(["--exact", "-e", "2500000", "long.tmap", "/dev/null"], folder)
    report("exact list, 10^7 divisions to /dev/null", seconds, peak, 10**7)
    write("huge.tmap", "".join(f"tmap\t{60 + i % 97}.{i}\t4\t2147483647\n" for i in range(510)))
    seconds, peak = timed(["-f", "csv", "-s", "2147483647", "-e", "2147483647", "huge.tmap", "-"],
                          folder, runs=11)
    report("csv, measure 2147483647 of 510 x 2147483647 measures, whole run", seconds, peak)
    midi = os.path.join(folder, "ramp.mid")
    with open(midi, "wb") as f:
        f.write(ramp_midi(100_000))
    size = os.path.getsize(midi) / 1e6
    seconds, peak = timed(["-f", "csv", "-e", "1", "ramp.mid", "-"], folder, runs=11)
    report(f"csv of measure 1 from a {size:.1f} MB MIDI file of 100,000 tempo events, whole run",
           seconds, peak)
    seconds, peak = timed(["-f", "csv", "-d", "64", "ramp.mid", "/dev/null"], folder)
    report("csv of that whole file, 64 divisions", seconds, peak, 100_000 // 4 * 4 * 64)
    write("ten.tmap", "tmap\t120\t4\t300\n")
    seconds, peak = timed(["-f", "wav", "-r", "48000", "-d", "4", "ten.tmap", "click.wav"], folder, runs=5)
    report("wav click track, ten minutes at 48 kHz, 4 divisions", seconds, peak)
    recording = os.path.join(folder, "rec.wav")
    if subprocess.run(["sox", "-n", "-r", "48000", "-b", "24", "-c", "2", recording, "synth", "1736",
                       "whitenoise"], stderr=subprocess.DEVNULL).returncode == 0:
        size = os.path.getsize(recording) / 1e6
        seconds, peak = timed(["--into=rec.wav", "ten.tmap", "marked.wav"], folder, runs=3)
        report(f"--into a {size:.0f} MB recording", seconds, peak)
    # Audio of maps far longer than any file: the refusal and the count of
    # markers left out come from counting, not from walking the divisions.
    write("endless.tmap", "tmap\t120\t4\t2147483647\n")
    seconds, peak = timed(["-f", "wav", "endless.tmap", "endless.wav"], folder, runs=5,
                          expect=1)
    report("wav of 2^31 - 1 measures, refused past 4 GiB", seconds, peak)
    if os.path.exists(recording):
        seconds, peak = timed(["--into=rec.wav", "endless.tmap", "marked.wav"], folder, runs=3)
        report(f"--into that recording from 2^31 - 1 measures", seconds, peak)
    # A million fitted beats, every one its own tempo: the summary walks them
    # twice (widths, then rows) and holds no row, as the CSV holds none.
    fitted_summary(folder)
    write("dense.tmap", "tmap\t120\t4\t2000\n")
    seconds, peak = timed(["-f", "wav", "-r", "8000", "-d", "64", "dense.tmap", "dense.wav"],
                          folder, runs=3)
    report("wav of 2,048,000 divisions (8 kHz, 64 a beat)", seconds, peak)
