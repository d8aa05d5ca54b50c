"""Property-based tests of all functions.

Every function gets arguments of every kind (lists, tuples, NumPy arrays, array.array, bytes,
strings, None, huge and negative integers, NaN and infinities, objects whose __float__,
__index__, __len__ or __iter__ raise or lie, lists that change while they are read) and sizes
from empty and zero to ones whose byte count overflows. Each call returns a value of the
promised type and length or raises TypeError, ValueError, OverflowError, MemoryError, the
internal error, or the exception a misbehaving argument object raised itself; and the module
keeps working afterwards.

Well-formed random inputs then meet the properties the functions promise: result lengths and
layouts, the ranges of filterbank weights and chroma frames, and round trips of the scale,
decibel and mu-law conversions within rounding.

Sizes are either small or so large that their byte count overflows: sizes in between would make
real allocations of gigabytes. The runs are derandomised, so CI sees the same examples every time;
SONAVERA_FUZZ_EXAMPLES raises the number of examples for a longer local search.
"""

import array
import inspect
import math
import os
import sys

import numpy as np
import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

from sonavera import _core

from catalogue import (ARRAY_KINDS, DOUBLES, F32, F64, FLAG, FLOATS, FUNCTIONS, INDICES, INT64, OPT_F32,
                       OPT_INT64, OPT_SIZE, SIZE, HostileError, Index, Number, quiet_stderr,
                       result_is_well_formed)
from reference_math import assert_same, cosf, f32

EXAMPLES = int(os.environ.get("SONAVERA_FUZZ_EXAMPLES", "0"))


def fuzz_settings(examples):
    return settings(max_examples=max(examples, EXAMPLES), deadline=None, derandomize=True, database=None,
                    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much,
                                           HealthCheck.data_too_large])


# --- misbehaving argument objects ---------------------------------------------------------------

class LyingSequence:
    """A sequence whose __len__ raises or promises something other than what it yields."""

    def __init__(self, values, length):
        self.values, self.length = list(values), length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise type(self.length)(*self.length.args)
        return self.length

    def __getitem__(self, index):
        return self.values[index]

    def __iter__(self):
        return iter(self.values)

    def __repr__(self):
        return f"LyingSequence({self.values!r}, length={self.length!r})"


class BrokenIteration(LyingSequence):
    """Yields `stop` elements, then its iteration raises."""

    def __init__(self, values, stop):
        super().__init__(values, len(values))
        self.stop = stop

    def __iter__(self):
        yield from self.values[:self.stop]
        raise HostileError("iteration broke")


class NotAnIterator(LyingSequence):
    def __iter__(self):
        return 5


class Mutator:
    """An element whose conversion changes the list it sits in: it empties it, or appends to it
    once. The list keeps the only reference to the element."""

    def __init__(self, target, action, value):
        self.target, self.action, self.value = target, action, value

    def _act(self):
        if self.action == "clear":
            self.target.clear()
        elif self.action == "append" and self.target and self.target[-1] is not self.value:
            self.target.append(self.value)
        return self.value

    def __float__(self):
        return float(self._act())

    def __index__(self):
        return int(self._act())

    def __repr__(self):
        return f"Mutator({self.action}, {self.value!r})"


def mutating_list(values, position, action):
    target = list(values)
    target.insert(min(position, len(target)), None)
    target[min(position, len(target) - 1)] = Mutator(target, action, 1)
    return target


def fake_numpy_bool(truth):
    """An object of a type that claims to be NumPy's bool: without __bool__, or one that raises."""
    namespace = {"__module__": "numpy"}
    if truth is not None:
        def as_bool(self):
            if isinstance(truth, BaseException):
                raise type(truth)(*truth.args)
            return truth
        namespace["__bool__"] = as_bool
    return type("bool_", (), namespace)()


# --- argument strategies --------------------------------------------------------------------------

def mostly(good, bad, one_in=10):
    """`good`, and `bad` about once in `one_in` draws."""
    # Hypothesis leans towards small integers, so the rare branch is the largest one.
    return st.integers(0, one_in - 1).flatmap(lambda k: bad if k == one_in - 1 else good)


SPECIAL_FLOATS = [math.nan, math.inf, -math.inf, 0.0, -0.0, 1e-45, 5e-324, 3.4028235e38, 3.5e38, 1e300, -1e300,
                  1.0, -1.0, 0.5, 1e-10]
ANY_FLOAT = st.one_of(st.floats(), st.sampled_from(SPECIAL_FLOATS))
PLAIN_FLOAT = st.floats(-1e4, 1e4)
EDGE_INTS = [0, 1, -1, 2**31, 2**53 + 1, 2**63 - 1, -2**63]
OUT_OF_RANGE_INTS = [2**63, -2**63 - 1, 2**64, 2**100, -2**100, 2**1100]
HOSTILE_NUMBERS = st.sampled_from([Number(HostileError("no float")), Number("x"), Index(HostileError("no index")),
                                   Index(1.5), "x", None, [1.0], b"1", object()])

number_element = mostly(
    st.one_of(ANY_FLOAT, PLAIN_FLOAT, st.integers(-2**70, 2**70), st.booleans(), st.sampled_from(EDGE_INTS),
              PLAIN_FLOAT.map(Number), st.integers(-99, 99).map(Index), PLAIN_FLOAT.map(np.float32),
              st.integers(-99, 99).map(np.int64)),
    st.one_of(HOSTILE_NUMBERS, st.sampled_from(OUT_OF_RANGE_INTS)), one_in=300)
index_element = mostly(
    st.one_of(st.integers(-2**63, 2**63 - 1), st.integers(-3000, 3000), st.sampled_from(EDGE_INTS),
              st.booleans(), st.integers(-99, 99).map(Index), st.integers(-99, 99).map(np.int64)),
    st.one_of(HOSTILE_NUMBERS, st.sampled_from(OUT_OF_RANGE_INTS), ANY_FLOAT), one_in=300)

LENGTHS = dict(min_size=0, max_size=40)


def containers(elements, numeric):
    """The same kind of array in every container the module accepts, and now and then one it
    refuses or one whose iteration breaks."""
    values = st.lists(elements, **LENGTHS)
    numeric_values = st.lists(numeric, **LENGTHS)
    as_array = [np.float32, np.float64, np.float16, np.int64, np.int32, np.bool_, object]
    accepted = st.one_of(
        values, values, values.map(tuple),
        st.tuples(numeric_values, st.sampled_from(as_array)).map(lambda v: _ndarray(*v)),
        numeric_values.map(lambda v: _ndarray(v, np.float64)[::2]),  # a strided view
        numeric_values.map(lambda v: _ndarray(v, ">f4")),  # not in native byte order
        st.tuples(numeric_values, st.sampled_from("fdq")).map(lambda v: _array_array(*v)),
        st.binary(max_size=40), st.builds(range, st.integers(-5, 5), st.integers(-5, 40)),
        st.tuples(values, st.sampled_from([0, 3, 10**9, 2**62, sys.maxsize, -1, 2**70, HostileError("no length")]))
          .map(lambda v: LyingSequence(*v)),
        st.tuples(numeric_values, st.integers(0, 40), st.sampled_from(["clear", "append"]))
          .map(lambda v: mutating_list(*v)),
    )
    refused = st.one_of(
        numeric_values.map(lambda v: _ndarray(v, np.float32).reshape(-1, 1)),  # two dimensions
        PLAIN_FLOAT.map(np.asarray),  # no dimension
        st.tuples(values, st.integers(0, 40)).map(lambda v: BrokenIteration(*v)),
        values.map(lambda v: NotAnIterator(v, len(v))),
        st.sampled_from(["abc", "", None, 5, 2.5, {1: 2.0}, {1.0}, (x for x in [1.0]), [[1.0, 2.0]]]),
    )
    return mostly(accepted, refused, one_in=6)


def _ndarray(values, dtype):
    """The values as a NumPy array of that type, as far as they fit (out-of-range integers
    become 0; floats beyond the type's range become infinities)."""
    with np.errstate(all="ignore"):
        try:
            return np.asarray(values, dtype=dtype)
        except (OverflowError, ValueError):
            return np.asarray([v if -2**31 < v < 2**31 else 0 for v in values], dtype=dtype)


def _array_array(values, code):
    try:
        return array.array(code, [int(v) if code == "q" else v for v in values])
    except (OverflowError, ValueError):
        return array.array(code)


float_arrays = containers(number_element, st.one_of(ANY_FLOAT, PLAIN_FLOAT))
index_arrays = st.one_of(
    st.lists(index_element, **LENGTHS), st.lists(index_element, **LENGTHS).map(tuple),
    st.lists(st.integers(-2**63, 2**63 - 1), **LENGTHS).map(lambda v: np.asarray(v, dtype=np.int64)),
    st.lists(st.integers(-2**31, 2**31 - 1), **LENGTHS).map(lambda v: array.array("l", v)),
    st.lists(st.integers(-2**31, 2**31 - 1), **LENGTHS).map(lambda v: np.asarray(v, dtype=np.int32)),
    st.lists(PLAIN_FLOAT, max_size=5).map(lambda v: np.asarray(v)),
    st.tuples(st.lists(index_element, **LENGTHS), st.integers(0, 40), st.sampled_from(["clear", "append"]))
      .map(lambda v: mutating_list(*v)),
    st.tuples(st.lists(index_element, **LENGTHS), st.sampled_from([0, 2**62, HostileError("no length")]))
      .map(lambda v: LyingSequence(*v)),
    st.sampled_from(["abc", None, 5, b"\x01\x02", range(3)]),
)

# A size is small, or so large that any array it sizes overflows the byte-count check: 2**62
# single-precision values are 2**64 bytes. Sizes in between would allocate gigabytes for real.
HUGE_SIZES = st.one_of(st.integers(2**62, 2**64 - 1), st.sampled_from([2**62, 2**63 - 1, 2**63, 2**64 - 1]))
sizes = mostly(
    st.one_of(st.integers(0, 12), st.integers(0, 12), st.integers(0, 64), st.just(0), st.just(1),
              st.integers(0, 12).map(Index), st.integers(0, 12).map(np.uint64), st.booleans()),
    st.one_of(HUGE_SIZES, HUGE_SIZES.map(Index), st.sampled_from([-1, -2**63, 2**64, 2**100, 3.0, "3", None]),
              st.sampled_from([Index(-1), Index(2**64), Index(HostileError("no index")), Index(2.0), np.int64(-1)])),
    one_in=6)
int64s = mostly(
    st.one_of(st.integers(-64, 4096), st.integers(-2**63, 2**63 - 1), st.sampled_from(EDGE_INTS),
              st.integers(-9, 9).map(Index), st.integers(-9, 9).map(np.int64)),
    st.one_of(st.sampled_from(OUT_OF_RANGE_INTS), HOSTILE_NUMBERS, ANY_FLOAT), one_in=8)
float_scalars = mostly(
    st.one_of(ANY_FLOAT, PLAIN_FLOAT, st.floats(0.1, 1e5), st.integers(-2**64, 2**64), PLAIN_FLOAT.map(Number),
              st.integers(-9, 9).map(Index), PLAIN_FLOAT.map(np.float32)),
    st.one_of(HOSTILE_NUMBERS, st.just(2**1100)), one_in=8)
flags = mostly(
    st.one_of(st.booleans(), st.booleans().map(np.bool_)),
    st.sampled_from([0, 1, None, "yes", 1.0, fake_numpy_bool(None), fake_numpy_bool(True),
                     fake_numpy_bool(HostileError("no truth"))]),
    one_in=8)

BY_KIND = {FLOATS: float_arrays, DOUBLES: float_arrays, INDICES: index_arrays,
           F32: float_scalars, F64: float_scalars, OPT_F32: st.one_of(st.none(), float_scalars),
           SIZE: sizes, OPT_SIZE: st.one_of(st.none(), sizes),
           INT64: int64s, OPT_INT64: st.one_of(st.none(), int64s), FLAG: flags}


@st.composite
def any_call(draw, name):
    """Arguments for every parameter (or its default), passed by position up to a point and by
    keyword after it; now and then a call that cannot match the signature at all."""
    params = FUNCTIONS[name][0]
    required = [p for p, default in _signature(name) if default is _REQUIRED]
    values = {}
    for param, kind in params:
        if param in required or draw(st.integers(0, 3)) > 0:
            values[param] = draw(BY_KIND[kind])
    supplied = [p for p, _ in params if p in values]
    prefix = 0
    while prefix < len(params) and params[prefix][0] in values:
        prefix += 1
    positional = draw(st.integers(0, prefix))
    args = [values[p] for p, _ in params[:positional]]
    kwargs = {p: values[p] for p in supplied[positional:]}
    match draw(st.integers(0, 30)):
        case 30:
            args.append(1.0)  # one more than fits, or a second value for a parameter
        case 29:
            kwargs["no_such_parameter"] = 1
        case 28 if required:
            kwargs.pop(required[-1], None)
            if len(args) >= len(required):
                args = args[:len(required) - 1]
                kwargs = {p: values[p] for p in supplied[len(args):] if p != required[-1]}
    return args, kwargs


_REQUIRED = object()


def _signature(name):
    return [(p.name, _REQUIRED if p.default is inspect.Parameter.empty else p.default)
            for p in inspect.signature(getattr(_core, name)).parameters.values()]


def resample_is_bounded(args, kwargs):
    """Whether a resample call would ask for at most a million samples or for a count that
    overflows: rates whose ratio lies between would really allocate gigabytes."""
    values = dict(zip(["y", "orig_sr", "target_sr"], args)) | kwargs
    try:
        with np.errstate(all="ignore"):
            orig, target = (f32(float(values[k])) for k in ("orig_sr", "target_sr"))
    except BaseException:  # noqa: BLE001 - the call fails in conversion as well
        return True
    with np.errstate(all="ignore"):
        ratio = target / orig
        return not (orig > 0 and target > 0) or not (25_000 < ratio < 2**62)


ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, HostileError)


def module_still_works():
    assert _core.hz_to_mel([1000.0]) == [14.999999999999998]
    assert _core.to_mono([1.0, 2.0, 3.0, 4.0], 2) == [2.0, 3.0]


@pytest.mark.parametrize("name", FUNCTIONS)
def test_any_arguments_give_a_result_or_an_orderly_exception(name, internal_error_type):
    @fuzz_settings(150)
    @given(call=any_call(name))
    def check(call):
        args, kwargs = call
        if name == "resample":
            assume(resample_is_bounded(args, kwargs))
        with quiet_stderr():
            try:
                result = getattr(_core, name)(*args, **kwargs)
            except ALLOWED + (internal_error_type,):
                pass
            else:
                assert result_is_well_formed(name, result)
        module_still_works()

    check()


def test_the_table_covers_every_function():
    assert list(FUNCTIONS) == _core.__all__
    for name, (params, _) in FUNCTIONS.items():
        assert [p for p, _ in params] == [p for p, _ in _signature(name)], name


# --- properties of well-formed calls ----------------------------------------------------------------

EPSILON32 = 2.0**-23


def floats32(low, high):
    """Single-precision values between the nearest single-precision bounds."""
    return st.floats(float(f32(low)), float(f32(high)), width=32)


samples32 = floats32(-1e4, 1e4)
unit32 = floats32(-1.0, 1.0)
magnitude32 = st.one_of(floats32(0.0, 1e3), st.just(0.0), floats32(0.0, 1e-9))


def matrix(data, rows, columns, element=samples32):
    """A flat row-major matrix, sometimes with a few surplus elements, which must be ignored."""
    surplus = data.draw(st.sampled_from([0, 0, 0, 1, 3]))
    return data.draw(st.lists(element, min_size=rows * columns + surplus, max_size=rows * columns + surplus))


def frame_count(length, frame_length, hop):
    return 0 if length < frame_length else (length - frame_length) // hop + 1


@fuzz_settings(100)
@given(y=st.lists(samples32, max_size=200), n_fft=st.integers(1, 64), hop=st.one_of(st.none(), st.integers(1, 40)),
       win=st.one_of(st.none(), st.integers(0, 80)), center=st.booleans())
def test_stft_layout(y, n_fft, hop, win, center):
    step = n_fft // 4 if hop is None else hop
    if step == 0:
        with pytest.raises(ValueError, match="^hop_length must be > 0$"):
            _core.stft(y, n_fft, hop, win, center)
        return
    values, n_frames, n_bins = _core.stft(y, n_fft, hop, win, center)
    padded = len(y) + (2 * (n_fft // 2) if center else 0)
    assert n_bins == n_fft // 2 + 1
    assert n_frames == frame_count(padded, n_fft, step)
    assert len(values) == n_frames * n_bins * 2
    if (n_fft if win is None else win) != 1:  # a one-sample window is NaN by definition
        assert all(math.isfinite(v) for v in values)


@fuzz_settings(100)
@given(data=st.data(), n_frames=st.integers(0, 6), n_bins=st.integers(1, 33), hop=st.integers(0, 40),
       win=st.integers(0, 80), center=st.booleans())
def test_istft_layout(data, n_frames, n_bins, hop, win, center, internal_error_type):
    re, im = matrix(data, n_frames, n_bins), matrix(data, n_frames, n_bins)
    out = _core.istft(re, im, n_frames, n_bins, hop, win, center)
    n_fft = 2 * n_bins - 2
    length = 0 if n_frames == 0 else n_fft + (n_frames - 1) * hop
    if center and length > n_fft:
        length -= 2 * (n_fft // 2)
    assert len(out) == length
    if n_frames:
        with quiet_stderr(), pytest.raises(internal_error_type):
            _core.istft(re, im[:n_frames * n_bins - 1], n_frames, n_bins, hop, win, center)


@fuzz_settings(100)
@given(s=st.lists(floats32(-1e30, 1e30), max_size=40), power=st.booleans(),
       amin=floats32(1e-20, 1e-3))
def test_decibels_round_trip_to_the_floored_magnitude(s, power, amin):
    to_db, from_db = (_core.power_to_db, _core.db_to_power) if power else (_core.amplitude_to_db, _core.db_to_amplitude)
    back = from_db(to_db(s, amin=amin))
    assert len(back) == len(s)
    for x, b in zip(s, back):
        assert math.isclose(b, max(abs(x), amin), rel_tol=5e-5), (x, b)


@fuzz_settings(100)
@given(s=st.lists(floats32(0.0, 1e30), max_size=40), top_db=floats32(0.0, 200.0))
def test_top_db_raises_exactly_the_values_below_the_floor(s, top_db):
    plain = _core.amplitude_to_db(s)
    clipped = _core.amplitude_to_db(s, top_db=top_db)
    if not s:
        assert clipped == []
        return
    floor = float(f32(max(plain)) - f32(top_db))
    assert clipped == [max(v, floor) for v in plain]


@fuzz_settings(100)
@given(x=st.lists(unit32, max_size=40), mu=floats32(1.0, 1e4))
def test_mu_law_round_trip_and_quantised_steps(x, mu):
    back = _core.mu_expand(_core.mu_compress(x, mu), mu)
    for v, b in zip(x, back, strict=True):
        # The expansion multiplies the compressed value's rounding by ln(1 + mu); near zero the
        # power (1 + mu)^y rounds to 1 and the value to 0, an error of at most 1/mu units.
        assert abs(b - v) <= 4 * EPSILON32 * (math.log1p(mu) * abs(v) + 1.0 / mu), (v, b)
        assert math.copysign(1.0, b) == math.copysign(1.0, v) or b == 0.0
    levels = f32(1.0) + f32(mu)
    half = int(levels * f32(0.5))
    steps = _core.mu_compress(x, mu, quantize=True)
    assert all(s == int(s) and -half <= s <= int(levels) - half for s in steps)


@fuzz_settings(100)
@given(data=st.data(), n_channels=st.integers(1, 6), n_samples=st.integers(0, 30))
def test_to_mono_is_the_sequential_channel_mean(data, n_channels, n_samples):
    y = data.draw(st.lists(samples32, min_size=n_channels * n_samples, max_size=n_channels * n_samples))
    inverse = f32(1.0) / f32(n_channels)
    expected = []
    for i in range(n_samples):
        acc = f32(-0.0)
        for c in range(n_channels):
            acc = acc + f32(y[c * n_samples + i])
        expected.append(float(acc * inverse))
    assert_same(_core.to_mono(y, n_channels), expected)


@fuzz_settings(100)
@given(y=st.lists(samples32, max_size=40), orig=floats32(1.0, 1e4), target=floats32(1.0, 1e4))
def test_resample_length(y, orig, target):
    out = _core.resample(y, orig, target)
    if abs(f32(orig) - f32(target)) < f32(1e-6):
        assert out == y
        return
    ratio = f32(target) / f32(orig)
    assert len(out) == math.ceil(f32(len(y)) * ratio)
    if y:
        assert out[0] == y[0]


@fuzz_settings(100)
@given(y=st.lists(samples32, max_size=80), frame_length=st.integers(0, 50), hop=st.integers(0, 20),
       threshold=floats32(0.0, 1.0), max_size=st.one_of(st.none(), st.integers(0, 100)))
def test_time_domain_lengths_and_ranges(y, frame_length, hop, threshold, max_size):
    rms = _core.get_rms(y, frame_length, hop)
    assert len(rms) == (0 if not (frame_length and hop) else frame_count(len(y), frame_length, hop))
    assert all(v >= 0.0 for v in rms)

    flags = _core.zero_crossings(y, threshold)
    signs = [0.0 if abs(v) <= threshold else math.copysign(1.0, v) for v in y]
    signs = [math.copysign(1.0, s) for s in signs]  # within the threshold counts as +0.0
    assert flags[1:] == [a != b for a, b in zip(signs, signs[1:])]
    assert len(flags) == len(y) and all(type(f) is bool for f in flags)

    lags = _core.autocorrelate(y, max_size)
    assert len(lags) == (len(y) if max_size is None else min(len(y), max_size))
    energy = math.fsum(v * v for v in y)
    if lags:
        assert math.isclose(lags[0], energy, rel_tol=1e-4, abs_tol=1e-30)
        assert all(abs(r) <= lags[0] * (1 + 1e-4) + 1e-30 for r in lags)


@fuzz_settings(100)
@given(sr=floats32(1.0, 1e5), n_fft=st.integers(0, 128), n_mels=st.integers(0, 40),
       fmin=floats32(-1e4, 5e4), fmax=st.one_of(st.none(), floats32(-1e4, 1e5)),
       htk=st.booleans())
def test_mel_filterbank_weights_are_contiguous_triangles_in_the_unit_range(sr, n_fft, n_mels, fmin, fmax, htk):
    n_bins = n_fft // 2 + 1
    weights = _core.mel_filterbank(sr, n_fft, n_mels, fmin, fmax, htk)
    assert len(weights) == n_mels * n_bins
    assert all(0.0 <= w <= 1.0 for w in weights)
    for m in range(n_mels):
        nonzero = [k for k in range(n_bins) if weights[m * n_bins + k] != 0.0]
        assert nonzero == list(range(nonzero[0], nonzero[-1] + 1)) if nonzero else True


@fuzz_settings(100)
@given(data=st.data(), n_frames=st.integers(0, 6), n_bins=st.integers(0, 10), n_mels=st.integers(0, 9),
       n_mfcc=st.integers(0, 12))
def test_mel_projection_and_cepstrum_layouts(data, n_frames, n_bins, n_mels, n_mfcc):
    mag, fb = matrix(data, n_frames, n_bins), matrix(data, n_mels, n_bins)
    expected = [0.0] * (n_mels * n_frames)
    for t in range(n_frames):
        for j in range(n_mels):
            acc = f32(0.0)
            for b in range(n_bins):
                acc = acc + f32(fb[j * n_bins + b]) * f32(mag[t * n_bins + b])
            expected[j * n_frames + t] = float(acc)
    mel = _core.melspectrogram(mag, fb, n_frames, n_bins, n_mels)
    assert_same(mel, expected)

    n_out = min(n_mfcc, n_mels)
    expected = [0.0] * (n_out * n_frames)
    for t in range(n_frames):
        for k in range(n_out):
            a = f32(k) * f32(math.pi)
            acc = f32(0.0)
            for n in range(n_mels):
                angle = ((f32(n) + f32(0.5)) * a) / f32(n_mels)
                acc = acc + cosf(angle) * f32(mel[n * n_frames + t])
            expected[k * n_frames + t] = float(acc)
    assert_same(_core.mfcc(mel, n_mels, n_frames, n_mfcc), expected)


@fuzz_settings(100)
@given(data=st.data(), n_frames=st.integers(0, 5), n_bins=st.integers(0, 40), sr=st.floats(1000.0, 48000.0),
       n_fft=st.integers(1, 128), tuning=st.floats(-1.0, 1.0))
def test_chroma_frames_have_unit_length_or_are_left_as_they_are(data, n_frames, n_bins, sr, n_fft, tuning):
    mag = matrix(data, n_frames, n_bins, magnitude32)
    chroma = _core.chroma_stft(mag, sr, n_fft, n_frames, n_bins, tuning)
    assert len(chroma) == 12 * n_frames
    assert all(v >= 0.0 for v in chroma)
    for t in range(n_frames):
        norm = math.sqrt(math.fsum(chroma[c * n_frames + t] ** 2 for c in range(12)))
        # Normalised frames have length 1 within rounding; a frame whose length did not exceed
        # the floor 1e-8 keeps its class sums, so its length is still at most that.
        assert abs(norm - 1.0) < 1e-5 or norm <= 1e-8 * (1 + 1e-6), norm


@fuzz_settings(100)
@given(data=st.data(), n_frames=st.integers(0, 5), n_bins=st.integers(1, 20), sr=floats32(1.0, 48000.0),
       n_fft=st.integers(1, 64), p=st.floats(0.5, 4.0), roll_percent=st.floats(0.01, 1.0))
def test_spectral_shape_ranges(data, n_frames, n_bins, sr, n_fft, p, roll_percent):
    mag = matrix(data, n_frames, n_bins, magnitude32)
    args = (mag, sr, n_fft, n_frames, n_bins)
    freq = [float(f32(k) * f32(sr) / f32(n_fft)) for k in range(n_bins)]
    centroid = _core.spectral_centroid(*args)
    bandwidth = _core.spectral_bandwidth(*args, p=p)
    rolloff = _core.spectral_rolloff(*args, roll_percent=roll_percent)
    flatness = _core.spectral_flatness(mag, n_frames, n_bins)
    assert len(centroid) == len(bandwidth) == len(rolloff) == len(flatness) == n_frames
    assert all(c == 0.0 or freq[0] <= c <= freq[-1] * (1 + 1e-5) for c in centroid)
    assert all(b >= 0.0 for b in bandwidth)
    assert all(r in freq for r in rolloff)
    assert all(f >= 0.0 for f in flatness)


@fuzz_settings(100)
@given(data=st.data(), n_frames=st.integers(0, 6), n_bins=st.integers(0, 10))
def test_onset_strength_sums_the_rises(data, n_frames, n_bins):
    mag = matrix(data, n_frames, n_bins)
    expected = [0.0] * min(n_frames, 1)
    for t in range(1, n_frames):
        flux = f32(-0.0)
        for k in range(n_bins):
            rise = f32(mag[t * n_bins + k]) - f32(mag[(t - 1) * n_bins + k])
            flux = flux + (rise if rise > 0 else f32(0.0))
        expected.append(float(flux))
    assert_same(_core.onset_strength(mag, n_frames, n_bins), expected)


@fuzz_settings(100)
@given(y=st.lists(unit32, max_size=120), frame_length=st.integers(4, 64), sr=floats32(1000.0, 48000.0),
       fmin=floats32(10.0, 5000.0), octaves=st.floats(0.1, 5.0), hop=st.one_of(st.none(), st.integers(1, 16)),
       threshold=floats32(0.0, 1.0))
def test_yin_estimates_are_whole_lags_in_range(y, frame_length, sr, fmin, octaves, hop, threshold):
    fmax = float(f32(fmin * 2.0**octaves))
    assume(f32(fmax) > f32(fmin))
    min_period = math.floor(f32(sr) / f32(fmax))
    max_period = min(frame_length // 2, math.ceil(f32(sr) / f32(fmin)))
    if min_period >= max_period:
        with pytest.raises(ValueError, match="^fmin/fmax/frame_length combination is invalid$"):
            _core.yin(y, fmin, fmax, sr, frame_length, hop, threshold)
        return
    pitches = _core.yin(y, fmin, fmax, sr, frame_length, hop, threshold)
    assert len(pitches) == frame_count(len(y), frame_length, frame_length // 4 if hop is None else hop)
    candidates = {float(f32(sr) / f32(lag)) for lag in range(max(min_period, 1), max_period + 1)}
    assert all(v == 0.0 or v in candidates for v in pitches)


@fuzz_settings(100)
@given(f=st.lists(st.floats(0.0, 1e6), max_size=40), notes=st.lists(st.floats(-200.0, 200.0), max_size=40),
       htk=st.booleans())
def test_scale_conversions_round_trip_within_rounding(f, notes, htk):
    back = _core.mel_to_hz(_core.hz_to_mel(f, htk), htk)
    assert all(math.isclose(b, v, rel_tol=1e-12, abs_tol=1e-9) for v, b in zip(f, back, strict=True))
    positive = [v for v in f if v > 1e-3]
    back = _core.midi_to_hz(_core.hz_to_midi(positive))
    assert all(math.isclose(b, v, rel_tol=1e-12) for v, b in zip(positive, back, strict=True))
    back = _core.hz_to_midi(_core.midi_to_hz(notes))
    assert all(math.isclose(b, v, rel_tol=1e-12, abs_tol=1e-11) for v, b in zip(notes, back, strict=True))


@fuzz_settings(100)
@given(indices=st.lists(st.integers(-2**40, 2**40), max_size=40), hop=st.integers(1, 4096),
       n_fft=st.one_of(st.none(), st.integers(-4096, 4096)), sr=st.floats(1.0, 2e5))
def test_grid_conversions_round_trip_and_compose(indices, hop, n_fft, sr):
    samples = _core.frames_to_samples(indices, hop, n_fft)
    assert _core.samples_to_frames(samples, hop, n_fft) == indices
    assert _core.frames_to_time(indices, sr, hop, n_fft) == _core.samples_to_time(samples, sr)
    times = _core.samples_to_time(indices, sr)
    assert _core.time_to_samples(times, sr) == indices
    assert _core.time_to_frames(times, sr, hop, n_fft) == _core.samples_to_frames(indices, hop, n_fft)
