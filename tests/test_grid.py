"""Conversions between frame indices, sample indices and seconds."""

import math

import pytest

from sonavera import _core

I64_MAX = 2**63 - 1
I64_MIN = -(2**63)
NAN = float("nan")
INF = float("inf")


@pytest.mark.parametrize(
    "frames, kwargs, expected",
    [
        ([0, 1, 2], {}, [0, 512, 1024]),
        ([0, 1, 2], {"n_fft": 2048}, [1024, 1536, 2048]),
        ([0, 1, 2], {"n_fft": None}, [0, 512, 1024]),
        ([0, 5, -5], {"hop_length": 0, "n_fft": 10}, [5, 5, 5]),
        ([3, -3], {"hop_length": -4}, [-12, 12]),
        # the offset halves n_fft toward zero: -5 gives -2, not -3
        ([0, 1], {"hop_length": 10, "n_fft": -5}, [-2, 8]),
        ([0], {"n_fft": 5}, [2]),
        # products and sums wrap around in 64 bits
        ([2**62], {"hop_length": 4}, [0]),
        ([I64_MAX], {"hop_length": 2}, [-2]),
        ([I64_MAX], {"hop_length": 1, "n_fft": 2}, [I64_MIN]),
    ],
)
def test_frames_to_samples(frames, kwargs, expected):
    assert _core.frames_to_samples(frames, **kwargs) == expected


@pytest.mark.parametrize(
    "samples, kwargs, expected",
    [
        ([0, 100, 1024, 1535, 1536], {"n_fft": 2048}, [-2, -1, 0, 0, 1]),
        # truncation toward zero, not a floor
        ([-1, -511, -512, -513, 511], {}, [0, 0, -1, -1, 0]),
        ([7, -7], {"hop_length": -2}, [-3, 3]),
        ([I64_MIN], {"hop_length": 1, "n_fft": 2}, [I64_MAX]),
        ([I64_MIN], {"hop_length": -2}, [2**62]),
        ([5], {"hop_length": -1}, [-5]),
        ([0, 1], {"hop_length": 2, "n_fft": -5}, [1, 1]),
    ],
)
def test_samples_to_frames(samples, kwargs, expected):
    assert _core.samples_to_frames(samples, **kwargs) == expected


@pytest.mark.parametrize(
    "samples, kwargs, message",
    [
        ([0], {"hop_length": 0}, "attempt to divide by zero"),
        ([1, 2], {"hop_length": 0, "n_fft": 4}, "attempt to divide by zero"),
        ([I64_MIN], {"hop_length": -1}, "attempt to divide with overflow"),
        # the numerator reaches the lowest value only through the offset
        ([0, I64_MIN + 1], {"hop_length": -1, "n_fft": 2}, "attempt to divide with overflow"),
    ],
)
def test_samples_to_frames_division_failures(samples, kwargs, message, internal_error_type):
    with pytest.raises(internal_error_type) as info:
        _core.samples_to_frames(samples, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "times, sr, expected",
    [
        ([0.25, -0.25, 0.75, 0.2], 2.0, [1, -1, 2, 0]),
        # halves away from zero, not to even
        ([0.5, -0.5, 1.5, 2.5, -2.5, 0.49999999999999994], 1.0, [1, -1, 2, 3, -3, 0]),
        ([NAN, INF, -INF], 1.0, [0, I64_MAX, I64_MIN]),
        ([1e300, -1e300, 2.0**63, -(2.0**63), 2.0**62], 1.0, [I64_MAX, I64_MIN, I64_MAX, I64_MIN, 2**62]),
        ([1.0], 0.0, [0]),
        ([1.0], NAN, [0]),
        ([1.0, -1.0], 22050.0, [22050, -22050]),
    ],
)
def test_time_to_samples(times, sr, expected):
    assert _core.time_to_samples(times, sr) == expected


@pytest.mark.parametrize(
    "times, kwargs, expected",
    [
        ([1.0], {}, [43]),
        # rounded to a sample first, then the frame index truncates toward zero
        ([0.5, 1.5, -1.5, -0.6], {"sr": 1.0, "hop_length": 2}, [0, 1, -1, 0]),
        ([0.0, 1.0], {"sr": 4.0, "hop_length": 1, "n_fft": 4}, [-2, 2]),
        ([INF], {"sr": 1.0, "hop_length": 1}, [I64_MAX]),
    ],
)
def test_time_to_frames(times, kwargs, expected):
    assert _core.time_to_frames(times, **kwargs) == expected


@pytest.mark.parametrize(
    "times, kwargs, message",
    [
        ([1.0], {"hop_length": 0}, "attempt to divide by zero"),
        # a saturated sample index divided by -1
        ([-INF], {"sr": 1.0, "hop_length": -1}, "attempt to divide with overflow"),
    ],
)
def test_time_to_frames_division_failures(times, kwargs, message, internal_error_type):
    with pytest.raises(internal_error_type) as info:
        _core.time_to_frames(times, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "frames, kwargs, expected",
    [
        ([43], {}, [22016 / 22050]),
        ([0, 1], {"sr": 2.0, "hop_length": 3, "n_fft": 3}, [0.5, 2.0]),
        # the sample index wraps before the division
        ([2**62], {"sr": 1.0, "hop_length": 4}, [0.0]),
        ([I64_MAX], {"sr": 1.0, "hop_length": 1, "n_fft": 2}, [-(2.0**63)]),
    ],
)
def test_frames_to_time(frames, kwargs, expected):
    assert _core.frames_to_time(frames, **kwargs) == expected


def test_samples_to_time():
    assert _core.samples_to_time([22050]) == [1.0]
    assert _core.samples_to_time([1, -1, 3], 3.0) == [1 / 3, -1 / 3, 1.0]
    assert _core.samples_to_time([2**53 + 1, I64_MAX], 1.0) == [2.0**53, 2.0**63]
    result = _core.samples_to_time([1, -1, 0], 0.0)
    assert result[:2] == [INF, -INF] and math.isnan(result[2])


@pytest.mark.parametrize(
    "function, kwargs",
    [
        (_core.frames_to_samples, {"hop_length": 0}),
        (_core.frames_to_time, {"hop_length": 0}),
        (_core.samples_to_frames, {"hop_length": 0}),
        (_core.samples_to_time, {"sr": 0.0}),
        (_core.time_to_frames, {"hop_length": 0}),
        (_core.time_to_samples, {"sr": 0.0}),
    ],
)
def test_empty_input_gives_empty_list(function, kwargs):
    assert function([], **kwargs) == []


def test_result_element_types():
    assert all(type(v) is int for v in _core.frames_to_samples([1, 2]))
    assert all(type(v) is int for v in _core.time_to_frames([1.0, 2.0]))
    assert all(type(v) is float for v in _core.frames_to_time([1, 2]))
