"""Argument matching, conversion of every kind, the argument-name prefix, result types and the
internal-error exception, as callers of any function see them."""

import array

import numpy as np
import pytest

from sanitizers import needs_real_allocator

from sonavera import _core


def echo_floats(values):
    """A float array passed through unchanged (each value times 1.0 in single precision)."""
    return _core.to_mono(values, 1)


def echo_indices(values):
    return _core.frames_to_samples(values, hop_length=1)


class LyingLength:
    """A sequence whose __len__ promises far more than its iteration yields."""

    def __init__(self, values, length):
        self.values, self.length = values, length

    def __len__(self):
        if isinstance(self.length, Exception):
            raise self.length
        return self.length

    def __getitem__(self, index):
        return self.values[index]

    def __iter__(self):
        return iter(self.values)


class Number:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


# --- matching ---------------------------------------------------------------------------------

@pytest.mark.parametrize("call, message", [
    (lambda: _core.stft(), "stft() missing 1 required positional argument: 'y'"),
    (lambda: _core.istft(), "istft() missing 4 required positional arguments: "
                            "'stft_re', 'stft_im', 'n_frames', and 'n_bins'"),
    (lambda: _core.istft([1.0], [0.0]), "istft() missing 2 required positional arguments: 'n_frames' and 'n_bins'"),
    (lambda: _core.istft([1.0], n_bins=2), "istft() missing 2 required positional arguments: 'stft_im' and 'n_frames'"),
    (lambda: _core.resample(target_sr=1.0), "resample() missing 2 required positional arguments: 'y' and 'orig_sr'"),
    (lambda: _core.stft(y=[1.0], x=1), "stft() got an unexpected keyword argument 'x'"),
    (lambda: _core.stft([1.0], y=[2.0]), "stft() got multiple values for argument 'y'"),
    (lambda: _core.stft([1.0], 2048, 512, 2048, True, 7), "stft() takes from 1 to 5 positional arguments but 6 were given"),
    (lambda: _core.melspectrogram(1, 2, 3, 4, 5, 6), "melspectrogram() takes 5 positional arguments but 6 were given"),
    (lambda: _core.hz_to_midi([1.0], 2), "hz_to_midi() takes 1 positional arguments but 2 were given"),
    (lambda: _core.db_to_power([1.0], 1.0, 3), "db_to_power() takes from 1 to 2 positional arguments but 3 were given"),
])
def test_matching_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


def test_matching_fails_before_any_conversion():
    # The unknown keyword is reported although 'y' itself would not convert.
    with pytest.raises(TypeError, match="unexpected keyword argument 'bogus'"):
        _core.stft("not an array", bogus=1)
    # Keywords are taken in order: the first bad one is reported.
    with pytest.raises(TypeError, match="unexpected keyword argument 'a'"):
        _core.stft([1.0], a=1, y=2)


def test_every_parameter_can_be_given_by_keyword():
    positional = _core.stft([1.0] * 16, 8, 2, 6, False)
    keywords = _core.stft(center=False, win_length=6, hop_length=2, n_fft=8, y=[1.0] * 16)
    assert positional == keywords


# --- arrays -----------------------------------------------------------------------------------

@pytest.mark.parametrize("values", [
    [0.1, -2.0, 3.5],
    (0.1, -2.0, 3.5),
    array.array("d", [0.1, -2.0, 3.5]),
    array.array("f", [0.1, -2.0, 3.5]),
    np.array([0.1, -2.0, 3.5]),
    np.array([0.1, -2.0, 3.5], dtype=np.float32),
    [np.float64(0.1), np.float32(-2.0), Number(3.5)],
    LyingLength([0.1, -2.0, 3.5], 2**62),
    LyingLength([0.1, -2.0, 3.5], 0),
    LyingLength([0.1, -2.0, 3.5], RuntimeError("no length")),
], ids=["list", "tuple", "array-d", "array-f", "ndarray64", "ndarray32", "number-objects",
        "len-too-large", "len-too-small", "len-raises"])
def test_float_array_accepts_sequences(values):
    expected = [float(np.float32(v)) for v in [0.1, -2.0, 3.5]]
    assert echo_floats(values) == expected


@pytest.mark.parametrize("values, expected", [
    ([], []),
    (range(3), [0.0, 1.0, 2.0]),
    (b"\x01\x02", [1.0, 2.0]),
    ([True, 7, 2**100], [1.0, 7.0, float(np.float32(2.0**100))]),
    ([1e300, -1e300, float("nan")], [float("inf"), float("-inf"), float("nan")]),
])
def test_float_array_element_rule(values, expected):
    result = echo_floats(values)
    assert [type(v) for v in result] == [float] * len(expected)
    np.testing.assert_array_equal(result, expected)


def test_single_precision_values_come_back_widened():
    assert echo_floats([0.1]) == [0.10000000149011612]


def test_double_array_is_not_narrowed():
    # 0.1 × 1e10 rounds to 1e9 in double precision; narrowed to single first it would not.
    assert _core.time_to_samples([0.1], sr=1e10) == [1000000000]
    assert _core.time_to_samples(np.array([2.5, -0.5]), sr=1.0) == [3, -1]


@pytest.mark.parametrize("values, expected", [
    ([0, -5, 2**63 - 1, -(2**63)], [0, -5, 2**63 - 1, -(2**63)]),
    ((True, Index(7), np.int64(-3)), [1, 7, -3]),
    (np.array([4, 5], dtype=np.int64), [4, 5]),
])
def test_index_array_accepts_integers(values, expected):
    result = echo_indices(values)
    assert result == expected and all(type(v) is int for v in result)


@pytest.mark.parametrize("call, exception, message", [
    (lambda: _core.stft(5), TypeError, "argument 'y': 'int' object cannot be converted to 'Sequence'"),
    (lambda: _core.stft(None), TypeError, "argument 'y': 'NoneType' object cannot be converted to 'Sequence'"),
    (lambda: _core.stft({1.0: 2.0}), TypeError, "argument 'y': 'dict' object cannot be converted to 'Sequence'"),
    (lambda: _core.stft({1.0}), TypeError, "argument 'y': 'set' object cannot be converted to 'Sequence'"),
    (lambda: _core.stft(x for x in [1.0]), TypeError, "argument 'y': 'generator' object cannot be converted to 'Sequence'"),
    (lambda: _core.stft(1.5), TypeError, "argument 'y': 'float' object cannot be converted to 'Sequence'"),
    (lambda: _core.stft([1.0, "x"]), TypeError, "argument 'y': must be real number, not str"),
    (lambda: _core.stft([1.0, None]), TypeError, "argument 'y': must be real number, not NoneType"),
    (lambda: _core.stft([2**1024]), OverflowError, "int too large to convert to float"),
    (lambda: echo_indices([1, 2.0]), TypeError, "argument 'frames': 'float' object cannot be interpreted as an integer"),
    (lambda: echo_indices([2**63]), OverflowError, "Python int too large to convert to C long"),
    (lambda: _core.time_to_samples(["1"]), TypeError, "argument 'times': must be real number, not str"),
])
def test_array_conversion_errors(call, exception, message):
    with pytest.raises(exception) as info:
        call()
    assert type(info.value) is exception
    assert str(info.value) == message


@pytest.mark.parametrize("text", ["abc", "", type("Text", (str,), {})("1.0")])
def test_str_is_not_an_array(text):
    with pytest.raises(TypeError, match=r"^argument 'y': .*'str'.*array") as info:
        _core.stft(text)
    assert type(info.value) is TypeError


def test_iteration_errors_pass_through():
    class Broken:
        def __len__(self):
            return 3

        def __getitem__(self, index):
            raise KeyError("broken element")

    with pytest.raises(KeyError):
        _core.stft(Broken())


def test_list_shrinking_during_conversion():
    values = [1.0, 2.0, 3.0, 4.0]

    class Shrinks:
        def __float__(self):
            del values[2:]
            return 9.0

    values.insert(1, Shrinks())
    assert echo_floats(values) == [1.0, 9.0]  # iteration stops where the list now ends


# --- scalars ----------------------------------------------------------------------------------

@pytest.mark.parametrize("value", [2, True, np.float64(2.0), np.float32(2.0), Number(2.0), Index(2)])
def test_float_scalar_accepts_numbers(value):
    assert _core.db_to_power([0.0], ref_val=value) == [1.0 if value is True else 2.0]


@pytest.mark.parametrize("value, expected", [(0.1, 0.10000000149011612), (1e300, float("inf"))])
def test_single_precision_scalar_is_narrowed(value, expected):
    assert _core.db_to_power([0.0], ref_val=value) == [expected]


@pytest.mark.parametrize("value, expected_frames", [(4, 3), (True, 9), (Index(2), 5), (np.uint8(8), 2), (np.int64(4), 3)])
def test_size_accepts_integers(value, expected_frames):
    assert _core.stft([0.0] * 16, n_fft=4, hop_length=value, center=False)[1] == (16 - 4) // int(value) + 1


@pytest.mark.parametrize("value, exception, message", [
    (2048.0, TypeError, "argument 'n_fft': 'float' object cannot be interpreted as an integer"),
    (None, TypeError, "argument 'n_fft': 'NoneType' object cannot be interpreted as an integer"),
    ("8", TypeError, "argument 'n_fft': 'str' object cannot be interpreted as an integer"),
    (-1, OverflowError, "can't convert negative int to unsigned"),
    (Index(-1), OverflowError, "can't convert negative int to unsigned"),
    (2**64, OverflowError, "int too big to convert"),
])
def test_size_errors(value, exception, message):
    with pytest.raises(exception) as info:
        _core.stft([1.0] * 4096, n_fft=value)
    assert type(info.value) is exception and str(info.value) == message


@pytest.mark.parametrize("value, exception, message", [
    (None, TypeError, "argument 'hop_length': 'NoneType' object cannot be interpreted as an integer"),
    (1.0, TypeError, "argument 'hop_length': 'float' object cannot be interpreted as an integer"),
    (2**63, OverflowError, "Python int too large to convert to C long"),
])
def test_signed_integer_errors(value, exception, message):
    with pytest.raises(exception) as info:
        _core.frames_to_samples([1], hop_length=value)
    assert type(info.value) is exception and str(info.value) == message


def test_signed_integer_range():
    assert _core.frames_to_samples([1], hop_length=-(2**63)) == [-(2**63)]
    assert _core.frames_to_samples([1], hop_length=Index(-7)) == [-7]


@pytest.mark.parametrize("value", [True, False, np.bool_(True), np.bool_(False)])
def test_flag_accepts_booleans(value):
    expected = _core.stft([1.0] * 8, n_fft=4, center=bool(value))
    assert _core.stft([1.0] * 8, n_fft=4, center=value) == expected


@pytest.mark.parametrize("value, type_name", [(1, "int"), (0, "int"), (None, "NoneType"), ("True", "str"),
                                             (np.int64(1), "int64"), (1.0, "float")])
def test_flag_refuses_everything_else(value, type_name):
    with pytest.raises(TypeError) as info:
        _core.stft([1.0] * 8, center=value)
    assert str(info.value) == f"argument 'center': '{type_name}' object cannot be converted to 'PyBool'"


def test_none_means_default_only_for_optional_parameters():
    signal = [float(i % 7) for i in range(64)]
    assert _core.stft(signal, n_fft=16, hop_length=None, win_length=None) == _core.stft(signal, n_fft=16)
    with pytest.raises(TypeError, match=r"^argument 'ref_val': must be real number, not NoneType$"):
        _core.db_to_power([0.0], ref_val=None)
    with pytest.raises(TypeError, match=r"^argument 'center': 'NoneType' object cannot be converted to 'PyBool'$"):
        _core.stft(signal, center=None)


def test_conversion_stops_at_the_first_failing_argument():
    # 'n_fft' fails first; the bad 'center' after it is never looked at.
    with pytest.raises(TypeError, match="^argument 'n_fft'"):
        _core.stft([1.0], n_fft="x", center="also wrong")
    # Conversions come before validation.
    with pytest.raises(TypeError, match="^argument 'center'"):
        _core.stft([1.0], n_fft=0, center=1)


# --- the argument-name prefix -----------------------------------------------------------------

def test_prefix_keeps_the_cause_of_the_original_type_error():
    cause = KeyError("underlying")

    class Chained:
        def __float__(self):
            raise TypeError("bad number") from cause

    with pytest.raises(TypeError) as info:
        _core.stft([Chained()])
    assert str(info.value) == "argument 'y': bad number"
    assert info.value.__cause__ is cause


def test_prefix_applies_only_to_exact_type_errors():
    class Special(TypeError):
        pass

    class Raises:
        def __init__(self, exc):
            self.exc = exc

        def __float__(self):
            raise self.exc

    for exc in [Special("special"), ValueError("value"), ZeroDivisionError("zero")]:
        with pytest.raises(type(exc)) as info:
            _core.db_to_power([1.0], ref_val=Raises(exc))
        assert info.value is exc


# --- internal errors --------------------------------------------------------------------------

def test_internal_error_class(internal_error_type):
    cls = internal_error_type
    assert cls.__name__ == "InternalError"
    assert cls.__module__ == "_core_runtime"
    assert cls.__bases__ == (BaseException,)
    assert not issubclass(cls, Exception)
    assert "native code" in cls.__doc__ and "SystemExit" in cls.__doc__
    assert not hasattr(_core, "InternalError")


def test_internal_error_escapes_except_exception(internal_error_type, capsys):
    with pytest.raises(BaseException) as info:
        try:
            _core.istft([1.0, 2.0], [0.0], 1, 2)
        except Exception:  # must not catch it
            pytest.fail("an internal error was caught as an Exception")
    assert type(info.value) is internal_error_type
    assert info.value.args == ("index out of bounds: the len is 1 but the index is 1",)
    assert "internal error" in capsys.readouterr().err
    # The same class every time, and the module stays usable.
    with pytest.raises(internal_error_type):
        _core.istft([], [], 1, 2)
    assert _core.stft([0.0] * 4, n_fft=4)[1:] == (5, 3)


@pytest.mark.parametrize("call", [
    lambda: _core.stft([], n_fft=2**62, center=False),  # window bytes beyond the addressable range
    lambda: _core.istft([], [], 1, 2**63 + 5),  # transform length overflows
    lambda: _core.istft([], [], 2**62, 3, hop_length=8),  # output length overflows
], ids=["stft-window", "istft-n_fft", "istft-length"])
def test_sizes_beyond_the_address_space_are_internal_errors(call, internal_error_type):
    with pytest.raises(internal_error_type, match="overflow"):
        call()


@needs_real_allocator
def test_unsatisfiable_allocation_is_memory_error():
    with pytest.raises(MemoryError):
        _core.stft([], n_fft=2**50, center=False)  # representable, but far beyond any machine
    assert _core.stft([0.0] * 4, n_fft=4)[1:] == (5, 3)
