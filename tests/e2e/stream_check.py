#!/usr/bin/env python3
"""TIMES (--locate) and beat lists (--fit) read as they stream.

Generated files in every form, some longer than the program's 1 MiB block,
are given as a file, as standard input redirected from the file, as a pipe
to standard input and as /dev/stdin: every byte of stdout, the messages, the
status and OUTPUT must be the same each way. A bad line late in a long piped
TIMES leaves an existing OUTPUT as it was; so does a pipe that cannot be kept
for the second reading; a TIMES changed in place while the rows are written
ends the run with its line. Usage: stream_check.py BEATMARKS
"""
import os
import random
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MAP = "tmap\t97.3333\t4\t3000\ntmap\t144.6\t3\t20000\n"


def times_text(form, count, rng, crlf=False, bom=False):
    """COUNT times in the form: numbers, labels or CSV (quoted names over
    lines); in order, a beat every 0.4 to 0.6 s, but for a few shuffled."""
    end = "\r\n" if crlf else "\n"
    rows, micros = [], 0
    for k in range(count):
        micros += rng.randrange(400_000, 600_000)
        t = f"{micros // 10**6}.{micros % 10**6:06d}"
        if form == "numbers":
            rows.append(t + (end if k % 97 else end + "  " + end))
        elif form == "labels":
            rows.append(f"{t}\t{t}\tlabel {k}{end}" + (f"\\\t100\t200{end}" if k % 50 == 0 else ""))
        else:
            name = f"\"take {k}{end}line \"\"two\"\"\"" if k % 3 == 0 else f"n{k}"
            rows.append(f"{name},{t}{end}")
    head = "name,time" + end if form == "csv" else ""
    return ("\ufeff" if bom else "") + head + "".join(rows)


def run(binary, args, folder, stdin=None, env=None):
    piped = isinstance(stdin, bytes)
    done = subprocess.run([binary] + args, cwd=folder, stdin=None if piped else stdin, input=stdin if piped else None,
                          capture_output=True, env=env, timeout=600)
    return done.returncode, done.stdout, done.stderr


def check_same_each_way(binary, folder, rng):
    """Each file named, redirected, piped and as /dev/stdin: the same run."""
    failures = 0
    runs = [(["-f", fmt, "-d", "2", "--locate={}", "map.tmap", "out.txt"]) for fmt in ("csv", "labels", "json")]
    runs.append(["--fit", "-f", "csv", "{}", "out.txt"])
    for form in ("numbers", "labels", "csv"):
        for count, crlf, bom in ((5, False, True), (40_000, True, False), (90_000, False, True)):
            path = Path(folder, f"t-{form}-{count}.txt")
            path.write_bytes(times_text(form, count, rng, crlf, bom).encode())
            data = path.read_bytes()
            for args in runs:
                outcomes = []
                for name, stdin in ((path.name, None), ("-", open(path, "rb")), ("-", data), ("/dev/stdin", data)):
                    status, out, err = run(binary, [a.format(name) for a in args], folder, stdin)
                    for shown in (path.name, "standard input", "/dev/stdin"):
                        out = out.replace(shown.encode(), b"NAME")
                        err = err.replace(shown.encode(), b"NAME")
                    written = Path(folder, "out.txt").read_bytes() if status == 0 else b""
                    Path(folder, "out.txt").unlink(missing_ok=True)
                    outcomes.append((status, out, err, written))
                if any(o != outcomes[0] for o in outcomes) or (outcomes[0][0] == 0 and not outcomes[0][3]):
                    print(f"FAIL {args} {form} {count}: {[o[:3] for o in outcomes]}")
                    failures += 1
    return failures


def check_nothing_written(binary, folder, rng):
    """Refusals of a long piped TIMES: OUTPUT stays, one line, status 1."""
    good = times_text("numbers", 300_000, rng).encode()
    lines = good.count(b"\n")
    cases = [("bad line late", good + b"12,5\n", None,
              f"beatmarks: standard input:{lines + 1}: '12,5' has a decimal comma; write 12.5\n"),
             ("no room to keep it", good, "/nonexistent-folder",
              "beatmarks: -: could not keep a copy in /nonexistent-folder: "
              "No such file or directory\n")]
    failures = 0
    for name, data, tmpdir, message in cases:
        Path(folder, "out.txt").write_bytes(b"as it was\n")
        env = dict(os.environ, TMPDIR=tmpdir) if tmpdir else None
        status, out, err = run(binary, ["-f", "csv", "--locate=-", "map.tmap", "out.txt"], folder, data, env)
        expected = "Beatmarks 1.0\nRead 2 sections, 23000 measures, 72000 beats\n" + message
        if (status, out, err.decode()) != (1, b"", expected) or Path(folder, "out.txt").read_bytes() != b"as it was\n":
            print(f"FAIL {name}: status {status}, {out!r}, {err!r}")
            failures += 1
    return failures


def check_changed_between_readings(binary, folder):
    """TIMES made bad in place while its rows go to a pipe that is not read."""
    path = Path(folder, "changing.txt")
    path.write_bytes(b"0.5\n" * 1_000_000)
    rows = subprocess.Popen([binary, "-f", "csv", "--locate=changing.txt", "map.tmap", "-"], cwd=folder,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = rows.stdout.read(1 << 16)  # the second reading has begun, and waits for its reader
    time.sleep(0.3)
    with open(path, "r+b") as f:
        f.seek(3_000_000)
        f.write(b"bad\n")
    rest = rows.stdout.read()
    err = rows.stderr.read()
    status = rows.wait()
    expected = b"beatmarks: changing.txt:750001: 'bad' is not a time (times read: seconds such as 12.5, m:ss.fff, h:mm:ss.fff)\n"
    if status != 1 or not err.endswith(expected) or not first:
        print(f"FAIL changed between readings: status {status}, {err[-200:]!r}")
        return 1
    if (first + rest).count(b"\r\n") > 750_001:
        print("FAIL changed between readings: rows past the bad line")
        return 1
    return 0


def main():
    binary = str(Path(sys.argv[1]).resolve())
    rng = random.Random(25)
    with tempfile.TemporaryDirectory() as folder:
        Path(folder, "map.tmap").write_text(MAP)
        failures = check_same_each_way(binary, folder, rng)
        failures += check_nothing_written(binary, folder, rng)
        failures += check_changed_between_readings(binary, folder)
    print("stream check:", "FAILED" if failures else "passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
