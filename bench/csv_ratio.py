#!/usr/bin/env python3
"""The CSV writer against formatting the same bytes from numbers known
beforehand: by std::to_chars (bare) and by a hand-tuned formatter (tuned, the
yardstick). The benchmarks of beatmarks_bench run repeated in random order in
one process, so that a busy machine slows them alike; the best CPU time of
each and the writer's ratio to each.
Usage: bench/csv_ratio.py [path/to/beatmarks_bench] [repetitions]"""
import csv
import io
import os
import subprocess
import sys

BENCH = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "build", "bench", "beatmarks_bench")
REPETITIONS = sys.argv[2] if len(sys.argv) > 2 else "30"

if __name__ == "__main__":
    out = subprocess.run([BENCH, "--benchmark_filter=BM_(Csv|BareCsvFormatting|TunedCsvFormatting)/",
                          "--benchmark_min_time=0.05", "--benchmark_repetitions=" + REPETITIONS,
                          "--benchmark_enable_random_interleaving=true", "--benchmark_format=csv"],
                         check=True, capture_output=True, text=True).stdout
    best = {}
    for row in csv.DictReader(io.StringIO(out[out.index("name,"):])):
        if row["name"].endswith(("_mean", "_median", "_stddev", "_cv")):
            continue
        best[row["name"]] = min(best.get(row["name"], float("inf")), float(row["cpu_time"]))
    for size in sorted({name.split("/")[1] for name in best}, key=int):
        ours, bare = best["BM_Csv/" + size], best["BM_BareCsvFormatting/" + size]
        tuned = best["BM_TunedCsvFormatting/" + size]
        lines = int(size) * 16
        print(f"{lines} lines: csv {ours / 1000:.1f} us, {ours / lines:.1f} ns a line; "
              f"tuned {tuned / 1000:.1f} us, {ours / tuned:.2f}x; "
              f"bare {bare / 1000:.1f} us, {ours / bare:.2f}x")
