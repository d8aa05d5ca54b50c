import numpy as np
import pytest

from reference_math import assert_same, expf, f32, log10f, logf, powf
from sonavera import _core

# Single-precision constants, each rounded on its own: the break mel is the single-precision
# quotient, just above 15.
LINEAR_STEP = f32(200) / f32(3)
BREAK_HZ = f32(1000)
BREAK_MEL = BREAK_HZ / LINEAR_STEP
LOG_STEP = f32(0.06875177742094912)


def test_single_precision_constants_are_the_expected_ones():
    assert float(LINEAR_STEP) == 66.66666412353516
    assert float(BREAK_MEL) == 15.000000953674316
    assert float(LOG_STEP) == 0.06875177472829819


def hz_to_mel(f, htk):
    if htk:
        return log10f(f / f32(700) + f32(1)) * f32(2595)
    if f < BREAK_HZ:
        return f / LINEAR_STEP
    return logf(f / BREAK_HZ) / LOG_STEP + BREAK_MEL


def mel_to_hz(m, htk):
    if htk:
        return (powf(10, m / f32(2595)) - f32(1)) * f32(700)
    if m < BREAK_MEL:
        return m * LINEAR_STEP + f32(0)
    return expf((m - BREAK_MEL) * LOG_STEP) * BREAK_HZ


def edge_hz(sr, n_mels, fmin, fmax, htk):
    sr, fmin = f32(sr), f32(fmin)
    fmax = f32(0.5) * sr if fmax is None else f32(fmax)
    mel_min, mel_max = hz_to_mel(fmin, htk), hz_to_mel(fmax, htk)
    span = mel_max - mel_min
    return [mel_to_hz(f32(i) * span / f32(n_mels + 1) + mel_min, htk) for i in range(n_mels + 2)]


def bin_hz(sr, n_fft):
    with np.errstate(invalid="ignore", divide="ignore"):
        return [f32(k) * f32(sr) / f32(n_fft) for k in range(n_fft // 2 + 1)]


def model(sr, n_fft, n_mels=128, fmin=0.0, fmax=None, htk=False):
    edges = edge_hz(sr, n_mels, fmin, fmax, htk)
    out = []
    for m in range(n_mels):
        lo, centre, hi = edges[m : m + 3]
        d_lo, d_hi = centre - lo, hi - centre
        for f in bin_hz(sr, n_fft):
            if d_lo > 0 and lo <= f <= centre:
                out.append(float((f - lo) / d_lo))
            elif d_hi > 0 and centre < f <= hi:
                out.append(float((hi - f) / d_hi))
            else:
                out.append(0.0)
    return out


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((22050, 2048), {}),
        ((16000.0, 512), {"n_mels": 40, "fmin": 300.0, "fmax": 8000.0, "htk": True}),
        # An odd length rounds down to 511 bins; the sample rate is rounded to single first.
        ((44100.1, 1021), {"n_mels": 23, "fmin": 20.0, "fmax": 9000.0}),
        # Edges far above the sample rate's bins, and a band reaching below 0 Hz.
        ((8000, 16), {"n_mels": 5, "fmin": -300.0, "fmax": 20000.0}),
        ((8000, 16), {"n_mels": 5, "fmin": -300.0, "fmax": 20000.0, "htk": True}),
    ],
)
def test_weights_match_the_single_precision_triangles(args, kwargs):
    result = _core.mel_filterbank(*args, **kwargs)
    expected = model(*args, **kwargs)
    assert_same(result, expected)
    n_mels = kwargs.get("n_mels", 128)
    rows = np.array(result, dtype=np.float32).reshape(n_mels, args[1] // 2 + 1)
    assert ((rows >= 0) & (rows <= 1)).all()
    # Each filter is one run of contiguous nonzero bins.
    for row in rows:
        nonzero = np.flatnonzero(row)
        assert len(nonzero) == 0 or nonzero[-1] - nonzero[0] + 1 == len(nonzero)


def test_plain_triangles_filter_major():
    # In the linear branch these edges come out at exactly 0, 200, 400, 600 and 800 Hz, and the
    # bins lie every 100 Hz: each triangle rises over two bins to exactly 1.0 and falls over two,
    # without any area normalisation; feet and tops are weighted 0.0.
    rows = [
        [0.0, 0.5, 1.0, 0.5, 0.0, 0.0, 0.0, 0.0, 0.0],
        [0.0, 0.0, 0.0, 0.5, 1.0, 0.5, 0.0, 0.0, 0.0],
        [0.0, 0.0, 0.0, 0.0, 0.0, 0.5, 1.0, 0.5, 0.0],
    ]
    assert _core.mel_filterbank(1600.0, 16, n_mels=3) == rows[0] + rows[1] + rows[2]
    assert _core.mel_filterbank(1200.0, 12, 2, 0.0, 600.0) == [w for row in rows[:2] for w in row[:7]]


# Between fmin = 1000 Hz and the next float above it, the edge points collapse onto two hertz
# values: with four filters the edges are 1000, 1000, then 1000 + 2**-13 four times. A bin at
# exactly 1000 Hz sits on a filter whose rising width is zero, and one at 1000 + 2**-13 Hz on the
# top of a filter whose falling width is zero.
F0 = 1000.0
F_MAX = float(np.nextafter(f32(F0), f32(2000)))
F1 = F0 + 2.0**-13


def test_the_collapsed_edges_are_as_described():
    edges = [float(e) for e in edge_hz(2000.0, 4, F0, F_MAX, False)]
    assert edges == [F0, F0, F1, F1, F1, F1]


@pytest.mark.parametrize(
    "sr, expected_row_1",
    [
        # A bin on the peak of a filter without a rising edge belongs to no edge: the falling edge
        # excludes its lower end.
        (2 * F0, [0.0, 0.0]),
        # A bin on the peak of a filter without a falling edge is the top of the rising edge: 1.0.
        (2 * F1, [0.0, 1.0]),
    ],
)
def test_edge_ends_inclusive_and_exclusive(sr, expected_row_1):
    # n_fft = 2 gives two bins, 0 Hz and sr / 2.
    result = _core.mel_filterbank(sr, 2, n_mels=4, fmin=F0, fmax=F_MAX)
    assert result[2:4] == expected_row_1
    assert result[:2] + result[4:] == [0.0] * 6


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((22050, 2048), {"n_mels": 0}, []),
        # One bin whose frequency is 0 × sr / 0 = NaN: no filter takes it.
        ((22050, 0), {"n_mels": 3}, [0.0] * 3),
        # One bin at 0 Hz, on the foot of the lowest filter.
        ((22050, 1), {"n_mels": 2}, [0.0] * 2),
        ((22050, 5), {"n_mels": 1, "fmin": 500.0, "fmax": 500.0}, [0.0] * 3),
        ((22050, 8), {"n_mels": 2, "fmin": 8000.0, "fmax": 100.0}, [0.0] * 10),
        ((0.0, 8), {"n_mels": 2}, [0.0] * 10),
        ((22050, 8), {"n_mels": 2, "fmin": -800.0, "htk": True}, [0.0] * 10),
    ],
)
def test_degenerate_settings_give_zero_matrices(args, kwargs, expected):
    assert _core.mel_filterbank(*args, **kwargs) == expected


def test_default_bands_start_at_zero_hertz():
    result = _core.mel_filterbank(22050, 2048, n_mels=128)
    assert len(result) == 128 * 1025
    assert result[0] == 0.0
    assert result[1] > 0.0


@pytest.mark.parametrize("n_fft, n_mels", [(2**40, 2**40), (2, 2**62), (2, 2**64 - 1)])
def test_matrices_beyond_the_addressable_size_fail_before_allocating(internal_error_type, n_fft, n_mels):
    with pytest.raises(internal_error_type):
        _core.mel_filterbank(22050, n_fft, n_mels)


def test_no_filters_is_an_empty_list_whatever_the_fft_length():
    assert _core.mel_filterbank(22050.0, 2**40, n_mels=0) == []
