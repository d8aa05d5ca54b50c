#include "binding/results.hpp"

#include "binding/python_ref.hpp"
#include "common/failure.hpp"

namespace sonavera::binding {
namespace {

Ref created(PyObject* object) {
  if (object == nullptr) {
    PyErr_Print();
    fail_internal("Python API call failed");
  }
  return Ref(object);
}

// A list created at its final length and filled in order.
template <class T, class Make>
PyObject* build_list(const std::vector<T>& values, Make make) {
  Ref list = created(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), created(make(values[i])).release());
  }
  return list.release();
}

}  // namespace

PyObject* to_python(const std::vector<float>& values) {
  // Widened, not rounded again: a single-precision 0.1 reads back as 0.10000000149011612.
  return build_list(values, [](float v) { return PyFloat_FromDouble(static_cast<double>(v)); });
}

PyObject* to_python(const std::vector<double>& values) {
  return build_list(values, [](double v) { return PyFloat_FromDouble(v); });
}

PyObject* to_python(const std::vector<std::int64_t>& values) {
  return build_list(values, [](std::int64_t v) { return PyLong_FromLongLong(v); });
}

PyObject* to_python_flags(const std::vector<std::uint8_t>& flags) {
  return build_list(flags, [](std::uint8_t v) { return Py_NewRef(v != 0 ? Py_True : Py_False); });
}

PyObject* to_python(const dsp::StftResult& result) {
  Ref values(to_python(result.values));
  Ref n_frames = created(PyLong_FromUnsignedLongLong(result.n_frames));
  Ref n_bins = created(PyLong_FromUnsignedLongLong(result.n_bins));
  Ref tuple = created(PyTuple_New(3));
  PyTuple_SET_ITEM(tuple.get(), 0, values.release());
  PyTuple_SET_ITEM(tuple.get(), 1, n_frames.release());
  PyTuple_SET_ITEM(tuple.get(), 2, n_bins.release());
  return tuple.release();
}

}  // namespace sonavera::binding
