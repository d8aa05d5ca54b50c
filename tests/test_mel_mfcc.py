import numpy as np
import pytest

from reference_math import cosf, f32
from sonavera import _core

PI = f32(np.pi)


def wide_range_values(rng, shape):
    """Signed float32 values spread over six decades, so that any other order of summation
    changes some of the sums."""
    magnitudes = 10.0 ** rng.uniform(-3, 3, size=shape)
    return (rng.standard_normal(shape) * magnitudes).astype(np.float32)


def sequential_sums(terms):
    """Sum over the first axis of `terms`, one term at a time from 0.0, for every other index."""
    acc = np.zeros(terms.shape[1:], dtype=np.float32)
    for term in terms:
        acc = acc + term
    return acc


def model_melspectrogram(mag, fb):
    # terms[b, j, t] = fb[j, b] × mag[t, b]
    terms = fb.T[:, :, None] * mag.T[:, None, :]
    return sequential_sums(terms)


def model_mfcc(log_mel, n_mfcc):
    n_mels = log_mel.shape[0]
    n_out = min(n_mfcc, n_mels)
    out = np.zeros((n_out, log_mel.shape[1]), dtype=np.float32)
    for k in range(n_out):
        a = f32(k) * PI
        basis = [cosf((f32(n) + f32(0.5)) * a / f32(n_mels)) for n in range(n_mels)]
        out[k] = sequential_sums(np.array(basis, dtype=np.float32)[:, None] * log_mel)
    return out


@pytest.fixture
def rng():
    return np.random.default_rng(20240611)


@pytest.mark.parametrize("n_frames, n_bins, n_mels", [(5, 37, 19), (3, 11, 8), (4, 1, 1), (1, 300, 9), (3, 50, 70)])
def test_melspectrogram_is_the_band_by_frame_product(rng, n_frames, n_bins, n_mels):
    mag = wide_range_values(rng, (n_frames, n_bins))
    fb = wide_range_values(rng, (n_mels, n_bins))
    result = _core.melspectrogram(mag.ravel().tolist(), fb.ravel().tolist(), n_frames, n_bins, n_mels)
    expected = model_melspectrogram(mag, fb)
    # Feature-major: band j of frame t at j × n_frames + t.
    np.testing.assert_array_equal(np.array(result, dtype=np.float32).reshape(n_mels, n_frames), expected)
    if n_bins > 10:
        # The data is sensitive to the order of summation: adding the bins backwards differs.
        backwards = model_melspectrogram(mag[:, ::-1], fb[:, ::-1])
        assert (backwards != expected).any()


def test_melspectrogram_uses_the_values_as_given_and_ignores_surplus():
    # One bin, every weight 1.0: each band row repeats the frames' magnitudes in frame order,
    # neither squared nor scaled; elements past the dimensions are not used.
    mag = [3.0, -0.5, 7.25, 99.0]
    fb = [1.0, 1.0, 42.0]
    assert _core.melspectrogram(mag, fb, 3, 1, 2) == [3.0, -0.5, 7.25, 3.0, -0.5, 7.25]


@pytest.mark.parametrize(
    "stft_mag, mel_fb, n_frames, n_bins, n_mels, expected",
    [
        ([], [], 0, 5, 3, []),
        ([], [], 4, 5, 0, []),
        # Without bins every band sum is empty and nothing is read.
        ([], [], 2, 0, 3, [0.0] * 6),
    ],
)
def test_melspectrogram_zero_dimensions_read_nothing(stft_mag, mel_fb, n_frames, n_bins, n_mels, expected):
    assert _core.melspectrogram(stft_mag, mel_fb, n_frames, n_bins, n_mels) == expected


@pytest.mark.parametrize("short", ["stft_mag", "mel_fb"])
def test_melspectrogram_short_array_is_an_internal_error(internal_error_type, short):
    n_frames, n_bins, n_mels = 3, 4, 9
    mag = [1.0] * (n_frames * n_bins - (short == "stft_mag"))
    fb = [1.0] * (n_mels * n_bins - (short == "mel_fb"))
    with pytest.raises(internal_error_type):
        _core.melspectrogram(mag, fb, n_frames, n_bins, n_mels)


@pytest.mark.parametrize("n_mels, n_frames, n_mfcc", [(13, 6, 13), (40, 3, 20), (7, 2, 12), (1, 4, 5), (20, 1, 1)])
def test_mfcc_is_the_unscaled_dct_of_each_frame(rng, n_mels, n_frames, n_mfcc):
    log_mel = wide_range_values(rng, (n_mels, n_frames))
    result = _core.mfcc(log_mel.ravel().tolist(), n_mels, n_frames, n_mfcc)
    n_out = min(n_mfcc, n_mels)
    # Feature-major input and output: band n of frame t at n × n_frames + t, coefficient k of
    # frame t at k × n_frames + t; no more coefficients than bands.
    np.testing.assert_array_equal(
        np.array(result, dtype=np.float32).reshape(n_out, n_frames), model_mfcc(log_mel, n_mfcc)
    )


def test_mfcc_coefficient_zero_is_the_plain_band_sum():
    # Three bands of two frames; the element past them is ignored.
    log_mel = [1.0, 10.0, 2.0, 20.0, 0.25, 0.5, 1000.0]
    assert _core.mfcc(log_mel, 3, 2, 1) == [3.25, 30.5]


@pytest.mark.parametrize(
    "log_mel, n_mels, n_frames, n_mfcc, expected_length",
    [
        ([], 4, 0, 4, 0),
        ([], 4, 3, 0, 0),
        ([], 0, 3, 4, 0),
        # More coefficients asked for than there are bands: one per band.
        ([1.0, 2.0, 3.0, 4.0], 2, 2, 5, 4),
    ],
)
def test_mfcc_result_sizes(log_mel, n_mels, n_frames, n_mfcc, expected_length):
    assert len(_core.mfcc(log_mel, n_mels, n_frames, n_mfcc)) == expected_length


def test_mfcc_short_array_is_an_internal_error(internal_error_type):
    with pytest.raises(internal_error_type):
        _core.mfcc([0.0] * 11, 4, 3, 2)


def test_log_of_melspectrogram_feeds_mfcc(rng):
    mag = np.abs(wide_range_values(rng, (6, 17)))
    fb = np.abs(wide_range_values(rng, (5, 17)))
    mel = _core.melspectrogram(mag.ravel().tolist(), fb.ravel().tolist(), 6, 17, 5)
    log_mel = np.log(np.array(mel, dtype=np.float32))
    result = _core.mfcc(log_mel.tolist(), 5, 6, 3)
    expected = model_mfcc(log_mel.reshape(5, 6), 3)
    np.testing.assert_array_equal(np.array(result, dtype=np.float32).reshape(3, 6), expected)


@pytest.mark.parametrize(
    "call",
    [
        lambda: _core.melspectrogram([], [], 2**62, 1, 4),
        lambda: _core.melspectrogram([], [], 2**33, 1, 2**33),
        lambda: _core.mfcc([], 2**62, 2, 2**62),
    ],
)
def test_results_beyond_the_addressable_size_fail_before_allocating(internal_error_type, call):
    with pytest.raises(internal_error_type):
        call()
