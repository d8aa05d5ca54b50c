"""YIN pitch estimation: lag range, frames, the trough search and its fallback."""

import numpy as np
import pytest

from sonavera import _core

F32 = np.float32
NAN = float("nan")
INF = float("inf")
BOUNDS = "fmin and fmax must be positive with fmax > fmin"
COMBINATION = "fmin/fmax/frame_length combination is invalid"


def frequency(sr, lag):
    with np.errstate(divide="ignore"):  # lag 0 gives an infinite frequency
        return float(F32(sr) / F32(lag))


def yin_model(y, fmin, fmax, sr=22050.0, frame_length=2048, hop_length=None, trough_threshold=0.1):
    """The pitch rule in single precision, written independently of the native loops.

    Returns the values and, per frame, which branch decided it; raises FloatingPointError where
    the fallback scan would compare a NaN.
    """
    y = np.asarray(y, dtype=F32)
    sr, fmin, fmax, threshold = F32(sr), F32(fmin), F32(fmax), F32(trough_threshold)
    min_period = int(np.floor(sr / fmax))
    max_period = min(frame_length // 2, int(np.ceil(sr / fmin)))
    if min_period >= max_period:
        raise ValueError(COMBINATION)
    hop = frame_length // 4 if hop_length is None else hop_length
    values, branches = [], []
    for start in range(0, len(y) - frame_length + 1, hop):
        x = y[start : start + frame_length]
        d = np.zeros(max_period + 1, dtype=F32)
        for tau in range(1, max_period + 1):
            diff = x[: frame_length - tau] - x[tau:]
            with np.errstate(all="ignore"):
                d[tau] = np.cumsum(diff * diff, dtype=F32)[-1]  # cumsum adds one term at a time
        with np.errstate(all="ignore"):
            running = np.cumsum(d[1:], dtype=F32)
            weighted = d[1:] * np.arange(1, max_period + 1, dtype=F32)
            c = np.concatenate([[F32(1)], np.where(running < F32(1e-10), F32(0), weighted / running)])
        for tau in range(min_period, max_period):
            if c[tau] < threshold and c[tau] <= c[tau + 1] and (tau == min_period or c[tau] <= c[tau - 1]):
                values.append(frequency(sr, tau))
                branches.append("trough")
                break
        else:
            if np.isnan(c[min_period:]).any():
                raise FloatingPointError("the minimum scan meets a NaN")
            lag = min_period + int(np.argmin(c[min_period:]))
            voiced = c[lag] < threshold
            values.append(frequency(sr, lag) if voiced else 0.0)
            branches.append("fallback voiced" if voiced else "unvoiced")
    return values, branches


def sine(period, n, phase=0.0):
    return np.sin(2 * np.pi * np.arange(n) / period + phase).astype(F32).tolist()


# ---------------------------------------------------------------- validation


@pytest.mark.parametrize(
    "fmin, fmax, kwargs, message",
    [
        (100.0, 100.0, {}, BOUNDS),
        (200.0, 100.0, {}, BOUNDS),
        (-10.0, 100.0, {}, BOUNDS),
        (0.0, 100.0, {}, BOUNDS),
        # both faults at once: the bounds are reported first
        (100.0, 50.0, {"frame_length": 4}, BOUNDS),
        # equal only after narrowing to single precision
        (100.0, 100.000000001, {}, BOUNDS),
        (50.0, 100.0, {"frame_length": 4}, COMBINATION),
        (65.0, 2093.0, {"frame_length": 0}, COMBINATION),
        # NaN passes the bounds and leaves no lag range
        (NAN, 2093.0, {}, COMBINATION),
        (65.0, 2093.0, {"sr": 0.0}, COMBINATION),
        (65.0, 2093.0, {"sr": -22050.0}, COMBINATION),
        (65.0, 2093.0, {"sr": NAN}, COMBINATION),
    ],
)
def test_invalid_settings(fmin, fmax, kwargs, message):
    # a signal too short for any frame: validation still comes first
    with pytest.raises(ValueError) as info:
        _core.yin([0.0] * 3, fmin, fmax, **kwargs)
    assert str(info.value) == message


def test_lag_range_with_saturated_longest_period():
    # sr / fmin overflows every integer range: the longest lag is then half a frame
    y = sine(100, 4096)
    assert _core.yin(y, 1e-30, 2093.0) == [220.5] * 5
    assert _core.yin(y, 1e-45, 2093.0) == [220.5] * 5


# ---------------------------------------------------------------- frames


@pytest.mark.parametrize(
    "length, kwargs, n_frames",
    [
        (2047, {}, 0),
        (2048, {}, 1),
        (2559, {}, 1),
        (2560, {}, 2),
        (2560, {"hop_length": None}, 2),
        (2100, {"hop_length": 1}, 53),
        (600, {"frame_length": 256, "hop_length": 100}, 4),
    ],
)
def test_frame_count(length, kwargs, n_frames):
    assert len(_core.yin([0.25] * length, 65.0, 2093.0, **kwargs)) == n_frames


def test_zero_hop_divides_by_zero_only_when_a_frame_exists(internal_error_type):
    # frame length 3: default hop 3 // 4 = 0; fmax above sr keeps the lag range [0, 1]
    assert _core.yin([0.0] * 2, 20000.0, 30000.0, frame_length=3) == []
    with pytest.raises(internal_error_type) as info:
        _core.yin([0.0] * 3, 20000.0, 30000.0, frame_length=3)
    assert str(info.value) == "attempt to divide by zero"
    with pytest.raises(internal_error_type):
        _core.yin([0.0] * 2048, 65.0, 2093.0, hop_length=0)


# ---------------------------------------------------------------- estimates


def test_sinusoid_with_period_of_one_hundred_samples():
    assert _core.yin(sine(100, 4096), 65.0, 2093.0) == [220.5] * 5


def test_silent_frame_is_a_trough_at_the_shortest_lag():
    # every difference is 0, so every normalised value is 0.0: min_period = floor(22050 / 2093) = 10
    assert _core.yin([0.0] * 2048, 65.0, 2093.0) == [2205.0]


@pytest.mark.parametrize("threshold", [0.0, -1.0])
def test_non_positive_threshold_leaves_every_frame_unvoiced(threshold):
    assert _core.yin(sine(100, 4096), 65.0, 2093.0, trough_threshold=threshold) == [0.0] * 5


def test_shortest_lag_zero_takes_part_in_the_search():
    # fmax above sr: lag 0 (normalised value 1.0) is tested first, and a threshold above 1 takes it
    assert _core.yin(sine(37, 2048), 65.0, 30000.0, trough_threshold=1.5) == [INF]


@pytest.mark.parametrize(
    "threshold, expected, branch",
    [
        # period 100, lags 60 ... 90: the normalised values fall all the way, so no trough exists and
        # the minimum sits at the longest lag, 90 = ceil(22050 / 245)
        (0.3, [245.0], "fallback voiced"),
        (0.1, [0.0], "unvoiced"),
    ],
)
def test_fallback_to_the_longest_lag(threshold, expected, branch):
    y = sine(100, 1024)
    kwargs = {"frame_length": 1024, "trough_threshold": threshold}
    assert yin_model(y, 245.0, 367.5, **kwargs) == (expected, [branch])
    assert _core.yin(y, 245.0, 367.5, **kwargs) == expected


def test_model_cases_reach_every_branch():
    """Noise and tones of several strengths over many lag ranges, checked frame by frame."""
    rng = np.random.default_rng(11)
    seen = set()
    for trial in range(30):
        frame_length = int(rng.integers(40, 300))
        n = frame_length * 3
        period = rng.uniform(2.5, frame_length / 1.5)
        y = (np.sin(2 * np.pi * np.arange(n) / period) * rng.uniform(0, 2)
             + rng.standard_normal(n) * rng.uniform(0, 1)).astype(F32).tolist()
        fmax = float(rng.uniform(300, 9000))
        fmin = float(rng.uniform(20, fmax / 2))
        threshold = float(rng.choice([0.05, 0.2, 0.5, 1.2]))
        kwargs = {"sr": 8000.0, "frame_length": frame_length, "hop_length": frame_length // 2,
                  "trough_threshold": threshold}
        try:
            expected, branches = yin_model(y, fmin, fmax, **kwargs)
        except ValueError as error:
            with pytest.raises(ValueError, match=str(error)):
                _core.yin(y, fmin, fmax, **kwargs)
            continue
        assert _core.yin(y, fmin, fmax, **kwargs) == expected, trial
        seen.update(branches)
    assert seen == {"trough", "fallback voiced", "unvoiced"}


# ---------------------------------------------------------------- non-finite samples


@pytest.mark.parametrize("bad", [NAN, INF])
def test_non_finite_sample_in_a_frame_fails_the_fallback_scan(bad, internal_error_type):
    y = sine(100, 2048)
    y[700] = bad
    with pytest.raises(FloatingPointError):
        yin_model(y, 65.0, 2093.0)
    with pytest.raises(internal_error_type):
        _core.yin(y, 65.0, 2093.0)


def test_trough_needs_its_left_neighbour_compared():
    # A square wave of period 200 and amplitude 1e17: most squared-difference sums overflow, so their
    # normalised values are inf / inf = NaN, while lags near the period keep finite sums and, behind
    # the infinite running sum, a normalised value of 0.0. Lag 198 is the first of those, but its
    # left neighbour is NaN and fails the comparison; lag 199 is the trough.
    t = np.arange(2048)
    y = (np.where((t // 100) % 2 == 0, 1e17, -1e17)).astype(F32).tolist()
    expected, branches = yin_model(y, 65.0, 2093.0)
    assert (expected, branches) == ([float(F32(22050) / F32(199))], ["trough"])
    assert _core.yin(y, 65.0, 2093.0) == expected


def test_non_finite_samples_outside_every_frame_are_ignored():
    y = sine(100, 2048) + [NAN] * 100
    assert _core.yin(y, 65.0, 2093.0) == [220.5]


def test_nan_threshold_makes_frames_unvoiced():
    assert _core.yin(sine(100, 2048), 65.0, 2093.0, trough_threshold=NAN) == [0.0]
