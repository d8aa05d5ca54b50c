"""Single-precision functions of the C library, for models that must agree to the last bit.

numpy's float32 logarithms and powers may round differently from the C library's, which the
native core uses; these wrappers call the C library itself.
"""

import ctypes
import ctypes.util

import numpy as np

_libm = ctypes.CDLL(ctypes.util.find_library("m"))


def _unary(name):
    function = getattr(_libm, name)
    function.restype = ctypes.c_float
    function.argtypes = [ctypes.c_float]
    return lambda x: np.float32(function(np.float32(x)))


def _binary(name):
    function = getattr(_libm, name)
    function.restype = ctypes.c_float
    function.argtypes = [ctypes.c_float, ctypes.c_float]
    return lambda x, y: np.float32(function(np.float32(x), np.float32(y)))


log10f = _unary("log10f")
logf = _unary("logf")
powf = _binary("powf")
