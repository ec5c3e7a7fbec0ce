"""The scores of the rendered performances: for each piece its meter, its
pickup, the length of every beat in seconds (the tempo curve, with its
ritardandi and fermatas) and its notes, each as (beat position, program,
key, velocity, length in beats). Beat position k is beat k's own moment;
k + 0.5 lies halfway to beat k + 1. Every beat has a note of its own, and
the piece ends on a final hit one beat after its last measure.
"""
import math
from dataclasses import dataclass, field

from instrument_notes import DRUMS

KICK, RIM, SNARE, HAT, PEDAL, CRASH, RIDE = 36, 37, 38, 42, 44, 49, 51
TOMS = [50, 48, 47, 45, 43, 41]
PIANO, GUITAR, ACOUSTIC_BASS, ELECTRIC_BASS, STRINGS = 0, 24, 32, 33, 48
# Chords (low root, then the chord's keys) of a four-bar progression.
CHORDS = [(36, [60, 64, 67]), (45, [60, 64, 69]), (41, [60, 65, 69]), (43, [59, 62, 67])]


@dataclass
class Piece:
    name: str
    soundfont: str
    meter: int
    pickup: int
    gaps: list  # seconds from each beat to the next
    notes: list = field(default_factory=list)

    def add(self, beat, program, key, velocity, length=1.0):
        self.notes.append((beat, program, key, velocity, length))


def drift(beats, start, end):
    """Beat lengths of a tempo moving evenly from `start` to `end` bpm."""
    return [60 / (start + (end - start) * k / max(1, beats - 1)) for k in range(beats)]


def groove(piece, first, beats, rng, kick_and=True):
    """Kick on 1 and 3, snare on 2 and 4, closed hats in eighths."""
    for k in range(first, first + beats):
        b = (k - piece.pickup) % 4
        piece.add(k, DRUMS, KICK if b in (0, 2) else SNARE, rng.choice([96, 104, 112]))
        piece.add(k, DRUMS, HAT, rng.choice([70, 80]))
        piece.add(k + 0.5, DRUMS, HAT, rng.choice([50, 60]))
        if kick_and and b == 2:
            piece.add(k + 0.5, DRUMS, KICK, 80)


def final_hit(piece, k, bass=None, chord=True):
    piece.add(k, DRUMS, CRASH, 110)
    piece.add(k, DRUMS, KICK, 112)
    if bass is not None:
        piece.add(k, bass, 36, 100, 3)
    if chord:
        for key in (60, 64, 67, 72):
            piece.add(k, PIANO, key, 90, 3)


def legato_bass(piece, first, beats, program, rng, eighths=True):
    """A bass line on every beat (and some eighths between), each note held
    into the next so that it still rings at the next attack."""
    starts = []
    for k in range(first, first + beats):
        starts.append(k)
        if eighths and rng.random() < 0.35:
            starts.append(k + 0.5)
    for i, at in enumerate(starts):
        nxt = starts[i + 1] if i + 1 < len(starts) else at + 1
        root = CHORDS[int(at // 4) % 4][0]
        key = root + rng.choice([0, 0, 7, 12]) if at == int(at) else root + rng.choice([5, 7, 10])
        piece.add(at, program, key, rng.choice([88, 100]), (nxt - at) * 1.05)


def comp_piano(piece, first, beats, rng):
    """Chords on beat 1 and on the eighth before beat 3, both held across the
    next beat."""
    for k in range(first, first + beats, 4):
        _, chord = CHORDS[(k // 4) % 4]
        for key in chord:
            piece.add(k, PIANO, key, rng.choice([70, 82]), 1.6)
            piece.add(k + 1.5, PIANO, key, rng.choice([62, 74]), 1.4)


def drums_piece(rng):
    p = Piece("drums", "timgm", 4, 0, drift(96, 96, 108))
    groove(p, 0, 96, rng)
    final_hit(p, 96, chord=False)
    return p


def band_piece(rng, name="band", bars=16):
    gaps = [60 / (100 * (1 + 0.03 * math.sin(k / 9))) for k in range(bars * 4)]
    p = Piece(name, "timgm", 4, 0, gaps)
    groove(p, 0, bars * 4, rng)
    legato_bass(p, 0, bars * 4, ELECTRIC_BASS, rng)
    comp_piano(p, 0, bars * 4, rng)
    final_hit(p, bars * 4, ELECTRIC_BASS)
    return p


def jazz_piece(rng):
    """A walking acoustic bass, ride and swung comping."""
    p = Piece("jazz", "musescore", 4, 0, drift(48, 132, 124))
    legato_bass(p, 0, 48, ACOUSTIC_BASS, rng, eighths=False)
    for k in range(48):
        p.add(k, DRUMS, RIDE, rng.choice([80, 92]))
        if k % 2:
            p.add(k, DRUMS, PEDAL, 70)
            p.add(k + 0.67, DRUMS, RIDE, 60)
        if k % 4 in (1, 3) and rng.random() < 0.7:
            for key in CHORDS[(k // 4) % 4][1]:
                p.add(k + 0.67, PIANO, key, rng.choice([60, 72]), 1.2)
    final_hit(p, 48, ACOUSTIC_BASS)
    return p


def strings_piece(rng):
    """Guitar arpeggios and held strings over a light groove."""
    p = Piece("strings", "musescore", 4, 0, drift(48, 84, 88))
    for k in range(48):
        root, chord = CHORDS[(k // 4) % 4]
        if k % 4 == 0:
            for key in chord:
                p.add(k, STRINGS, key - 12, 80, 4.1)
        p.add(k, DRUMS, KICK if k % 2 == 0 else RIM, rng.choice([90, 100]))
        p.add(k, GUITAR, root + 12 if k % 2 == 0 else chord[k % 3], rng.choice([84, 96]), 1.5)
        p.add(k + 0.5, GUITAR, chord[(k + 1) % 3], rng.choice([60, 70]), 1.0)
    final_hit(p, 48, ACOUSTIC_BASS)
    return p


def fills_piece(rng):
    """A groove with a tom fill every fourth bar and a crash after it."""
    p = Piece("fills", "timgm", 4, 0, drift(64, 112, 116))
    for bar in range(16):
        first = bar * 4
        if bar % 4 == 3:
            groove(p, first, 2, rng)
            for i in range(8):  # sixteenths down the toms over beats 3 and 4
                p.add(first + 2 + i / 4, DRUMS, TOMS[min(i, 5)], rng.choice([96, 110]))
        else:
            groove(p, first, 4, rng)
        if bar % 4 == 0 and bar:
            p.add(first, DRUMS, CRASH, 112)
    legato_bass(p, 0, 64, ELECTRIC_BASS, rng)
    final_hit(p, 64, ELECTRIC_BASS)
    return p


def ritard_piece(rng):
    """A band that rushes, slows down and holds a fermata before its last hit."""
    gaps = drift(16, 100, 116) + drift(16, 116, 116) + drift(16, 116, 84) + drift(8, 84, 76)
    gaps[-2] *= 3.2
    p = Piece("ritard", "timgm", 4, 0, gaps)
    groove(p, 0, 54, rng)
    legato_bass(p, 0, 56, ELECTRIC_BASS, rng)
    comp_piano(p, 0, 56, rng)
    for key in (48, 55, 60, 64):
        p.add(54, PIANO, key, 96, 3.2)  # the held chord
    p.add(54, DRUMS, CRASH, 100)
    p.add(55, DRUMS, SNARE, 100)
    final_hit(p, 56, ELECTRIC_BASS)
    return p


def ballad_piece(rng, name="ballad", beats=32):
    """A rubato 6/8 ballad: two dotted-quarter beats a measure, piano eighths
    ringing into each other over held bass notes, slowing at the end."""
    gaps = [60 / (56 * (1 + 0.08 * math.sin(k / 3))) for k in range(beats - 4)]
    gaps += [60 / bpm for bpm in (52, 48, 44, 40)]
    p = Piece(name, "musescore", 2, 0, gaps)
    for k in range(beats):
        root, chord = CHORDS[(k // 2) % 4]
        if k % 2 == 0:
            p.add(k, PIANO, root, rng.choice([72, 80]), 2.0)
        p.add(k, PIANO, chord[0], rng.choice([64, 72]), 1.0)
        p.add(k + 1 / 3, PIANO, chord[1], rng.choice([50, 58]), 0.9)
        p.add(k + 2 / 3, PIANO, chord[2], rng.choice([50, 58]), 0.8)
    for key in (36, 48, 55, 60, 64):
        p.add(beats, PIANO, key, 84, 3)
    return p


def pickup_piece(rng):
    """A waltz with a one-beat pickup: bass on 1, piano on 2 and 3."""
    p = Piece("pickup", "timgm", 3, 1, drift(49, 126, 120))
    p.add(0, PIANO, 67, 90, 1.0)
    p.add(0, DRUMS, HAT, 70)
    for k in range(1, 49):
        root, chord = CHORDS[((k - 1) // 3) % 4]
        p.add(k, DRUMS, HAT, rng.choice([60, 70]))
        if (k - 1) % 3 == 0:
            p.add(k, ACOUSTIC_BASS, root, rng.choice([96, 104]), 1.1)
            p.add(k, DRUMS, KICK, 96)
        else:
            for key in chord:
                p.add(k, PIANO, key, rng.choice([64, 74]), 0.8)
    final_hit(p, 49, ACOUSTIC_BASS)
    return p


def march_piece(rng):
    """A march in two: bass and kick on 1, the chord and snare on 2, hats in
    eighths, the chord changing every measure."""
    p = Piece("march", "timgm", 2, 0, drift(64, 104, 112))
    for k in range(64):
        root, chord = CHORDS[(k // 2) % 4]
        p.add(k, DRUMS, HAT, rng.choice([60, 70]))
        p.add(k + 0.5, DRUMS, HAT, rng.choice([44, 54]))
        if k % 2 == 0:
            p.add(k, ACOUSTIC_BASS, root, rng.choice([96, 104]), 0.9)
            p.add(k, DRUMS, KICK, rng.choice([96, 104]))
        else:
            p.add(k, DRUMS, SNARE, rng.choice([84, 92]))
            for key in chord:
                p.add(k, PIANO, key, rng.choice([64, 74]), 0.7)
    final_hit(p, 64, ACOUSTIC_BASS)
    return p


def short_piece(rng):
    """A few seconds of drums, legato electric bass and piano, for tests."""
    return band_piece(rng, "short", bars=4)


def soft_piece(rng):
    """Six measures of the ballad's soft piano, for tests."""
    return ballad_piece(rng, "soft", beats=12)


PIECES = [drums_piece, band_piece, jazz_piece, strings_piece, fills_piece, ritard_piece,
          ballad_piece, pickup_piece, march_piece]
