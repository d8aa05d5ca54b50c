"""Every function of the module with the kinds of its parameters and of its result, and a
sample of well-formed and of failing calls for each, shared by the robustness tests."""

import contextlib
import math
import os
from dataclasses import dataclass, field

import numpy as np

from sonavera import _core

# Parameter kinds: the arrays, the scalars, and the optional forms (None means the default).
FLOATS, DOUBLES, INDICES = "float array", "double array", "index array"
F32, F64, SIZE, INT64, FLAG = "float32", "float64", "size", "int64", "flag"
OPT_F32, OPT_SIZE, OPT_INT64 = "optional float32", "optional size", "optional int64"
ARRAY_KINDS = (FLOATS, DOUBLES, INDICES)

SPECTRAL = [("stft_mag", FLOATS), ("sr", F32), ("n_fft", SIZE), ("n_frames", SIZE), ("n_bins", SIZE)]
FRAME_MATRIX = [("stft_mag", FLOATS), ("n_frames", SIZE), ("n_bins", SIZE)]
TO_DB = [("s", FLOATS), ("ref_val", F32), ("amin", F32), ("top_db", OPT_F32)]
FROM_DB = [("s_db", FLOATS), ("ref_val", F32)]
MU_LAW = [("x", FLOATS), ("mu", F32), ("quantize", FLAG)]

# name -> ([(parameter, kind), ...] in signature order, result kind)
FUNCTIONS = {
    "stft": ([("y", FLOATS), ("n_fft", SIZE), ("hop_length", OPT_SIZE), ("win_length", OPT_SIZE),
              ("center", FLAG)], "stft"),
    "istft": ([("stft_re", FLOATS), ("stft_im", FLOATS), ("n_frames", SIZE), ("n_bins", SIZE),
               ("hop_length", SIZE), ("win_length", SIZE), ("center", FLAG)], float),
    "amplitude_to_db": (TO_DB, float),
    "power_to_db": (TO_DB, float),
    "db_to_amplitude": (FROM_DB, float),
    "db_to_power": (FROM_DB, float),
    "zero_crossings": ([("y", FLOATS), ("threshold", F32), ("pad", FLAG)], bool),
    "autocorrelate": ([("y", FLOATS), ("max_size", OPT_SIZE)], float),
    "mu_compress": (MU_LAW, float),
    "mu_expand": (MU_LAW, float),
    "to_mono": ([("y_flat", FLOATS), ("n_channels", SIZE)], float),
    "resample": ([("y", FLOATS), ("orig_sr", F32), ("target_sr", F32)], float),
    "get_rms": ([("y", FLOATS), ("frame_length", SIZE), ("hop_length", SIZE)], float),
    "mel_filterbank": ([("sr", F32), ("n_fft", SIZE), ("n_mels", SIZE), ("fmin", F32),
                        ("fmax", OPT_F32), ("htk", FLAG)], float),
    "melspectrogram": ([("stft_mag", FLOATS), ("mel_fb", FLOATS), ("n_frames", SIZE), ("n_bins", SIZE),
                        ("n_mels", SIZE)], float),
    "mfcc": ([("log_mel", FLOATS), ("n_mels", SIZE), ("n_frames", SIZE), ("n_mfcc", SIZE)], float),
    "chroma_stft": (SPECTRAL + [("tuning", F32)], float),
    "spectral_centroid": (SPECTRAL, float),
    "spectral_bandwidth": (SPECTRAL + [("p", F32)], float),
    "spectral_rolloff": (SPECTRAL + [("roll_percent", F32)], float),
    "spectral_flatness": (FRAME_MATRIX, float),
    "onset_strength": (FRAME_MATRIX, float),
    "yin": ([("y", FLOATS), ("fmin", F32), ("fmax", F32), ("sr", F32), ("frame_length", SIZE),
             ("hop_length", OPT_SIZE), ("trough_threshold", F32)], float),
    "hz_to_mel": ([("frequencies", DOUBLES), ("htk", FLAG)], float),
    "mel_to_hz": ([("mels", DOUBLES), ("htk", FLAG)], float),
    "hz_to_midi": ([("frequencies", DOUBLES)], float),
    "midi_to_hz": ([("notes", DOUBLES)], float),
    "frames_to_samples": ([("frames", INDICES), ("hop_length", INT64), ("n_fft", OPT_INT64)], int),
    "frames_to_time": ([("frames", INDICES), ("sr", F64), ("hop_length", INT64), ("n_fft", OPT_INT64)], float),
    "samples_to_frames": ([("samples", INDICES), ("hop_length", INT64), ("n_fft", OPT_INT64)], int),
    "samples_to_time": ([("samples", INDICES), ("sr", F64)], float),
    "time_to_frames": ([("times", DOUBLES), ("sr", F64), ("hop_length", INT64), ("n_fft", OPT_INT64)], int),
    "time_to_samples": ([("times", DOUBLES), ("sr", F64)], int),
}


class HostileError(Exception):
    """Raised by the misbehaving argument objects below; it must reach the caller unchanged."""


def _value_or_raise(value):
    # A fresh exception every time: raising one instance again would chain its tracebacks.
    if isinstance(value, BaseException):
        raise type(value)(*value.args)
    return value


class Number:
    """A number that is not a float: it goes through the float protocol."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return _value_or_raise(self.value)

    def __repr__(self):
        return f"Number({self.value!r})"


class Index:
    """An integer that is not an int: it goes through the index protocol."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return _value_or_raise(self.value)

    def __repr__(self):
        return f"Index({self.value!r})"


def result_is_well_formed(name, result):
    """The result has the type its function promises: a list of floats, ints or bools, or the
    tuple of stft with its length matching the frame and bin counts."""
    kind = FUNCTIONS[name][1]
    if kind == "stft":
        assert type(result) is tuple and len(result) == 3
        values, n_frames, n_bins = result
        assert type(n_frames) is int and type(n_bins) is int
        assert len(values) == n_frames * n_bins * 2
        result, kind = values, float
    assert type(result) is list
    assert all(type(v) is kind for v in result), f"{name} returned an element that is not {kind.__name__}"
    return True


@dataclass
class Call:
    name: str
    args: tuple = ()
    kwargs: dict = field(default_factory=dict)
    raises: type | str | None = None  # an exception class, "internal", or None for a result

    def __call__(self):
        return getattr(_core, self.name)(*self.args, **self.kwargs)

    def objects(self):
        """The argument objects and the objects inside them, whose references a call must
        give back: the containers, their non-float elements and the scalar objects."""
        found = []
        for value in [*self.args, *self.kwargs.values()]:
            found.append(value)
            if isinstance(value, (list, tuple)):
                found.extend(v for v in value if type(v) is not float)
        return found


def signal(n, seed=0):
    return [math.sin(0.37 * i + seed) * (1.0 + 0.1 * (i % 7)) for i in range(n)]


def magnitudes(n, seed=0):
    return [abs(v) for v in signal(n, seed)]


def with_objects(values):
    """The same values with every eleventh one wrapped in an object of its own (the float
    protocol) and every thirteenth an int, so conversions take every path of the element rule."""
    out = list(values)
    for i in range(5, len(out), 13):
        out[i] = int(out[i] * 8)
    for i in range(0, len(out), 11):
        out[i] = Number(float(out[i]))
    return out


def bad_tail(values, bad="x"):
    """A well-formed array whose last element fails to convert, after all the others did."""
    return list(values[:-1]) + [bad]


def well_formed_calls():
    """One call per function with arrays of a few hundred elements, mixing lists, tuples,
    NumPy arrays and element objects, and passing most parameters by keyword."""
    y = with_objects(signal(256))
    mag = with_objects(magnitudes(8 * 33, 1))
    fb = np.asarray(magnitudes(16 * 33, 2), dtype=np.float32)
    log_mel = tuple(signal(16 * 8, 3))
    frames = [i * 3 - 40 for i in range(200)]
    times = with_objects([i * 0.013 - 0.5 for i in range(200)])
    return {c.name: c for c in [
        Call("stft", (y,), {"n_fft": 64, "hop_length": Index(16), "win_length": None, "center": True}),
        Call("istft", (with_objects(signal(5 * 33, 4)), signal(5 * 33, 5), 5, 33),
             {"hop_length": 16, "win_length": 64}),
        Call("amplitude_to_db", (mag,), {"ref_val": Number(2.0), "top_db": 80.0}),
        Call("power_to_db", (np.asarray(magnitudes(256), dtype=np.float64),), {"amin": 1e-8}),
        Call("db_to_amplitude", (y,), {"ref_val": 0.5}),
        Call("db_to_power", (tuple(signal(256)),)),
        Call("zero_crossings", (y,), {"threshold": 0.01, "pad": np.bool_(False)}),
        Call("autocorrelate", (y,), {"max_size": 32}),
        Call("mu_compress", (y,), {"mu": 255.0, "quantize": True}),
        Call("mu_expand", (y,), {"quantize": False}),
        Call("to_mono", (y, Index(4))),
        Call("resample", (y, 22050.0, Number(16000.0))),
        Call("get_rms", (y,), {"frame_length": 32, "hop_length": 16}),
        Call("mel_filterbank", (22050.0, 64), {"n_mels": 16, "fmin": 20, "fmax": None, "htk": True}),
        Call("melspectrogram", (mag, fb, 8, 33, 16)),
        Call("mfcc", (log_mel, 16, 8, 13)),
        Call("chroma_stft", (mag, 22050.0, 64, 8, 33), {"tuning": 0.25}),
        Call("spectral_centroid", (mag, 22050.0, 64, 8, 33)),
        Call("spectral_bandwidth", (mag, 22050.0, 64, 8, 33), {"p": 1.5}),
        Call("spectral_rolloff", (mag, 22050.0, 64, 8, 33), {"roll_percent": 0.9}),
        Call("spectral_flatness", (mag, 8, 33)),
        Call("onset_strength", (mag, 8, 33)),
        Call("yin", (signal(512), 200.0, 2000.0), {"sr": 22050.0, "frame_length": 128, "hop_length": 64}),
        Call("hz_to_mel", (with_objects([i * 37.0 for i in range(200)]),), {"htk": False}),
        Call("mel_to_hz", (times,), {"htk": True}),
        Call("hz_to_midi", (np.arange(1.0, 201.0),)),
        Call("midi_to_hz", (times,)),
        Call("frames_to_samples", (frames,), {"hop_length": Index(512), "n_fft": 2048}),
        Call("frames_to_time", (np.asarray(frames, dtype=np.int64),), {"sr": 22050.0}),
        Call("samples_to_frames", (frames,), {"hop_length": 256, "n_fft": None}),
        Call("samples_to_time", (tuple(frames),), {"sr": Number(16000.0)}),
        Call("time_to_frames", (times,), {"sr": 22050.0, "hop_length": 512, "n_fft": 1024}),
        Call("time_to_samples", (times,)),
    ]}


def failing_calls():
    """For each function a few calls that fail at different stages: while converting an array
    (after part of it was built), while converting a later argument (after the arrays were
    built), and in the computation (a ValueError or an internal error) where the function has
    such a failure. Each carries the exception it must raise."""
    valid = well_formed_calls()
    calls = {}
    for name, call in valid.items():
        params = FUNCTIONS[name][0]
        variants = []
        first_array = next((i for i, (_, kind) in enumerate(params) if kind in ARRAY_KINDS), None)
        if first_array is not None:
            args = list(call.args)
            bad = Number(HostileError("no value")) if params[first_array][1] != INDICES else 1.5
            args[first_array] = bad_tail(list(args[first_array]), bad)
            raises = HostileError if params[first_array][1] != INDICES else TypeError
            variants.append(Call(name, tuple(args), call.kwargs, raises))
        last_name = params[-1][0]
        if len(params) > 1:
            kwargs = dict(call.kwargs)
            positional = len(call.args) > len(params) - 1
            args = call.args[:-1] if positional else call.args
            kwargs[last_name] = "x"
            variants.append(Call(name, args, kwargs, TypeError))
        calls[name] = variants

    y = signal(256)
    mag = magnitudes(8 * 33)
    extra = [
        Call("stft", (y,), {"n_fft": 0}, ValueError),
        Call("stft", (y,), {"n_fft": 64, "hop_length": -1}, OverflowError),
        Call("istft", (signal(5 * 33), signal(5 * 33 - 1), 5, 33), {}, "internal"),
        Call("istft", (y, y, 1, 0), {}, ValueError),
        Call("mu_compress", (y,), {"mu": 0.0}, ValueError),
        Call("mu_expand", (y,), {"mu": -1.0}, ValueError),
        Call("to_mono", (y, 3), {}, ValueError),
        Call("resample", (y, 0.0, 1.0), {}, ValueError),
        Call("melspectrogram", (mag, mag, 8, 33, 16), {}, "internal"),
        Call("mfcc", (y, 16, 17, 13), {}, "internal"),
        Call("chroma_stft", (mag, 22050.0, 64, 9, 33), {}, "internal"),
        Call("spectral_centroid", (mag, 22050.0, 64, 9, 33), {}, "internal"),
        Call("spectral_bandwidth", (mag, 22050.0, 64, 9, 33), {}, "internal"),
        Call("spectral_rolloff", (mag, 22050.0, 64, 1, 0), {}, "internal"),
        Call("spectral_flatness", (mag, 9, 33), {}, "internal"),
        Call("onset_strength", (mag, 9, 33), {}, "internal"),
        Call("yin", (y, 200.0, 100.0), {}, ValueError),
        Call("yin", (y, 200.0, 2000.0), {"frame_length": 64, "hop_length": 0}, "internal"),
        Call("samples_to_frames", ([1, 2, 3],), {"hop_length": 0}, "internal"),
        Call("time_to_frames", ([0.5],), {"hop_length": Index(HostileError("no index"))}, HostileError),
        Call("frames_to_samples", ([2**63],), {}, OverflowError),
        Call("hz_to_mel", ([1.0, None],), {"htk": True}, TypeError),
        Call("hz_to_midi", ([1.0, 2**1100],), {}, OverflowError),
        Call("mel_to_hz", (5.0,), {}, TypeError),
        Call("zero_crossings", ("abc",), {}, TypeError),
        Call("autocorrelate", (y,), {"max_size": 2**64}, OverflowError),
        Call("get_rms", (y,), {"frame_length": None}, TypeError),
        Call("mel_filterbank", (22050.0,), {"n_fft": 64, "n_mels": 2**64 - 1}, "internal"),
        Call("amplitude_to_db", (y,), {"ref_val": Number(HostileError("no value"))}, HostileError),
        Call("power_to_db", (y,), {"top_db": "80"}, TypeError),
        Call("db_to_power", (y, 1.0, 2.0), {}, TypeError),
        Call("db_to_amplitude", (), {"s_db": y, "ref": 1.0}, TypeError),
        Call("midi_to_hz", ([Number(1.0), Number("x")],), {}, TypeError),
        Call("frames_to_time", ([1, 2],), {"sr": None}, TypeError),
        Call("samples_to_time", (iter([1, 2]),), {}, TypeError),
        Call("time_to_samples", ([0.1], 22050.0, 3), {}, TypeError),
    ]
    for call in extra:
        calls[call.name].append(call)
    return calls


@contextlib.contextmanager
def quiet_stderr():
    """Internal errors write a diagnostic each to the standard error stream; thousands of them
    go nowhere here."""
    with open(os.devnull, "w") as devnull, contextlib.redirect_stderr(devnull):
        yield
