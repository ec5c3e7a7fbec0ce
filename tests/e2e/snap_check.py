#!/usr/bin/env python3
"""--snap end to end on performances made here (scripts/render_performance.py):
hits of three kinds (noise bursts, decaying sine plucks, a falling kick sweep)
at known samples of a drifting tempo, over a ringing bass note, noise at
-40 dB and a reverb tail, in a stereo WAV; taps 10 ms late with +-15 ms of
jitter, one missed and one double tap. Every beat of the CSV must lie on
its hit's first sample (two samples of room, far inside the 1 ms asked for),
the run must say what it snapped, and each bad recording is refused in one
line with status 1 and nothing written.

Usage: snap_check.py BEATMARKS
"""
import struct
import wave
from fractions import Fraction
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from render_performance import RATE, render, taps_of, write_wav  # noqa: E402

# Percussive hits are found on their first sample; two samples of room.
TOLERANCE = 2


def run(program, args):
    return subprocess.run([program] + [str(a) for a in args], capture_output=True, text=True)


def check_performance(program, folder, kind, seed):
    recording = folder / f"{kind}.wav"
    hits = render(recording, kind, seed)
    taps = folder / f"{kind}.txt"
    taps.write_text("".join(f"{t:.4f}\n" for t in taps_of(hits, seed)))
    out = folder / f"{kind}.csv"
    r = run(program, ["--fit", f"--snap={recording}", "-f", "csv", taps, out])
    assert r.returncode == 0, f"{kind}: status {r.returncode}\n{r.stdout}{r.stderr}"
    assert f"Snapped {len(hits)} of {len(hits)} beats" in r.stderr, f"{kind}:\n{r.stderr}"
    rows = [row.split(",") for row in out.read_text().splitlines()]
    assert rows[0][-1] == "source" and all(row[6] == "snapped" for row in rows[1:]), f"{kind}: sources"
    frames = [int(row[1]) for row in rows[1:]]
    assert len(frames) == len(hits), f"{kind}: {len(frames)} beats for {len(hits)} hits"
    worst = max(abs(f - h) for f, h in zip(frames, hits))
    assert worst <= TOLERANCE, f"{kind}: a beat {worst} samples from its hit"
    return worst


def with_cue_points(recording, taps, path):
    """The recording with a cue point at each tap, as an editor saves markers."""
    data = recording.read_bytes()
    cues = [round(float(t) * RATE) for t in taps.read_text().split()]
    body = struct.pack("<I", len(cues)) + b"".join(
        struct.pack("<II4sIII", i + 1, c, b"data", 0, 0, c) for i, c in enumerate(cues))
    chunk = b"cue " + struct.pack("<I", len(body)) + body
    path.write_bytes(data[:4] + struct.pack("<I", len(data) - 8 + len(chunk)) + data[8:] + chunk)


def check_cue_points(program, folder, hits):
    """Taps given as a WAV's cue points snap the same."""
    marked = folder / "marked.wav"
    with_cue_points(folder / "noise.wav", folder / "noise.txt", marked)
    out = folder / "cues.csv"
    r = run(program, ["--fit", f"--snap={folder / 'noise.wav'}", "-f", "csv", marked, out])
    assert r.returncode == 0, f"cue points: status {r.returncode}\n{r.stdout}{r.stderr}"
    frames = [int(row.split(",")[1]) for row in out.read_text().splitlines()[1:]]
    assert len(frames) == len(hits) and max(abs(f - h) for f, h in zip(frames, hits)) <= TOLERANCE


def check_refusals(program, folder):
    taps = folder / "short.txt"
    taps.write_text("0.5\n1.0\n1.5\n2.0\n")
    silence = folder / "empty.wav"
    write_wav(silence, b"", 1)
    short = folder / "short.wav"
    write_wav(short, b"\0\0" * RATE, 1)  # one second, the taps go on to two
    cases = [
        ("not audio", [f"--snap={taps}"], "beatmarks: "),
        ("no samples", [f"--snap={silence}"], "beatmarks: "),
        ("shorter than the taps", [f"--snap={short}"], "beatmarks: "),
        ("a rate below the recording's", [f"--snap={folder / 'noise.wav'}", "-r", "44100"],
         "its sample rate is 48000, not the 44100 given"),
        ("a rate above it", [f"--snap={folder / 'noise.wav'}", "-r", "96000"],
         "its sample rate is 48000, not the 96000 given"),
        ("a rate not that of --into", ["-f", "wav", f"--into={folder / 'noise.wav'}", "-r", "44100"],
         "its sample rate is 48000, not the 44100 given"),
        ("a folder", [f"--snap={folder}"], f"{folder}: is a folder"),
    ]
    for name, options, message in cases:
        out = folder / "refused.csv"
        r = run(program, ["--fit", "-f", "csv"] + options + [taps, out])
        lines = [l for l in r.stderr.splitlines() if l.startswith("beatmarks: ")]
        assert r.returncode == 1 and len(lines) == 1 and message in lines[0], \
            f"{name}: status {r.returncode}\n{r.stdout}{r.stderr}"
        assert not out.exists(), f"{name}: something was written"


def check_low_rates(program, folder):
    """No beat moves further from its tap than --snap-window, nor past the
    end; a recording too coarse for the window, or two beats on one sample,
    is refused in one line."""
    def recording(rate, seconds, every):
        path = folder / f"r{rate}.wav"
        with wave.open(str(path), "wb") as w:
            w.setnchannels(1), w.setsampwidth(2), w.setframerate(rate)
            w.writeframes(b"".join(b"\x20\x4e" if f % every < 2 else b"\0\0" for f in range(seconds * rate)))
        return path
    taps, out = folder / "slow.txt", folder / "slow.csv"
    times = [Fraction(2 * k + 1, 4) + Fraction(1, 100) for k in range(16)]  # 0.26 to 7.76 s
    taps.write_text("".join(f"{float(t):.2f}\n" for t in times))
    for rate, every, window in ((13, 6, "0.08"), (100, 47, "0.005")):
        run(program, ["--fit", f"--snap={recording(rate, 8, every)}", f"--snap-window={window}", "-f", "csv", taps, out])
        frames = [int(row.split(",")[1]) for row in out.read_text().splitlines()[1:]]
        assert all(abs(Fraction(f, rate) - t) <= Fraction(window) and f <= 8 * rate
                   for f, t in zip(frames, times)) and len(frames) == len(times), (rate, frames)
    out.unlink()
    close = folder / "close.txt"
    close.write_text("0.5\n0.99999\n1.0\n")
    for options, error in (([f"--snap={recording(1, 9, 2)}", taps], "its samples lie 1 s apart (1 Hz), more than "
                            "the snap window spans (0.08 s either way of a tap)"),
                           (["--strict", f"--snap={recording(8000, 1, 9000)}", close],
                            "beats 1.2 and 1.3 fall on one sample of")):
        r = run(program, ["--fit", "-f", "csv"] + options[:-1] + [options[-1], out])
        assert r.returncode == 1 and error in r.stderr.splitlines()[-1] and not out.exists(), r.stderr


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as d:
        folder = Path(d)
        for seed, kind in enumerate(["noise", "pluck", "kick"]):
            worst = check_performance(program, folder, kind, seed)
            print(f"{kind}: every beat within {worst} samples of its hit")
        check_cue_points(program, folder, render(folder / "noise.wav", "noise", 0))
        check_refusals(program, folder)
        check_low_rates(program, folder)


if __name__ == "__main__":
    main()
