// Native results -> new Python objects. A failure of the interpreter to create them is printed
// and becomes an internal failure ("Python API call failed").
#pragma once

#include <Python.h>

#include <cstdint>
#include <vector>

#include "dsp/spectral.hpp"

namespace sonavera::binding {

PyObject* to_python(const std::vector<float>& values);
PyObject* to_python(const std::vector<double>& values);
PyObject* to_python(const std::vector<std::int64_t>& values);
PyObject* to_python_flags(const std::vector<std::uint8_t>& flags);
PyObject* to_python(const dsp::StftResult& result);

}  // namespace sonavera::binding
