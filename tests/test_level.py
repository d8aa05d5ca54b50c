"""Decibel conversions, mu-law companding, channel mixdown and linear resampling."""

import array
import math

import numpy as np
import pytest

from reference_math import log10f, logf, powf
from sonavera import _core

F32 = np.float32
NAN = float("nan")
INF = float("inf")


def f32(x):
    return float(F32(x))


def same(a, b):
    """Equal lists of floats where NaN equals NaN and the sign of zero counts."""
    return len(a) == len(b) and all(
        (math.isnan(x) and math.isnan(y)) or (x == y and math.copysign(1, x) == math.copysign(1, y))
        for x, y in zip(a, b)
    )


@pytest.fixture(scope="module")
def signal():
    rng = np.random.default_rng(5)
    values = rng.standard_normal(400) * np.exp(rng.uniform(-12, 12, 400))
    values[::9] = 0.0
    return values.astype(F32).tolist()


# ---------------------------------------------------------------- decibels

FORWARD = [(_core.amplitude_to_db, 20, 1e-5), (_core.power_to_db, 10, 1e-10)]


def to_db_model(s, factor, ref_val=1.0, amin=None, top_db=None):
    reference = F32(log10f(abs(F32(ref_val))) * F32(factor))
    out = []
    for x in s:
        a = abs(F32(x))
        m = F32(amin) if math.isnan(a) else max(a, F32(amin))
        out.append(F32(F32(log10f(m) * F32(factor)) - reference))
    if top_db is not None and out:
        finite = [v for v in out if not math.isnan(v)]
        floor = F32((max(finite) if finite else F32(-INF)) - F32(top_db))
        out = [floor if v < floor else v for v in out]
    return [float(v) for v in out]


@pytest.mark.parametrize("function, factor, amin", FORWARD)
@pytest.mark.parametrize("ref_val, top_db", [(1.0, None), (3.7, None), (-0.02, 40.0), (1e-30, 0.5)])
def test_to_db_matches_single_precision_model(signal, function, factor, amin, ref_val, top_db):
    # log10(m) x F - R in that order; log10(m / ref) would round differently
    result = function(signal, ref_val=ref_val, top_db=top_db)
    assert result == to_db_model(signal, factor, ref_val, amin, top_db)


@pytest.mark.parametrize("function, factor, amin", FORWARD)
def test_to_db_floors(function, factor, amin):
    floor = to_db_model([0.0], factor, amin=amin)[0]
    assert floor == pytest.approx(-100.0, abs=1e-4)
    # a NaN element gives way to the floor; so does a NaN floor to the element
    assert function([0.0, NAN, -1e-20]) == [floor] * 3
    assert same(function([NAN, 10.0], amin=NAN), [NAN, float(factor)])
    assert function([0.0, 1.0], amin=0.0) == [-INF, 0.0]
    assert function([], top_db=10.0) == []


@pytest.mark.parametrize("function, factor, amin", FORWARD)
def test_to_db_reference(function, factor, amin):
    assert function([10.0, 1e-20], ref_val=0.0) == [INF, INF]
    assert function([3.0, 0.5], ref_val=-2.0) == function([3.0, 0.5], ref_val=2.0)
    assert function([2.0], ref_val=2.0) == [0.0]


def test_top_db_clipping():
    s = [10 ** (-0.3), 1e-9, 1e-5, 10 ** (-8.6), NAN]
    low = f32(f32(-3.0) - f32(80.0))
    result = _core.power_to_db(s, top_db=80.0)
    plain = _core.power_to_db(s)
    assert result[0] == plain[0] and math.isclose(plain[0], -3.0, abs_tol=1e-5)
    assert result[2] == plain[2] == pytest.approx(-50.0)
    assert result[1] == result[3] == result[4] == f32(result[0] - 80.0) == pytest.approx(low)


@pytest.mark.parametrize(
    "top_db, expected",
    [
        (0.0, [20.0, 20.0, 20.0]),  # everything up to the maximum
        (-5.0, [25.0, 25.0, 25.0]),  # above the maximum: not rejected
        (NAN, [20.0, 0.0, -20.0]),  # a NaN level clips nothing
        (INF, [20.0, 0.0, -20.0]),
    ],
)
def test_top_db_extremes(top_db, expected):
    assert _core.amplitude_to_db([10.0, 1.0, 0.1], top_db=top_db) == pytest.approx(expected)


def test_top_db_maximum_skips_nan():
    # a NaN floor and a NaN element give a NaN level; the maximum must skip it, even first in line
    result = _core.amplitude_to_db([NAN, 10.0, 1.0], amin=NAN, top_db=10.0)
    assert same(result, [NAN, 20.0, 10.0])
    result = _core.amplitude_to_db([NAN, NAN], amin=NAN, top_db=10.0)
    assert same(result, [NAN, NAN])


@pytest.mark.parametrize("function, divisor", [(_core.db_to_amplitude, 20), (_core.db_to_power, 10)])
@pytest.mark.parametrize("ref_val", [1.0, -2.0, 0.37])
def test_from_db_matches_single_precision_model(function, divisor, ref_val):
    rng = np.random.default_rng(divisor)
    s_db = rng.uniform(-150, 150, 500).astype(F32).tolist() + [NAN, INF, -INF, 0.0]
    # a true division by the divisor, not a multiplication by 0.05 or 0.1
    expected = [float(F32(powf(10.0, F32(F32(d) / F32(divisor))) * F32(ref_val))) for d in s_db]
    assert same(function(s_db, ref_val), expected)


def test_from_db_examples():
    assert _core.db_to_power([10.0]) == [10.0]
    assert _core.db_to_amplitude([20.0]) == [10.0]
    assert _core.db_to_amplitude([0.0], ref_val=-2.0) == [-2.0]
    assert _core.db_to_power([]) == []


def test_round_trip_gives_the_floored_magnitude():
    s = [3.0, -0.25, 0.0, 1e-7, 123.0]
    back = _core.db_to_amplitude(_core.amplitude_to_db(s))
    assert back == pytest.approx([3.0, 0.25, f32(1e-5), f32(1e-5), 123.0], rel=1e-5)


# ---------------------------------------------------------------- mu-law


def compress_model(x, mu=255.0, quantize=False):
    mu = F32(mu)
    levels = F32(F32(1) + mu)
    log_levels = logf(levels)
    out = []
    for v in np.asarray(x, dtype=F32):
        term = logf(F32(F32(abs(v) * mu) + F32(1)))
        if v < 0 or math.isnan(v):
            term = -term
        out.append(F32(term / log_levels))
    if not quantize:
        return [float(v) for v in out]

    def step(value):  # truncation toward zero, saturated to 32 bits
        if math.isnan(value):
            return 0
        if value >= 2**31:
            return 2**31 - 1
        if value <= -(2**31):
            return -(2**31)
        return int(value)  # truncates toward zero

    half = step(F32(levels * F32(0.5)))
    return [float(F32(step(F32(F32(F32(y + F32(1)) * F32(0.5)) * levels)) - half)) for y in out]


def expand_model(x, mu=255.0, quantize=False):
    mu = F32(mu)
    levels = F32(F32(1) + mu)
    out = []
    for v in np.asarray(x, dtype=F32):
        if quantize:
            v = F32(F32(v + v) / levels)
        sign = F32(-1) if (v < 0 or math.isnan(v)) else F32(1)
        out.append(float(F32(F32(powf(levels, abs(v)) - F32(1)) * F32(sign / mu))))
    return out


@pytest.mark.parametrize("mu", [255.0, 1.0, 1e-3, 65535.0])
@pytest.mark.parametrize("quantize", [False, True])
def test_mu_law_matches_single_precision_model(signal, mu, quantize):
    x = np.clip(signal, -2.0, 2.0).astype(F32).tolist() + [1.0, -1.0, 0.5, NAN, INF, -INF]
    assert same(_core.mu_compress(x, mu, quantize), compress_model(x, mu, quantize))
    y = _core.mu_compress(x, mu, quantize)
    assert same(_core.mu_expand(y, mu, quantize), expand_model(y, mu, quantize))


@pytest.mark.parametrize(
    "x, quantize, expected",
    [
        ([1.0, -1.0, 0.0], False, [1.0, -1.0, 0.0]),
        ([1.0, -1.0, 0.0, 0.5, 1000.0], True, [128.0, -128.0, 0.0, 112.0, 287.0]),
        # NaN counts as negative and lands on step 0 - 128
        ([NAN], True, [-128.0]),
        # the steps are formed in 64 bits: the lowest 32-bit step minus 128 stays negative
        ([-INF, INF], True, [-2147483648.0, 2147483520.0]),
    ],
)
def test_mu_compress_examples(x, quantize, expected):
    assert _core.mu_compress(x, quantize=quantize) == expected


def test_mu_compress_is_not_clipped():
    assert _core.mu_compress([1000.0]) == pytest.approx([2.245], abs=1e-3)


def test_mu_law_negative_zero_counts_as_non_negative():
    assert same(_core.mu_compress([-0.0]), [0.0])
    assert same(_core.mu_expand([-0.0]), [0.0])


def test_mu_expand_of_a_quantised_step():
    # 112 steps rescale to 224 / 256 = 7/8
    assert _core.mu_expand([112.0], quantize=True) == [expand_model([7 / 8])[0]]
    assert _core.mu_expand([112.0], quantize=True) == pytest.approx([0.498], abs=1e-3)


def test_mu_expand_inverts_mu_compress(signal):
    x = np.clip(signal, -1.0, 1.0).tolist()
    assert _core.mu_expand(_core.mu_compress(x)) == pytest.approx(x, rel=1e-4, abs=1e-6)


@pytest.mark.parametrize("function", [_core.mu_compress, _core.mu_expand])
@pytest.mark.parametrize("mu", [0.0, -1.0, 1e-50])
def test_mu_must_be_positive(function, mu):
    # checked before any element, so an empty signal is refused as well
    for x in ([], [0.5]):
        with pytest.raises(ValueError, match="^mu must be strictly positive$"):
            function(x, mu)


@pytest.mark.parametrize("function", [_core.mu_compress, _core.mu_expand])
def test_nan_mu_is_accepted(function):
    assert all(math.isnan(v) for v in function([0.5, -0.5, 0.0], NAN))
    if function is _core.mu_compress:
        assert function([0.5, -0.5, 0.0], NAN, True) == [0.0, 0.0, 0.0]
    assert function([], NAN, True) == []


# ---------------------------------------------------------------- to_mono


def test_to_mono_is_channel_major():
    assert _core.to_mono([1.0, 2.0, 3.0, 4.0], 2) == [2.0, 3.0]


def test_to_mono_multiplies_by_the_rounded_reciprocal():
    # 5 x float(1/3) rounds to 1.6666667461395264; 5 / 3 would give 1.6666666269302368
    assert _core.to_mono([5.0, 0.0, 0.0], 3) == [1.6666667461395264]


def test_to_mono_matches_single_precision_model(signal):
    channels = 5
    y = signal[:395]
    n = len(y) // channels
    inv = F32(1) / F32(channels)
    expected = []
    for i in range(n):
        total = F32(-0.0)
        for c in range(channels):
            total = F32(total + F32(y[c * n + i]))
        expected.append(float(F32(total * inv)))
    assert _core.to_mono(y, channels) == expected


@pytest.mark.parametrize(
    "y, n_channels, expected",
    [
        ([0.1, -7.5, NAN], 1, [f32(0.1), -7.5, NAN]),
        ([], 3, []),
        # the sum starts from -0.0, so silence of negative zeros stays negative
        ([-0.0, -0.0], 2, [-0.0]),
        ([INF, 1.0, -INF, 1.0], 2, [NAN, 1.0]),
    ],
)
def test_to_mono_cases(y, n_channels, expected):
    assert same(_core.to_mono(y, n_channels), expected)


@pytest.mark.parametrize(
    "length, n_channels, message",
    [
        (4, 0, "n_channels must be > 0"),
        (0, 0, "n_channels must be > 0"),
        (5, 0, "n_channels must be > 0"),  # the zero is reported before the length
        (5, 2, "y_flat length must be divisible by n_channels"),
        (2, 3, "y_flat length must be divisible by n_channels"),
    ],
)
def test_to_mono_validation(length, n_channels, message):
    with pytest.raises(ValueError) as info:
        _core.to_mono([1.0] * length, n_channels)
    assert str(info.value) == message


# ---------------------------------------------------------------- resample


def resample_model(y, orig_sr, target_sr):
    y = np.asarray(y, dtype=F32)
    n = len(y)
    ratio = F32(F32(target_sr) / F32(orig_sr))
    m = math.ceil(F32(F32(n) * ratio))
    out = []
    for i in range(m):
        pos = F32(F32(i) / ratio)
        k = int(pos)  # truncates toward zero
        frac = F32(pos - F32(k))
        a = y[k] if k < n else F32(0)
        b = y[k + 1] if k + 1 < n else F32(0)
        out.append(float(F32(F32(F32(b - a) * frac) + a)))
    return out


@pytest.mark.parametrize(
    "y, orig_sr, target_sr, expected",
    [
        ([1.0, 2.0, 3.0, 4.0], 2.0, 1.0, [1.0, 3.0]),
        ([1.0, 2.0, 3.0, 4.0, 5.0], 4.0, 2.0, [1.0, 3.0, 5.0]),
        # past the last sample the line runs toward an implicit 0
        ([1.0, 2.0], 1.0, 2.0, [1.0, 1.5, 2.0, 1.0]),
        ([4.0], 1.0, 4.0, [4.0, 3.0, 2.0, 1.0]),
        ([], 1.0, 2.0, []),
        ([1.0, 2.0], NAN, 2.0, []),
        ([1.0, 2.0], 2.0, NAN, []),
    ],
)
def test_resample_cases(y, orig_sr, target_sr, expected):
    assert _core.resample(y, orig_sr, target_sr) == expected


def test_resample_length_is_the_ceiling():
    assert len(_core.resample([0.5] * 10, 22050.0, 16000.0)) == 8


@pytest.mark.parametrize("orig_sr, target_sr", [(22050.0, 16000.0), (44100.0, 48000.0), (3.0, 7.0), (7.0, 3.0)])
def test_resample_matches_single_precision_model(signal, orig_sr, target_sr):
    assert same(_core.resample(signal, orig_sr, target_sr), resample_model(signal, orig_sr, target_sr))


@pytest.mark.parametrize("orig_sr, target_sr", [(8000.0, 8000.0), (1.0, 1.0000005), (44100.0, 44100.000001)])
def test_equal_rates_return_the_input(orig_sr, target_sr):
    y = [0.1, NAN, -INF, 3.0]
    assert same(_core.resample(y, orig_sr, target_sr), [f32(0.1), NAN, -INF, 3.0])


@pytest.mark.parametrize("orig_sr, target_sr", [(0.0, 8000.0), (8000.0, -8000.0), (1e-50, 8000.0), (-1.0, -1.0)])
def test_resample_rates_must_be_positive(orig_sr, target_sr):
    with pytest.raises(ValueError, match="^sampling rates must be positive$"):
        _core.resample([1.0], orig_sr, target_sr)


@pytest.mark.parametrize("orig_sr, target_sr, n", [(1.0, 1e30, 1), (1.0, 1e18, 100), (1e-45, 3e38, 2)])
def test_resample_length_beyond_any_array_fails_before_allocating(orig_sr, target_sr, n, internal_error_type):
    # the output length saturates at the largest count, which no array can hold
    with pytest.raises(internal_error_type):
        _core.resample([1.0] * n, orig_sr, target_sr)


def test_to_mono_of_nothing_returns_at_once_whatever_the_channel_count():
    # An empty signal is divisible by any channel count; the count must not set the work.
    assert _core.to_mono([], 2**63) == []
    assert _core.to_mono(array.array("f"), 2**64 - 1) == []
