import math

import numpy as np
import pytest

from reference_math import exp, f32, log, powf
from sonavera import _core

FLOOR = f32(1e-10)


def freq(sr, n_fft, n_bins):
    with np.errstate(invalid="ignore", divide="ignore"):
        return [f32(k) * f32(sr) / f32(n_fft) for k in range(n_bins)]


def frame_sum(frame):
    total = f32(0)
    for value in frame:
        total = total + value
    return total


def model_centroid(mag, sr, n_fft):
    table = freq(sr, n_fft, mag.shape[1])
    out = []
    for frame in mag:
        total = frame_sum(frame)
        weighted = frame_sum([f * s for f, s in zip(table, frame)])
        out.append(f32(0) if total < FLOOR else weighted / total)
    return out


def model_bandwidth(mag, sr, n_fft, p=2.0):
    table = freq(sr, n_fft, mag.shape[1])
    p = f32(p)
    out = []
    for frame, centre in zip(mag, model_centroid(mag, sr, n_fft)):
        total = frame_sum(frame)
        if total < FLOOR:
            out.append(f32(0))
            continue
        acc = frame_sum([powf(abs(f - centre), p) * s for f, s in zip(table, frame)])
        out.append(powf(acc / total, f32(1) / p))
    return out


def model_rolloff(mag, sr, n_fft, roll_percent=0.85):
    table = freq(sr, n_fft, mag.shape[1])
    out = []
    for frame in mag:
        threshold = frame_sum(frame) * f32(roll_percent)
        stop, cumulative = len(frame) - 1, f32(0)
        for k, value in enumerate(frame):
            cumulative = cumulative + value
            if cumulative >= threshold:
                stop = k
                break
        out.append(table[stop])
    return out


def model_flatness(mag):
    n_bins = mag.shape[1]
    out = []
    for frame in mag:
        log_sum = 0.0
        for value in frame:
            log_sum = log_sum + log(float(value) + 1e-10)
        mean = frame_sum(frame) / f32(n_bins)
        out.append(f32(0) if mean < FLOOR else f32(exp(log_sum / n_bins)) / mean)
    return out


def spectrogram():
    """Frames of wide-ranging magnitudes, plus an all-zero frame, one below the floor and one
    with a negative value."""
    rng = np.random.default_rng(7)
    mag = (10.0 ** rng.uniform(-3, 3, size=(7, 129))).astype(np.float32)
    mag[2] = 0.0
    mag[4] = 0.0
    mag[4, 17] = f32(3e-11)
    mag[5, 40] = -mag[5, 40]
    return mag


def as_f32(values):
    return np.array(values, dtype=np.float32)


@pytest.mark.parametrize("sr, n_fft", [(22050, 256), (16000.5, 300), (44100, 2048)])
def test_centroid_matches_the_model(sr, n_fft):
    mag = spectrogram()
    result = _core.spectral_centroid(mag.ravel().tolist(), sr, n_fft, *mag.shape)
    np.testing.assert_array_equal(as_f32(result), as_f32(model_centroid(mag, sr, n_fft)))
    assert result[2] == 0.0 and result[4] == 0.0


@pytest.mark.parametrize("p", [2.0, 1.0, 3.5, 0.5])
def test_bandwidth_matches_the_model(p):
    mag = spectrogram()
    result = _core.spectral_bandwidth(mag.ravel().tolist(), 22050, 256, *mag.shape, p=p)
    np.testing.assert_array_equal(as_f32(result), as_f32(model_bandwidth(mag, 22050, 256, p)))


@pytest.mark.parametrize("roll_percent", [None, 0.5, 0.999, 1.0, 0.0])
def test_rolloff_matches_the_model(roll_percent):
    mag = spectrogram()
    kwargs = {} if roll_percent is None else {"roll_percent": roll_percent}
    result = _core.spectral_rolloff(mag.ravel().tolist(), 22050, 256, *mag.shape, **kwargs)
    expected = model_rolloff(mag, 22050, 256, 0.85 if roll_percent is None else roll_percent)
    np.testing.assert_array_equal(as_f32(result), as_f32(expected))


def test_flatness_matches_the_model():
    mag = np.abs(spectrogram())
    result = _core.spectral_flatness(mag.ravel().tolist(), *mag.shape)
    np.testing.assert_array_equal(as_f32(result), as_f32(model_flatness(mag)))
    assert result[2] == 0.0 and result[4] == 0.0


# With sr = n_fft = 16 the bin frequencies are the bin numbers: freq[k] = k.
def shape_of(frame):
    args = (frame, 16.0, 16, 1, len(frame))
    return _core.spectral_centroid(*args), _core.spectral_bandwidth(*args), _core.spectral_rolloff(*args)


HALF_FLOOR = float(FLOOR / f32(2))
BELOW_HALF_FLOOR = float(np.nextafter(f32(HALF_FLOOR), f32(0)))


@pytest.mark.parametrize(
    "frame, centroid, bandwidth, rolloff",
    [
        ([0.0] * 6, 0.0, 0.0, 0.0),
        ([0.0, 0.0, 0.0, 1.0, 0.0, 0.0], 3.0, 0.0, 3.0),
        # Weights 1 at 0 Hz and 4 Hz: centre 2, spread 2, roll-off where 85 % is reached.
        ([1.0, 0.0, 0.0, 0.0, 1.0], 2.0, 2.0, 4.0),
        # The same with a sum of exactly the floor: computed normally.
        ([HALF_FLOOR, 0.0, 0.0, 0.0, HALF_FLOOR], 2.0, 2.0, 4.0),
        # Just below the floor: centroid and bandwidth give 0.0; the roll-off has no floor.
        ([BELOW_HALF_FLOOR, 0.0, 0.0, 0.0, BELOW_HALF_FLOOR], 0.0, 0.0, 4.0),
        # A negative total is below the floor too.
        ([0.0, -1.0, 0.0, 0.5], 0.0, 0.0, 0.0),
    ],
)
def test_hand_computed_frames(frame, centroid, bandwidth, rolloff):
    assert shape_of(frame) == ([centroid], [bandwidth], [rolloff])


def test_bandwidth_with_p_one_is_the_mean_absolute_deviation():
    # Weights 3 at 0 Hz and 1 at 8 Hz: centre 2, deviations 2 and 6, mean deviation 12 / 4 = 3.
    frame = [3.0] + [0.0] * 7 + [1.0]
    assert _core.spectral_centroid(frame, 16.0, 16, 1, 9) == [2.0]
    assert _core.spectral_bandwidth(frame, 16.0, 16, 1, 9, p=1.0) == [3.0]
    # With p = 2 the spread is sqrt((3·4 + 1·36) / 4) = sqrt(12).
    assert _core.spectral_bandwidth(frame, 16.0, 16, 1, 9) == [float(powf(f32(12), f32(0.5)))]


@pytest.mark.parametrize(
    "roll_percent, expected",
    [(2.0, 5.0), (1.0, 4.0), (0.5, 3.0), (0.25, 1.0), (0.0, 0.0), (-1.0, 0.0), (math.nan, 5.0)],
)
def test_rolloff_threshold_walk(roll_percent, expected):
    # Running sums 0, 1, 1, 3, 4, 4 of a total of 4; the first that reaches the threshold stops the
    # walk (non-strict), a threshold never reached gives the last bin.
    frame = [0.0, 1.0, 0.0, 2.0, 1.0, 0.0]
    assert _core.spectral_rolloff(frame, 16.0, 16, 1, 6, roll_percent) == [expected]


@pytest.mark.parametrize(
    "frame, expected",
    [
        ([1.0] * 8, 1.0),
        ([0.0] * 8, 0.0),
        # Geometric mean through double logarithms, rounded to single, over the single mean 2.5.
        ([4.0, 1.0], float(f32(exp((log(4.0 + 1e-10) + log(1.0 + 1e-10)) / 2)) / f32(2.5))),
    ],
)
def test_flatness_of_simple_frames(frame, expected):
    assert _core.spectral_flatness(frame, 1, len(frame)) == [expected]


def test_flatness_of_a_flat_floor_frame_is_about_two():
    # The offset 1e-10 weighs as much as the magnitudes themselves, and enters only the logarithms.
    result = _core.spectral_flatness([float(FLOOR)] * 4, 1, 4)
    assert result == [float(model_flatness(np.full((1, 4), FLOOR))[0])]
    assert abs(result[0] - 2.0) < 1e-6


def test_flatness_with_a_negative_magnitude_is_nan():
    assert math.isnan(_core.spectral_flatness([1.0, -0.5, 2.0], 1, 3)[0])


ALL = [
    lambda mag, n_frames, n_bins: _core.spectral_centroid(mag, 22050, 2048, n_frames, n_bins),
    lambda mag, n_frames, n_bins: _core.spectral_bandwidth(mag, 22050, 2048, n_frames, n_bins),
    lambda mag, n_frames, n_bins: _core.spectral_rolloff(mag, 22050, 2048, n_frames, n_bins),
    lambda mag, n_frames, n_bins: _core.spectral_flatness(mag, n_frames, n_bins),
]
NAMES = ["centroid", "bandwidth", "rolloff", "flatness"]


@pytest.mark.parametrize("descriptor", ALL, ids=NAMES)
def test_no_frames_gives_an_empty_list(descriptor):
    assert descriptor([1.0, 2.0, 3.0], 0, 3) == []
    assert descriptor([], 0, 0) == []


@pytest.mark.parametrize("descriptor", ALL, ids=NAMES)
def test_short_array_is_an_internal_error(descriptor, internal_error_type):
    with pytest.raises(internal_error_type):
        descriptor([1.0] * 11, 3, 4)


@pytest.mark.parametrize("descriptor", ALL, ids=NAMES)
def test_surplus_elements_are_ignored(descriptor):
    frames = [0.5, 1.0, 4.0, 2.0, 3.0, 0.25]
    assert descriptor(frames + [1e6, 7.0], 2, 3) == descriptor(frames, 2, 3)


def test_frames_without_bins():
    assert _core.spectral_centroid([], 22050, 2048, 2, 0) == [0.0, 0.0]
    assert _core.spectral_bandwidth([], 22050, 2048, 2, 0) == [0.0, 0.0]
    assert all(math.isnan(v) for v in _core.spectral_flatness([], 2, 0))


def test_rolloff_without_bins_is_an_internal_error(internal_error_type):
    with pytest.raises(internal_error_type):
        _core.spectral_rolloff([1.0, 2.0], 22050, 2048, 1, 0)


def test_zero_fft_length_gives_non_finite_frequencies():
    frame = [1.0, 2.0, 3.0]
    assert all(math.isnan(v) for v in _core.spectral_centroid(frame, 22050, 0, 1, 3))
    assert _core.spectral_rolloff(frame, 22050, 0, 1, 3) == [math.inf]
    # Below the floor the centroid is still 0.0.
    assert _core.spectral_centroid([0.0] * 3, 22050, 0, 1, 3) == [0.0]


@pytest.mark.parametrize("descriptor", ALL, ids=NAMES)
def test_results_beyond_the_addressable_size_fail_before_allocating(descriptor, internal_error_type):
    with pytest.raises(internal_error_type):
        descriptor([], 2**62, 0)
