import math

import numpy as np
import pytest

from reference_math import assert_same, f32
from sonavera import _core


def model(mag):
    out = [0.0]
    for previous, current in zip(mag[:-1], mag[1:]):
        flux = f32(-0.0)
        for before, after in zip(previous, current):
            with np.errstate(invalid="ignore"):
                rise = f32(after) - f32(before)
            flux = flux + (rise if rise > 0 else f32(0.0))
        out.append(float(flux))
    return out


def test_flux_matches_the_model():
    rng = np.random.default_rng(3)
    mag = (10.0 ** rng.uniform(-3, 3, size=(6, 65))).astype(np.float32)
    mag[3] = mag[2]  # no change: +0.0
    mag[5] = mag[4] / 2  # only falls: +0.0
    result = _core.onset_strength(mag.ravel().tolist(), 6, 65)
    assert_same(result, model(mag))
    assert result[3] == 0.0 and result[5] == 0.0


@pytest.mark.parametrize(
    "stft_mag, n_frames, n_bins, expected",
    [
        ([], 0, 4, []),
        # One frame has no predecessor; nothing is read.
        ([], 1, 4, [0.0]),
        # The rise 3 − 1 counts, the fall 1 − 2 does not.
        ([1.0, 2.0, 3.0, 1.0], 2, 2, [0.0, 2.0]),
        ([1.0, 2.0, 3.0, 1.0, 99.0], 2, 2, [0.0, 2.0]),
        # Without bins the sums stay at their starting -0.0.
        ([], 3, 0, [0.0, -0.0, -0.0]),
        # A bin that does not rise adds +0.0, which turns the -0.0 start into +0.0.
        ([2.0, 2.0], 2, 1, [0.0, 0.0]),
        # NaN differences add nothing; a rise to infinity is infinite.
        ([math.nan, 1.0, 2.0, math.nan, math.inf, 0.0], 3, 2, [0.0, 0.0, math.inf]),
        ([math.inf, math.inf], 2, 1, [0.0, 0.0]),
    ],
)
def test_worked_values(stft_mag, n_frames, n_bins, expected):
    assert_same(_core.onset_strength(stft_mag, n_frames, n_bins), expected)


def test_short_array_is_an_internal_error(internal_error_type):
    with pytest.raises(internal_error_type):
        _core.onset_strength([1.0] * 5, 2, 3)


def test_results_beyond_the_addressable_size_fail_before_allocating(internal_error_type):
    with pytest.raises(internal_error_type):
        _core.onset_strength([], 2**62, 0)
