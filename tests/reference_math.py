"""Exact arithmetic for the reference models of the feature tests.

NumPy's float32 add, subtract, multiply and divide are correctly rounded IEEE operations, so a
model written with np.float32 scalars or arrays reproduces single-precision arithmetic exactly,
as long as every sum is an explicit loop (np.sum adds pairwise, in another order). NumPy's own
float32 transcendental functions may differ from the C library's in the last bit, and Python's
math module raises where the C library returns an infinity or a NaN, so the models call the C
library's functions through ctypes instead, in the precision under test.
"""

import ctypes
import ctypes.util
import math
import struct

import numpy as np

f32 = np.float32

_libm = ctypes.CDLL(ctypes.util.find_library("m"))


def _c_function(name, arity, ctype, wrap):
    fn = getattr(_libm, name)
    fn.restype = ctype
    fn.argtypes = [ctype] * arity

    def call(*args):
        return wrap(fn(*(float(a) for a in args)))

    call.__name__ = name
    return call


def _single(name, arity=1):
    return _c_function(name, arity, ctypes.c_float, f32)


def _double(name, arity=1):
    return _c_function(name, arity, ctypes.c_double, float)


cosf, expf, exp2f, logf, log2f, log10f, roundf, sqrtf = (
    _single(name) for name in ("cosf", "expf", "exp2f", "logf", "log2f", "log10f", "roundf", "sqrtf")
)
powf = _single("powf", 2)

exp, exp2, log, log2, log10 = (_double(name) for name in ("exp", "exp2", "log", "log2", "log10"))
pow_ = _double("pow", 2)


def f32_list(values):
    """Python floats rounded to single precision, as the module converts its float arrays."""
    return [float(f32(v)) for v in values]


def same(a, b):
    """Equal to the bit, except that any NaN matches any NaN; so -0.0 differs from +0.0."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return struct.pack("<d", a) == struct.pack("<d", b)


def assert_same(actual, expected):
    assert len(actual) == len(expected)
    mismatches = [(i, a, e) for i, (a, e) in enumerate(zip(actual, expected)) if not same(a, e)]
    assert not mismatches, f"first mismatches (index, actual, expected): {mismatches[:5]}"
