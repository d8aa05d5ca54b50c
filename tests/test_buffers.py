"""Arrays read through the buffer protocol give exactly what element-by-element iteration gives."""

import array

import numpy as np
import pytest

from sonavera import _core

SPECIAL = [float("nan"), -0.0, 0.0, float("inf"), float("-inf"), 1e-45, 3.4028235e38, 1e39, -1e-320]


@pytest.fixture(scope="module")
def doubles():
    values = np.random.default_rng(3).standard_normal(4096) * 10.0 ** np.random.default_rng(4).integers(-40, 40, 4096)
    return np.concatenate([values, SPECIAL])


class SubArray(np.ndarray):
    pass


def variants(values, dtype):
    with np.errstate(over="ignore"):  # values beyond float32 become infinities, as intended
        data = np.asarray(values, dtype=dtype)
    return {
        "ndarray": data,
        "array.array": array.array(data.dtype.char if dtype != np.int64 else "q", data.tolist()),
        "strided view": np.repeat(data, 2)[::2],
        "reversed view": data[::-1].copy()[::-1],
        "subclass": data.view(SubArray),
        "read-only": np.frombuffer(data.tobytes(), dtype=dtype),
        "misaligned": np.frombuffer(b"\0" + data.tobytes(), dtype=dtype, offset=1),
        "big-endian": data.astype(np.dtype(dtype).newbyteorder(">")),
    }


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
def test_float_arrays_match_iteration(doubles, dtype):
    for kind, data in variants(doubles, dtype).items():
        expected = _core.to_mono(list(data.tolist()), 1)
        result = _core.to_mono(data, 1)
        np.testing.assert_array_equal(result, expected, err_msg=kind)
        assert [np.signbit(v) for v in result] == [np.signbit(v) for v in expected], kind


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
def test_double_arrays_match_iteration(doubles, dtype):
    for kind, data in variants(doubles, dtype).items():
        np.testing.assert_array_equal(_core.time_to_samples(data, sr=1.0),
                                      _core.time_to_samples(data.tolist(), sr=1.0), err_msg=kind)


def test_index_arrays_match_iteration():
    values = np.random.default_rng(5).integers(-(2**63), 2**63 - 1, 4096, dtype=np.int64)
    values[:3] = [0, -(2**63), 2**63 - 1]
    for kind, data in variants(values, np.int64).items():
        assert _core.frames_to_samples(data, hop_length=1) == values.tolist(), kind
    assert _core.frames_to_samples(np.array([1, 2], dtype=np.int32), hop_length=1) == [1, 2]


def test_other_dtypes_still_go_element_by_element():
    with pytest.raises(TypeError, match="^argument 'frames': "):
        _core.frames_to_samples(np.array([1.0, 2.0]))
    assert _core.to_mono(np.array([1, 2], dtype=np.int16), 1) == [1.0, 2.0]
    assert _core.to_mono(np.array([True, False]), 1) == [1.0, 0.0]
    with pytest.raises(TypeError):
        _core.to_mono(np.array(1.5), 1)  # zero-dimensional: not iterable
    with pytest.raises(TypeError, match="^argument 'y_flat': "):
        _core.to_mono(np.zeros((2, 2), dtype=np.float32), 2)  # its elements are rows, not numbers


def test_arrays_are_read_as_they_were_when_converted():
    data = np.array([1.0, 2.0, 3.0, 4.0], dtype=np.float32)
    items = array.array("f", [5.0, 6.0])

    class Changes:
        """A later argument whose conversion changes the array converted before it."""

        def __init__(self, change):
            self.change = change

        def __index__(self):
            self.change()
            return 1

    assert _core.to_mono(data, Changes(lambda: data.fill(0.0))) == [1.0, 2.0, 3.0, 4.0]
    # Resizing needs the buffer to be free again.
    assert _core.to_mono(items, Changes(lambda: items.append(7.0))) == [5.0, 6.0]
    assert list(items) == [5.0, 6.0, 7.0]

    mag = np.array([1.0, 2.0], dtype=np.float32)

    class Scales:
        def __float__(self):
            mag[:] = 100.0
            return 1.0

    assert _core.melspectrogram(mag, [Scales(), 1.0], 1, 2, 1) == [3.0]


def test_buffers_are_released_on_every_path():
    items = array.array("f", [1.0, 2.0, 3.0])
    assert _core.resample(items, 8000.0, 8000.0) == [1.0, 2.0, 3.0]
    with pytest.raises(TypeError):
        _core.to_mono(items, "two")
    with pytest.raises(ValueError):
        _core.to_mono(items, 2)
    items.append(4.0)  # fails with BufferError if an export were still held
    assert _core.to_mono(items, 2) == [2.0, 3.0]
