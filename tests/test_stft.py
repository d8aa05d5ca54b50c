"""Short-time Fourier transform and its inverse."""

import math

import numpy as np
import pytest
from reference_math import cosf, f32

from sonavera import _core


def hann(length):
    """The symmetric Hann window in single precision, one rounding per step."""
    values = []
    for i in range(length):
        a = f32(f32(i) * f32(6.2831855))
        with np.errstate(invalid="ignore"):
            a = f32(a / f32(length - 1))
        c = cosf(a)
        values.append(f32(f32(f32(1.0) - c) * f32(0.5)))
    return np.array(values, dtype=np.float32)


def frame_window(win_length, n_fft):
    window = np.zeros(n_fft, dtype=np.float32)
    used = min(win_length, n_fft)
    window[:used] = hann(win_length)[:used]
    return window


def reference_stft(y, n_fft, hop, win_length, center):
    """Float64 DFT of the single-precision windowed frames: shape (n_frames, n_bins) complex."""
    y = np.asarray(y, dtype=np.float32)
    if center:
        y = np.concatenate([np.zeros(n_fft // 2, np.float32), y, np.zeros(n_fft // 2, np.float32)])
    n_frames = 0 if len(y) < n_fft else (len(y) - n_fft) // hop + 1
    window = frame_window(win_length, n_fft)
    frames = [(y[t * hop:t * hop + n_fft] * window).astype(np.float64) for t in range(n_frames)]
    k = np.arange(n_fft // 2 + 1)[:, None]
    n = np.arange(n_fft)[None, :]
    basis = np.exp(-2j * np.pi * k * n / n_fft)
    return np.array([basis @ frame for frame in frames]).reshape(n_frames, n_fft // 2 + 1)


def as_complex(result):
    values, n_frames, n_bins = result
    pairs = np.asarray(values, dtype=np.float64).reshape(n_frames, n_bins, 2)
    return pairs[..., 0] + 1j * pairs[..., 1]


def assert_spectrum_close(result, expected):
    actual = as_complex(result)
    assert actual.shape == expected.shape
    scale = max(1.0, float(np.abs(expected).max(initial=0.0)))
    np.testing.assert_allclose(actual, expected, rtol=0, atol=1e-5 * scale)


@pytest.fixture(scope="module")
def noise():
    return np.random.default_rng(7).uniform(-1, 1, 3000).astype(np.float32).tolist()


# --- window -----------------------------------------------------------------------------------

@pytest.mark.parametrize("length", [2, 3, 5, 8, 16, 31])
def test_window_values_are_exact(length):
    # A unit impulse at position t of frame t makes bin 0 of that frame the window value w[t].
    y = [0.0] * (length * length)
    for t in range(length):
        y[t * length + t] = 1.0
    values, n_frames, n_bins = _core.stft(y, n_fft=length, hop_length=length, center=False)
    assert n_frames == length
    dc = [values[2 * t * n_bins] for t in range(length)]
    np.testing.assert_array_equal(np.array(dc, dtype=np.float32), hann(length))


def test_window_examples():
    assert hann(3).tolist() == [0.0, 1.0, 0.0]
    assert hann(5).tolist() == [0.0, 0.5, 1.0, 0.5, 0.0]


# --- layout, frame counts, padding ------------------------------------------------------------

def test_worked_example():
    result = _core.stft([1.0] * 8, n_fft=4, hop_length=2, center=False)
    assert result[1:] == (3, 3)
    expected = np.tile(np.array([1.5, 0, -0.75, -0.75, 0, 0]), 3)
    np.testing.assert_allclose(result[0], expected, atol=1e-6)
    assert type(result) is tuple and type(result[0]) is list
    assert all(type(v) is float for v in result[0])


@pytest.mark.parametrize("n_fft, hop, win_length, center", [
    (16, 4, 16, True),
    (16, 4, 16, False),
    (15, 4, 15, True),  # odd n_fft: 7 zeros each side, 8 bins
    (17, 5, 17, False),
    (16, 3, 9, True),  # window shorter than the frame: followed by zeros, not centred
    (16, 4, 32, True),  # window longer than the frame: only its rising first half is used
    (4, 1, 1, True),  # the one-sample window is NaN and spreads through every bin
    (64, 64, 64, True),
])
def test_matches_float64_dft(noise, n_fft, hop, win_length, center):
    y = noise[:200]
    result = _core.stft(y, n_fft=n_fft, hop_length=hop, win_length=win_length, center=center)
    if win_length == 1:
        assert all(math.isnan(v) for v in result[0])  # its only value is 0 / 0
        return
    assert_spectrum_close(result, reference_stft(y, n_fft, hop, win_length, center))


def test_defaults_on_a_longer_signal(noise):
    y = (noise * 2)[:4096]
    result = _core.stft(y)
    assert result[1:] == (9, 1025)  # 4096 / 512 + 1 frames with centring
    assert_spectrum_close(result, reference_stft(y, 2048, 512, 2048, True))


def test_centre_padding_is_zeros_not_a_reflection():
    # Frame 0 is centred on sample 0: with a window of 4 it sees two zeros and the first two samples.
    result = _core.stft([1.0, 2.0, 3.0, 4.0], n_fft=4, hop_length=4)
    assert result[1] == 2
    expected = reference_stft([1.0, 2.0, 3.0, 4.0], 4, 4, 4, True)
    assert_spectrum_close(result, expected)
    assert abs(result[0][0] - 0.75 * 1.0) < 1e-6  # 0 × 0 + 0 × 0.75 + 1 × 0.75 + 2 × 0


@pytest.mark.parametrize("kwargs, expected", [
    (dict(y=[]), ([0.0] * 2050, 1, 1025)),
    (dict(y=[], n_fft=5, hop_length=1), ([], 0, 3)),
    (dict(y=[1.0] * 7, n_fft=8, center=False), ([], 0, 5)),
])
def test_edge_frame_counts(kwargs, expected):
    assert _core.stft(**kwargs) == expected


def test_zero_window_and_non_finite_samples():
    values, n_frames, _ = _core.stft([1.0, -2.0, 3.0, 4.0, 5.0], n_fft=4, hop_length=1, win_length=0)
    assert n_frames == 6 and set(values) == {0.0}
    # Where the window is zero the product is still formed: an infinite sample spoils its frames.
    values, n_frames, n_bins = _core.stft([0.0, float("inf"), 0.0, 0.0, 1.0, 2.0, 3.0, 4.0], n_fft=4,
                                          hop_length=4, win_length=0, center=False)
    assert n_frames == 2
    assert all(math.isnan(v) for v in values[:2 * n_bins])  # the frame holding the infinity
    assert not any(math.isnan(v) for v in values[2 * n_bins:])  # the next frame is untouched


@pytest.mark.parametrize("kwargs, message", [
    (dict(n_fft=0), "n_fft must be > 0"),
    (dict(n_fft=0, hop_length=0), "n_fft must be > 0"),
    (dict(n_fft=3), "hop_length must be > 0"),
    (dict(n_fft=2048, hop_length=0), "hop_length must be > 0"),
])
def test_validation(kwargs, message):
    with pytest.raises(ValueError) as info:
        _core.stft([1.0] * 16, **kwargs)
    assert str(info.value) == message


# --- inverse ----------------------------------------------------------------------------------

def split(result):
    values = result[0]
    return values[0::2], values[1::2], result[1], result[2]


@pytest.mark.parametrize("n_fft, hop", [(2048, 512), (64, 16), (32, 8)])
def test_round_trip(noise, n_fft, hop):
    y = noise
    re, im, n_frames, n_bins = split(_core.stft(y, n_fft=n_fft, hop_length=hop))
    back = _core.istft(re, im, n_frames, n_bins, hop_length=hop, win_length=n_fft)
    assert len(back) == (n_frames - 1) * hop
    np.testing.assert_allclose(back, y[:len(back)], rtol=0, atol=2e-6)


def reference_istft(re, im, n_frames, n_bins, hop, win_length, center):
    """The overlap-add in float64 with the single-precision window."""
    n_fft = 2 * n_bins - 2
    window = frame_window(win_length, n_fft).astype(np.float64)
    length = 0 if n_frames == 0 else n_fft + (n_frames - 1) * hop
    signal, weight = np.zeros(length), np.zeros(length)
    spectra = (np.asarray(re[:n_frames * n_bins], np.float64) + 1j * np.asarray(im[:n_frames * n_bins], np.float64))
    for i, spectrum in enumerate(spectra.reshape(n_frames, n_bins)):
        full = np.concatenate([spectrum, np.conj(spectrum[-2:0:-1])]) if n_fft else spectrum[:0]
        frame = (np.fft.ifft(full) * n_fft).real if n_fft else full.real
        signal[i * hop:i * hop + n_fft] += frame * window / n_fft
        weight[i * hop:i * hop + n_fft] += window * window
    nonzero = weight > np.float32(1e-8)
    signal[nonzero] /= weight[nonzero]
    if center and length > n_fft:
        signal = signal[n_fft // 2:length - n_fft // 2]
    return signal


@pytest.mark.parametrize("n_frames, n_bins, hop, win_length, center", [
    (4, 5, 3, 8, True),
    (4, 5, 3, 8, False),
    (3, 9, 4, 5, True),  # window shorter than the frame
    (3, 9, 4, 30, True),  # window longer than the frame: its rising part only
    (5, 2, 1, 2, True),  # n_fft 2: bin 0 then bin 1, nothing mirrored
    (3, 6, 0, 10, True),  # hop 0: every frame starts at 0, nothing trimmed
    (1, 7, 5, 12, True),  # one frame: all n_fft samples even when centred
])
def test_inverse_matches_float64_model(noise, n_frames, n_bins, hop, win_length, center):
    re = noise[:n_frames * n_bins]
    im = noise[1000:1000 + n_frames * n_bins + 3]  # surplus elements are ignored
    result = _core.istft(re, im, n_frames, n_bins, hop_length=hop, win_length=win_length, center=center)
    expected = reference_istft(re, im, n_frames, n_bins, hop, win_length, center)
    assert len(result) == len(expected)
    np.testing.assert_allclose(result, expected, rtol=0, atol=1e-5 * max(1.0, np.abs(expected).max(initial=0)))


@pytest.mark.parametrize("args, kwargs, expected", [
    (([], [], 0, 1025), {}, []),
    (([9.0] * 5, [9.0] * 5, 0, 3), {}, []),
    (([1.0] * 4, [0.0] * 4, 4, 1), dict(hop_length=3), [0.0] * 9),  # n_fft 0: only the hop spacing
    (([1.0] * 6, [0.0] * 6, 2, 3), dict(win_length=0), [0.0] * 512),  # empty window: zeros
])
def test_inverse_edge_cases(args, kwargs, expected):
    assert _core.istft(*args, **kwargs) == expected


def test_inverse_without_centring_starts_at_zero_weight():
    result = _core.istft([1.0, 2.0, 3.0], [0.0, 0.5, 0.0], 1, 3, win_length=4, center=False)
    assert len(result) == 4 and result[0] == 0.0


def test_inverse_reads_only_what_the_dimensions_promise(internal_error_type, noise):
    re, im = noise[:12], noise[100:112]
    exact = _core.istft(re, im, 3, 4, hop_length=2, win_length=6)
    assert _core.istft(re + [5.0], im + [7.0], 3, 4, hop_length=2, win_length=6) == exact
    with pytest.raises(internal_error_type, match="index out of bounds"):
        _core.istft(re, im[:-1], 3, 4, hop_length=2, win_length=6)
    with pytest.raises(internal_error_type):
        _core.istft(re[:-1], im, 3, 4, hop_length=2, win_length=6)


def test_inverse_n_bins_zero_is_a_value_error_after_conversions():
    with pytest.raises(ValueError, match="^n_bins must be > 0$"):
        _core.istft([], [], 0, 0)
    with pytest.raises(TypeError, match="^argument 'center'"):
        _core.istft([], [], 0, 0, center=0)
