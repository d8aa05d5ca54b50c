import math

import numpy as np
import pytest

from reference_math import exp2f, f32, log2f, roundf, sqrtf
from sonavera import _core

INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1
NORM_FLOOR = f32(1e-8)


def note_of(k, sr, n_fft, tuning=0.0):
    reference = exp2f(f32(tuning) / f32(12)) * f32(440)
    with np.errstate(invalid="ignore", divide="ignore"):
        f = f32(k) * f32(sr) / f32(n_fft)
        return log2f(f / reference) * f32(12) + f32(69)


def nearest_note(x):
    """Rounded half away from zero, saturated to the signed 64-bit range, NaN to 0."""
    if math.isnan(x):
        return 0
    if x >= 2.0**63:
        return INT64_MAX
    if x <= -(2.0**63):
        return INT64_MIN
    return int(roundf(x))


def model(mag, sr, n_fft, tuning=0.0):
    n_frames, n_bins = mag.shape
    out = np.zeros((12, n_frames), dtype=np.float32)
    for k in range(1, n_bins):
        c = nearest_note(note_of(k, sr, n_fft, tuning)) % 12  # Python's % is Euclidean here
        out[c] = mag[:, k] + out[c]
    for t in range(n_frames):
        squares = f32(0)
        for c in range(12):
            squares = squares + out[c, t] * out[c, t]
        norm = sqrtf(squares)
        if norm > NORM_FLOOR:
            out[:, t] = out[:, t] / norm
    return out


def chroma(mag, sr, n_fft, tuning=0.0):
    n_frames, n_bins = mag.shape
    result = _core.chroma_stft(mag.ravel().tolist(), sr, n_fft, n_frames, n_bins, tuning=tuning)
    # Feature-major: class c of frame t at c × n_frames + t.
    return np.array(result, dtype=np.float32).reshape(12, n_frames)


@pytest.mark.parametrize(
    "n_frames, n_bins, sr, n_fft, tuning",
    [
        (3, 1025, 22050, 2048, 0.0),
        (4, 257, 16000.0, 512, -0.37),
        # Fewer bins than the FFT length implies: only those are used.
        (2, 100, 44100, 4096, 0.5),
    ],
)
def test_profiles_match_the_single_precision_model(n_frames, n_bins, sr, n_fft, tuning):
    rng = np.random.default_rng(n_bins)
    mag = (10.0 ** rng.uniform(-4, 2, size=(n_frames, n_bins))).astype(np.float32)
    np.testing.assert_array_equal(chroma(mag, sr, n_fft, tuning), model(mag, sr, n_fft, tuning))


def impulse(n_bins, k, value, n_frames=1, frame=0):
    mag = np.zeros((n_frames, n_bins), dtype=np.float32)
    mag[frame, k] = value
    return mag


@pytest.mark.parametrize(
    "sr, n_fft, k, tuning, value, expected_class, expected_value",
    [
        # Bin 41 lies just above 440 Hz: class 9 (A); with the reference one semitone up, class 8.
        (22050, 2048, 41, 0.0, 3.5, 9, 1.0),
        (22050, 2048, 41, 1.0, 3.5, 8, 1.0),
        (22050, 2048, 41, 0.0, -2.0, 9, -1.0),
        # Bin 24 at 258.4 Hz is nearest to note 60 (C, class 0).
        (22050, 2048, 24, 0.0, 1.0, 0, 1.0),
        # sr = 0: frequency 0, note at the bottom of the range, whose Euclidean remainder is 4.
        (0.0, 2048, 5, 0.0, 1.0, 4, 1.0),
        # A negative rate: the logarithm is NaN, the note 0, class 0.
        (-8000.0, 2048, 5, 0.0, 1.0, 0, 1.0),
        # n_fft = 0: infinite frequency, the top of the range, class 7.
        (8000.0, 0, 5, 0.0, 1.0, 7, 1.0),
    ],
)
def test_one_bin_lands_in_one_class(sr, n_fft, k, tuning, value, expected_class, expected_value):
    mag = impulse(64, k, value, n_frames=3, frame=1)
    result = chroma(mag, sr, n_fft, tuning)
    expected = np.zeros((12, 3), dtype=np.float32)
    expected[expected_class, 1] = expected_value
    np.testing.assert_array_equal(result, expected)


def test_the_reference_tuning_cases_are_as_described():
    x = note_of(41, 22050, 2048)
    assert 69.0 < x < 69.5
    assert nearest_note(note_of(5, 0.0, 2048)) == INT64_MIN and INT64_MIN % 12 == 4
    assert nearest_note(note_of(5, 8000.0, 0)) == INT64_MAX and INT64_MAX % 12 == 7


# Frequencies whose note comes out exactly half-way between two notes in single precision.
HALF_NOTE_CASES = [
    # 68.5 rounds away from zero to 69 (class 9); to even, or truncated, it would be 68.
    (427.4739990234375, 68.5, 9),
    # -0.5 rounds to -1, class 11 by the Euclidean remainder; to even or truncated it would be 0.
    (7.943047523498535, -0.5, 11),
    # -1.5 rounds to -2, class 10.
    (7.49724006652832, -1.5, 10),
]


@pytest.mark.parametrize("f, x, expected_class", HALF_NOTE_CASES)
def test_half_way_notes_round_away_from_zero(f, x, expected_class):
    # Two bins, n_fft = 2: bin 1 lies at exactly sr / 2 = f.
    assert note_of(1, 2 * f, 2) == x
    mag = np.array([[0.0, 5.0]], dtype=np.float32)
    result = chroma(mag, 2 * f, 2)
    assert result[:, 0].tolist() == [1.0 if c == expected_class else 0.0 for c in range(12)]


def test_the_dc_bin_is_skipped():
    mag = impulse(8, 0, 7.0)
    assert _core.chroma_stft(mag.ravel().tolist(), 22050, 14, 1, 8) == [0.0] * 12


@pytest.mark.parametrize(
    "value, normalised",
    [
        (0.0, False),
        # The norm of a single value is its magnitude: at the floor it is not above it.
        (float(NORM_FLOOR), False),
        (float(np.nextafter(NORM_FLOOR, f32(1))), True),
        (math.nan, False),
    ],
)
def test_norm_floor_is_strict(value, normalised):
    mag = np.array([[0.0, value, 0.0, 0.0]], dtype=np.float32)
    result = _core.chroma_stft(mag.ravel().tolist(), 22050, 2048, 1, 4)
    c = nearest_note(note_of(1, 22050, 2048)) % 12
    expected = [0.0] * 12
    expected[c] = 1.0 if normalised else float(f32(value))
    assert np.array_equal(result, expected, equal_nan=True)


def test_nan_leaves_the_whole_frame_unnormalised():
    # Bins 2 and 41 fall in different classes; the NaN of one keeps the other unscaled too.
    mag = np.zeros((2, 64), dtype=np.float32)
    mag[:, 41] = 3.0
    mag[0, 2] = math.nan
    result = chroma(mag, 22050, 2048)
    assert result[9].tolist() == [3.0, 1.0]
    assert math.isnan(result[nearest_note(note_of(2, 22050, 2048)) % 12, 0])


@pytest.mark.parametrize(
    "stft_mag, n_frames, n_bins, expected",
    [
        ([1.0, 2.0], 0, 2, []),
        # The only bin would be the DC bin: nothing is read, not even a missing element.
        ([], 2, 1, [0.0] * 24),
        ([], 2, 0, [0.0] * 24),
    ],
)
def test_sizes_without_pitched_bins(stft_mag, n_frames, n_bins, expected):
    assert _core.chroma_stft(stft_mag, 22050, 2048, n_frames, n_bins) == expected


def test_short_array_is_an_internal_error(internal_error_type):
    with pytest.raises(internal_error_type):
        _core.chroma_stft([1.0] * 11, 22050, 2048, 3, 4)


def test_results_beyond_the_addressable_size_fail_before_allocating(internal_error_type):
    with pytest.raises(internal_error_type):
        _core.chroma_stft([], 22050, 2048, 2**61, 0)
