"""Notes of General MIDI instruments rendered one at a time through the
fluidsynth command, each trimmed to its attack: the first sample where its
own sound passes 1% of its peak. Also the WAV files read and written here
(float and 24-bit PCM) and the soundfonts Debian installs.

A batch of notes is rendered by one fluidsynth run: every distinct note
(program, key, velocity, length) gets a slot of its own in one MIDI file,
with all sound cut at the slot's end, so that no note hears another and
each is rendered once however often a piece plays it.
"""
import os
import shutil
import struct
import subprocess
import tempfile
from pathlib import Path

import mido
import numpy as np

SOUNDFONTS = {
    "timgm": "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "musescore": "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3",
}
DRUMS = -1  # the program of a note on the drum channel
THRESHOLD = 0.01  # of a note's peak: where its attack starts
TICKS = 960  # per quarter note at 120 bpm: a tick is 0.52 ms
FADE = 0.05  # seconds faded out at the end of a note's slot


def missing_tools(soundfont="timgm"):
    """What this machine lacks to render notes, or an empty string."""
    if not shutil.which("fluidsynth"):
        return "no fluidsynth command (Debian: fluidsynth)"
    if not os.path.exists(SOUNDFONTS[soundfont]):
        return f"no soundfont {SOUNDFONTS[soundfont]}"
    return ""


def ring_time(program, key):
    """Seconds a note may sound after its note-off (drums: after the hit)."""
    if program == DRUMS:
        return 2.5 if key in (49, 51, 52, 55, 57, 59) else 0.8  # cymbals ring on
    return 1.0


def read_wav(path):
    """(rate, samples as float64 frames x channels) of a PCM or float WAV."""
    data = Path(path).read_bytes()
    pos, fmt, body = 12, None, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[pos + 8:pos + 24])
        elif tag == b"data":
            body = data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    kind, channels, rate, _, _, bits = fmt
    if kind == 0xFFFE:  # extensible: the sub-format's first two bytes say which
        kind = struct.unpack("<H", data[data.index(b"fmt ") + 32:data.index(b"fmt ") + 34])[0]
    if kind == 3:
        samples = np.frombuffer(body, "<f4" if bits == 32 else "<f8").astype(np.float64)
    elif bits == 24:
        raw = np.frombuffer(body, np.uint8).reshape(-1, 3).astype(np.int32)
        samples = ((raw[:, 0] | raw[:, 1] << 8 | raw[:, 2] << 16) << 8 >> 8) / 2.0 ** 23
    else:
        samples = np.frombuffer(body, "<i2").astype(np.float64) / 2.0 ** 15
    return rate, samples.reshape(-1, channels)


def write_wav(path, rate, samples, bits=24):
    """Writes frames x channels as 24-bit PCM, or 32-bit float with bits=32."""
    frames, channels = samples.shape
    if bits == 32:
        body, kind = samples.astype("<f4").tobytes(), 3
    else:
        ints = np.ascontiguousarray(np.clip(np.round(samples * 2.0 ** 23), -2 ** 23, 2 ** 23 - 1), "<i4")
        body, kind = ints.view(np.uint8).reshape(-1, 4)[:, :3].tobytes(), 1
    width = bits // 8
    fmt = struct.pack("<HHIIHH", kind, channels, rate, rate * channels * width, channels * width, bits)
    chunks = b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(body)) + body
    Path(path).write_bytes(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)


def attack_of(note):
    """The first frame where the note passes THRESHOLD of its peak."""
    level = np.abs(note).max(axis=1)
    return int(np.argmax(level > THRESHOLD * level.max()))


def slot_midi(notes, path):
    """A MIDI file that plays each note alone in its own slot; the slots' starts."""
    midi = mido.MidiFile(ticks_per_beat=TICKS)
    track = mido.MidiTrack()
    midi.tracks.append(track)
    seconds = lambda ticks: ticks / (2 * TICKS)
    now, starts = 0, []
    for program, key, velocity, length in notes:
        channel = 9 if program == DRUMS else 0
        start = now + TICKS // 4
        off = start + max(1, round(length * 2 * TICKS))
        end = off + round(ring_time(program, key) * 2 * TICKS)
        if program != DRUMS:
            track.append(mido.Message("program_change", channel=0, program=program, time=start - now))
            now = start
        track.append(mido.Message("note_on", channel=channel, note=key, velocity=velocity, time=start - now))
        track.append(mido.Message("note_off", channel=channel, note=key, velocity=0, time=off - start))
        track.append(mido.Message("control_change", channel=channel, control=120, value=0, time=end - off))
        track.append(mido.Message("control_change", channel=channel, control=121, value=0, time=0))
        starts.append((seconds(start), seconds(end)))
        now = end
    track.append(mido.Message("control_change", channel=0, control=121, value=0, time=TICKS))
    midi.save(path)
    return starts


def render_notes(notes, rate, soundfont="timgm"):
    """{note: its sound from its attack on, frames x 2} for each distinct
    (program, key, velocity, length in seconds)."""
    notes = sorted(set(notes))
    if not notes:
        return {}
    with tempfile.TemporaryDirectory() as tmp:
        midi, wav = os.path.join(tmp, "notes.mid"), os.path.join(tmp, "notes.wav")
        slots = slot_midi(notes, midi)
        subprocess.run(["fluidsynth", "-ni", "-R", "0", "-C", "0", "-O", "float", "-T", "wav",
                        "-F", wav, "-r", str(rate), SOUNDFONTS[soundfont], midi],
                       check=True, capture_output=True)
        _, audio = read_wav(wav)
    fade = np.linspace(1.0, 0.0, int(FADE * rate))[:, None]
    sounds = {}
    for note, (start, end) in zip(notes, slots):
        sound = audio[int(start * rate) - 64:int(end * rate)].copy()
        sound[-len(fade):] *= fade
        if not np.any(sound):
            raise RuntimeError(f"note {note} made no sound in {soundfont}")
        sounds[note] = sound[attack_of(sound):]
    return sounds
