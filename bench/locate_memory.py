#!/usr/bin/env python3
"""Peak memory of --locate and --fit as TIMES and beat lists grow: 1 time
(the grid and the program alone), 10^6 and 10^7 times (a 150 MB file), named
and piped, against 510 text sections with decimal tempos, written as CSV to
/dev/null; the index of a MIDI map of 100,000 tempo events, a time of 10^6
digits; and --fit of 10^6 and 10^7 beats. Wall time and peak resident
memory through GNU time. The MIDI index is checked against its goal: a whole
run of one time under 20 ms of CPU and 20 MiB at its peak (best CPU of 9
runs, the highest peak); --index-only runs that alone, and its status is 1
when the goal is not met.
Usage: bench/locate_memory.py [path/to/beatmarks] [LARGEST_COUNT] [--index-only]"""
import os
import random
import resource
import runpy
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
INDEX_ONLY = "--index-only" in sys.argv
ARGS = [a for a in sys.argv[1:] if a != "--index-only"]
BINARY = os.path.abspath(ARGS[0] if ARGS else os.path.join(HERE, "..", "build", "beatmarks"))
LARGEST = int(ARGS[1]) if len(ARGS) > 1 else 10_000_000
GOAL_MS, GOAL_MIB = 20, 20


def timed(command, stdin=None):
    """Seconds and peak resident MiB of one run."""
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdin=stdin, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{command}: status {done.returncode}: {done.stderr}")
    return seconds, int(done.stderr.strip().splitlines()[-1]) / 1024


def times_file(folder, count, ordered):
    """COUNT times of six decimals: shuffled over 10,000 s, or a beat every 0.4 to 0.6 s."""
    rng = random.Random(25)
    path = os.path.join(folder, f"times-{count}-{ordered}.txt")
    with open(path, "w") as f:
        micros = 0
        for start in range(0, count, 100_000):
            lines = []
            for _ in range(min(100_000, count - start)):
                micros = micros + rng.randrange(400_000, 600_000) if ordered else rng.randrange(10**10)
                lines.append(f"{micros // 10**6}.{micros % 10**6:06d}\n")
            f.write("".join(lines))
    return path


def main():
    with tempfile.TemporaryDirectory() as folder:
        tmap = os.path.join(folder, "decimal.tmap")
        with open(tmap, "w") as f:
            f.write("".join(f"tmap\t{60 + i % 97}.{(i * 7919) % 1000:03d}\t{3 + i % 5}\t{8 + i % 9}\n"
                            for i in range(510)))
        locate = ["-f", "csv", "-d", "2", "-r", "48000"]
        for count in () if INDEX_ONLY else (1, 10**6, LARGEST):
            times = times_file(folder, count, False)
            size = os.path.getsize(times) / 2**20
            s, peak = timed([BINARY] + locate + [f"--locate={times}", tmap, "/dev/null"])
            line = f"--locate, {count} times ({size:.0f} MiB): {s:.2f} s, peak {peak:.1f} MiB"
            if count > 1:
                ps, ppeak = timed(["sh", "-c", f"cat \"$0\" | {BINARY} {' '.join(locate)} --locate=- "
                                   f"\"$1\" /dev/null", times, tmap])
                line += f"; piped {ps:.2f} s, peak {ppeak:.1f} MiB"
            print(line, flush=True)
            os.remove(times)
        # The index of a MIDI map of 100,000 tempo events (one a beat), and a
        # time of 10^6 whole digits, each with nothing else to place.
        midi = os.path.join(folder, "ramp.mid")
        argv, sys.argv = sys.argv, sys.argv[:1]  # locate_runs.py reads its own arguments
        ramp_midi = runpy.run_path(os.path.join(HERE, "locate_runs.py"), run_name="bench")["ramp_midi"]
        sys.argv = argv
        with open(midi, "wb") as f:
            f.write(ramp_midi(100_000))
        one = os.path.join(folder, "one.txt")
        with open(one, "w") as f:
            f.write("1.5\n")
        runs, cpu = [], []
        for _ in range(9):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            runs.append(timed([BINARY] + locate + [f"--locate={one}", midi, "/dev/null"]))
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpu.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
        best, peak = min(cpu) * 1000, max(r[1] for r in runs)
        met = best < GOAL_MS and peak < GOAL_MIB
        print(f"--locate, 1 time against 100,000 MIDI tempo events: best {min(r[0] for r in runs) * 1000:.0f} ms "
              f"({best:.0f} ms CPU), peak {peak:.1f} MiB: goal of {GOAL_MS} ms and {GOAL_MIB} MiB "
              f"{'met' if met else 'NOT MET'}", flush=True)
        if INDEX_ONLY:
            sys.exit(0 if met else 1)
        with open(one, "w") as f:
            f.write("1" * 10**6 + "\n")
        s, peak = timed([BINARY] + locate + [f"--locate={one}", tmap, "/dev/null"])
        print(f"--locate, 1 time of 10^6 whole digits: {s:.2f} s, peak {peak:.1f} MiB", flush=True)
        for count in (10**6, LARGEST):
            beats = times_file(folder, count, True)
            s, peak = timed([BINARY, "--fit", "-f", "csv", beats, "/dev/null"])
            print(f"--fit, {count} beats ({os.path.getsize(beats) / 2**20:.0f} MiB): {s:.2f} s, peak {peak:.1f} MiB",
                  flush=True)
            os.remove(beats)


if __name__ == "__main__":
    main()
