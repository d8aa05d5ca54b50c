"""Frame RMS, zero crossings and autocorrelation of a waveform."""

import math

import numpy as np
import pytest

from sonavera import _core

F32 = np.float32
NAN = float("nan")
INF = float("inf")


def f32(x):
    """The Python float of the nearest single-precision value."""
    return float(F32(x))


# ---------------------------------------------------------------- get_rms


def rms_model(y, frame_length, hop_length):
    """Squares summed one at a time in single precision, times the rounded reciprocal."""
    y = np.asarray(y, dtype=F32)
    n_frames = (len(y) - frame_length) // hop_length + 1
    inv = F32(1) / F32(frame_length)
    out = []
    for i in range(n_frames):
        total = F32(0)
        for x in y[i * hop_length : i * hop_length + frame_length]:
            total = F32(total + F32(x * x))
        out.append(float(np.sqrt(F32(total * inv))))
    return out


def test_rms_multiplies_by_the_rounded_reciprocal():
    # sqrt(5 x 0.33333334) rather than sqrt(5 / 3)
    assert _core.get_rms([1.0, 2.0, 0.0], 3, 1) == [1.2909945249557495]


def test_rms_sums_squares_in_sample_order():
    # 2^24 + 1 + 1 + 1 stays 2^24 one term at a time; any regrouping of the ones reaches 2^24 + 4.
    assert _core.get_rms([4096.0, 1.0, 1.0, 1.0], 4, 4) == [2048.0]


def test_rms_matches_single_precision_model():
    rng = np.random.default_rng(7)
    y = (rng.standard_normal(1500) * np.exp(rng.uniform(-8, 8, 1500))).astype(F32).tolist()
    assert _core.get_rms(y, 300, 170) == rms_model(y, 300, 170)


@pytest.mark.parametrize(
    "length, kwargs, n_frames",
    [
        (2048, {}, 1),
        (2559, {}, 1),
        (2560, {}, 2),
        (10, {"frame_length": 4, "hop_length": 3}, 3),
        (10, {"frame_length": 11, "hop_length": 1}, 0),
        (10, {"frame_length": 4, "hop_length": 0}, 0),
        (10, {"frame_length": 0, "hop_length": 1}, 0),
        (0, {"frame_length": 0, "hop_length": 0}, 0),
    ],
)
def test_rms_frame_count(length, kwargs, n_frames):
    assert len(_core.get_rms([0.5] * length, **kwargs)) == n_frames


def test_rms_of_non_finite_frames():
    assert _core.get_rms([1.0, INF, 1.0, 1.0], 2, 2) == [INF, 1.0]
    result = _core.get_rms([NAN, 1.0, 1.0, 1.0], 2, 2)
    assert math.isnan(result[0]) and result[1] == 1.0


# ---------------------------------------------------------------- zero_crossings


def crossings_model(y, threshold, pad):
    y = np.asarray(y, dtype=F32)
    replaced = np.where(np.abs(y) <= F32(threshold), F32(0), y)
    signs = np.where(np.isnan(y), F32(np.nan), np.where(np.signbit(replaced), F32(-1), F32(1)))
    flags = [bool(a != b) for a, b in zip(signs[:-1], signs[1:])]
    return ([pad] if len(y) else []) + flags


@pytest.mark.parametrize(
    "y, threshold, expected_after_first",
    [
        ([1.0, -1.0, 1.0], 1e-10, [True, True]),
        # zero counts as positive: touching it from below crosses twice, from above never
        ([-1.0, 0.0, -1.0], 1e-10, [True, True]),
        ([1.0, 0.0, 1.0], 1e-10, [False, False]),
        ([-1.0, -0.0, -1.0], 1e-10, [True, True]),
        ([0.5, 1e-12, -0.5], 1e-10, [False, True]),
        # the threshold test is non-strict: exactly the threshold counts as zero
        ([-1.0, -1e-10, -1.0], 1e-10, [True, True]),
        ([-1.0, -1.0000001e-10, -1.0], 1e-10, [False, False]),
        # a negative or NaN threshold replaces nothing, so -0.0 keeps its sign
        ([1.0, -0.0, -1e-12], -1.0, [True, False]),
        ([1e-12, -1e-12], NAN, [True]),
        ([1e-12, -1e-12], 1e-10, [False]),
        # a NaN sign differs from everything, itself included
        ([1.0, NAN, 1.0, 1.0], 1e-10, [True, True, False]),
        ([NAN, NAN], 1e-10, [True]),
        ([INF, -INF, -1.0], 1e-10, [True, False]),
        ([-1.0, 2.0], INF, [False]),
    ],
)
@pytest.mark.parametrize("pad", [True, False])
def test_zero_crossing_flags(y, threshold, expected_after_first, pad):
    result = _core.zero_crossings(y, threshold, pad)
    assert result == [pad] + expected_after_first
    assert all(flag is True or flag is False for flag in result)


def test_zero_crossings_match_model_sample_by_sample():
    rng = np.random.default_rng(3)
    y = rng.standard_normal(2000).astype(F32)
    y[::7] = 0.0
    y[::11] = -0.0
    y[5::13] = F32(3e-11)
    y[6::17] = np.nan
    y = y.tolist()
    assert _core.zero_crossings(y) == crossings_model(y, 1e-10, True)
    assert _core.zero_crossings(y, 0.2, False) == crossings_model(y, 0.2, False)


@pytest.mark.parametrize("y, pad, expected", [([], True, []), ([], False, []), ([-3.0], True, [True]),
                                              ([-3.0], False, [False])])
def test_zero_crossings_short_signals(y, pad, expected):
    assert _core.zero_crossings(y, pad=pad) == expected


# ---------------------------------------------------------------- autocorrelate


def test_autocorrelate_single_sample_is_exact():
    assert _core.autocorrelate([2.0]) == [4.0]


@pytest.mark.parametrize(
    "y, kwargs, expected",
    [
        ([1.0, 2.0, 3.0], {}, [14.0, 8.0, 3.0]),
        ([1.0, 2.0, 3.0], {"max_size": None}, [14.0, 8.0, 3.0]),
        ([1.0, 2.0, 3.0], {"max_size": 2}, [14.0, 8.0]),
        ([1.0, 2.0, 3.0], {"max_size": 10}, [14.0, 8.0, 3.0]),
        ([1.0, 2.0, 3.0], {"max_size": 0}, []),
        ([1.0, 0.0, 0.0, 0.0], {}, [1.0, 0.0, 0.0, 0.0]),
        # a transform of only n points would wrap lag 3 around onto lag 1
        ([1.0, 0.0, 0.0, 1.0], {}, [2.0, 0.0, 0.0, 1.0]),
        ([], {}, []),
        ([], {"max_size": 5}, []),
    ],
)
def test_autocorrelate_small_cases(y, kwargs, expected):
    assert _core.autocorrelate(y, **kwargs) == pytest.approx(expected, rel=1e-6, abs=1e-5)


@pytest.mark.parametrize("n", [2, 5, 16, 17, 1000])
def test_autocorrelate_is_the_linear_correlation(n):
    rng = np.random.default_rng(n)
    y = rng.standard_normal(n).astype(F32)
    direct = [float(np.dot(y[: n - k].astype(float), y[k:].astype(float))) for k in range(n)]
    result = _core.autocorrelate(y.tolist())
    assert len(result) == n
    assert result == pytest.approx(direct, abs=2e-5 * direct[0])


def test_autocorrelate_spreads_non_finite_samples_to_every_lag():
    assert all(math.isnan(r) for r in _core.autocorrelate([1.0, NAN, 1.0]))
