import math

import pytest

from reference_math import assert_same, exp, exp2, log, log2, log10, pow_
from sonavera import _core

INF = math.inf
NAN = math.nan

# The constants of the double-precision mel scales, derived from their definitions.
LINEAR_STEP = 200.0 / 3.0
BREAK_HZ = 1000.0
BREAK_MEL = BREAK_HZ / LINEAR_STEP
LOG_STEP = math.log(6.4) / 27.0


def model_hz_to_mel(f, htk):
    if htk:
        return log10(f / 700.0 + 1.0) * 2595.0
    if f < BREAK_HZ:
        return f / LINEAR_STEP
    return log(f / BREAK_HZ) / LOG_STEP + BREAK_MEL


def model_mel_to_hz(m, htk):
    if htk:
        return (pow_(10.0, m / 2595.0) - 1.0) * 700.0
    if m < BREAK_MEL:
        return m * LINEAR_STEP + 0.0
    return exp((m - BREAK_MEL) * LOG_STEP) * BREAK_HZ


def model_hz_to_midi(f):
    return log2(f / 440.0) * 12.0 + 69.0


def model_midi_to_hz(n):
    return exp2((n - 69.0) / 12.0) * 440.0


# Values on both sides of every branch point, the domain ends of the logarithms and non-finite
# values, in an order that no sorting would produce.
HERTZ = [
    440.0, -0.0, 0.0, 999.9999999999999, 1000.0, 1000.0000000000001, 500.0, 1e-300, 2000.0,
    22050.0, 1e6, -1.0, -699.9999999999999, -700.0, -700.0000000000001, -1e5, INF, -INF, NAN, 0.1,
]
MELS = [
    14.999999999999996, 14.999999999999998, 15.0, 0.0, -0.0, -3.0, 7.5, 25.0, 45.0, 1e4, 2595.0,
    -2595.0, 1e6, INF, -INF, NAN, 0.1,
]
NOTES = [69.0, 81.0, 0.0, -0.0, 60.5, 127.0, -100.0, 2000.0, -2000.0, INF, -INF, NAN]


@pytest.mark.parametrize("htk", [False, True])
def test_mel_conversions_follow_the_formulas_element_by_element(htk):
    assert_same(_core.hz_to_mel(HERTZ, htk), [model_hz_to_mel(f, htk) for f in HERTZ])
    assert_same(_core.mel_to_hz(MELS, htk=htk), [model_mel_to_hz(m, htk) for m in MELS])


def test_midi_conversions_follow_the_formulas_element_by_element():
    assert_same(_core.hz_to_midi(HERTZ), [model_hz_to_midi(f) for f in HERTZ])
    assert_same(_core.midi_to_hz(NOTES), [model_midi_to_hz(n) for n in NOTES])


@pytest.mark.parametrize(
    "function, args, expected",
    [
        # The break lies just below 15 mels, and 1000 Hz already takes the logarithmic branch.
        (_core.hz_to_mel, ([1000.0],), [14.999999999999998]),
        # A division by the step; multiplying by its reciprocal would give 7.5.
        (_core.hz_to_mel, ([500.0],), [7.499999999999999]),
        (_core.hz_to_mel, ([0.0], False), [0.0]),
        (_core.hz_to_mel, ([0.0], True), [0.0]),
        (_core.hz_to_mel, ([-600.0],), [-9.0]),
        (_core.hz_to_mel, ([NAN],), [NAN]),
        (_core.hz_to_mel, ([-700.0, -700.5, 700.0], True), [-INF, NAN, 2595.0 * math.log10(2.0)]),
        (_core.mel_to_hz, ([14.999999999999998],), [1000.0]),
        # 15 mels lie above the break: the logarithmic branch gives one more ulp than 15 × step.
        (_core.mel_to_hz, ([15.0],), [1000.0000000000002]),
        (_core.mel_to_hz, ([-0.0],), [0.0]),
        (_core.mel_to_hz, ([-3.0],), [-200.0]),
        (_core.mel_to_hz, ([NAN], True), [NAN]),
        (_core.hz_to_midi, ([440.0, 880.0, 220.0, 0.0, -1.0],), [69.0, 81.0, 57.0, -INF, NAN]),
        (_core.midi_to_hz, ([69.0, 81.0, 57.0, -INF],), [440.0, 880.0, 220.0, 0.0]),
    ],
)
def test_worked_values(function, args, expected):
    assert_same(function(*args), expected)


@pytest.mark.parametrize(
    "function", [_core.hz_to_mel, _core.mel_to_hz, _core.hz_to_midi, _core.midi_to_hz]
)
def test_empty_input_gives_empty_output(function):
    assert function([]) == []
