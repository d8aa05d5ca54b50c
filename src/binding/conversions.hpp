// Conversion of one Python object into a native value, one function per kind. Each either
// returns the value or sets a Python exception and throws PythonErrorSet.
#pragma once

#include <Python.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sonavera::binding {

std::vector<float> to_float_array(PyObject* object);
std::vector<double> to_double_array(PyObject* object);
std::vector<std::int64_t> to_index_array(PyObject* object);
double to_float64(PyObject* object);
float to_float32(PyObject* object);
std::uint64_t to_size(PyObject* object);
std::int64_t to_int64(PyObject* object);
bool to_flag(PyObject* object);

// The qualified name of an object's type, as the conversion messages show it.
std::string type_name(PyObject* object);

}  // namespace sonavera::binding
