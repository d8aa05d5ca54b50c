// The one road every call takes: match and convert the arguments, run the function body,
// build the result, and turn every failure into a Python exception.
#pragma once

#include <Python.h>

#include "binding/signature.hpp"

namespace sonavera::binding {

PyObject* call(const Function& function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace sonavera::binding
