"""The built-in test signal: five seconds with a known pitch, known onsets and a known key.

It is made in memory, so the ``analyze`` command runs on any machine without audio files:

====================  ===========================================================================
0.0 s to 1.5 s        a 220 Hz sine (A3), amplitude 0.5
1.5 s to 3.0 s        an A chord of 220, 440 and 660 Hz (A3, A4, E5): its period is still 220 Hz
3.0 s to 4.5 s        a chirp rising exponentially from 220 Hz to 880 Hz, amplitude 0.4
4.5 s to 5.0 s        silence with three clicks, at 4.6 s, 4.75 s and 4.9 s
====================  ===========================================================================

Each section fades in and out over 5 ms. The tone and the chord make up two thirds of the
voiced frames, so the median pitch is that of the tone.
"""

from __future__ import annotations

import array
import math
import random

SAMPLE_RATE = 22050
DURATION = 5.0
TONE_HZ = 220.0
CHORD_HZ = (220.0, 440.0, 660.0)
CHIRP_HZ = (220.0, 880.0)
CLICK_TIMES = (4.6, 4.75, 4.9)
DESCRIPTION = "built-in test signal (220 Hz tone, A chord, rising chirp, clicks)"

_FADE = 0.005
_CLICK_LENGTH = 0.004


def _section(start: float, stop: float, sr: int, wave) -> list[tuple[int, float]]:
    """(sample index, value) pairs of ``wave(t)`` over [start, stop), t counted from start."""
    first, last = round(start * sr), round(stop * sr)
    fade = _FADE * sr
    out = []
    for n in range(first, last):
        k = n - first
        gain = min(1.0, k / fade, (last - 1 - n) / fade)
        out.append((n, gain * wave(k / sr)))
    return out


def generate(sr: int = SAMPLE_RATE) -> array.array:
    """The test signal as 32-bit floats at ``sr`` Hz."""
    y = array.array("f", bytes(4 * round(DURATION * sr)))
    two_pi = 2.0 * math.pi
    span = 1.5
    ratio = CHIRP_HZ[1] / CHIRP_HZ[0]
    # Phase of an exponential sweep: integral of f0 * ratio ** (t / span).
    chirp_scale = two_pi * CHIRP_HZ[0] * span / math.log(ratio)
    sections = [
        (0.0, 1.5, lambda t: 0.5 * math.sin(two_pi * TONE_HZ * t)),
        (1.5, 3.0, lambda t: sum(a * math.sin(two_pi * f * t) for a, f in zip((0.3, 0.2, 0.15), CHORD_HZ))),
        (3.0, 4.5, lambda t: 0.4 * math.sin(chirp_scale * (ratio ** (t / span) - 1.0))),
    ]
    for start, stop, wave in sections:
        for n, value in _section(start, stop, sr, wave):
            y[n] = value
    noise = random.Random(6)  # a fixed seed: the same clicks on every run
    for at in CLICK_TIMES:
        first = round(at * sr)
        for k in range(round(_CLICK_LENGTH * sr)):
            y[first + k] = 0.8 * math.exp(-k / (0.0006 * sr)) * noise.uniform(-1.0, 1.0)
    return y
