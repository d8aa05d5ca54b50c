// Owning references to Python objects. Every reference the binding takes is held by one of
// these, so that any early return or exception releases it.
#pragma once

#include <Python.h>

#include <utility>

namespace sonavera::binding {

class Ref {
 public:
  Ref() noexcept = default;
  explicit Ref(PyObject* owned) noexcept : object_(owned) {}  // takes over a new reference
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Py_XDECREF(std::exchange(object_, std::exchange(other.object_, nullptr)));
    return *this;
  }
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  PyObject* object_ = nullptr;
};

// Thrown after a Python exception has been set: the call path only has to return null.
struct PythonErrorSet {};

// Throws PythonErrorSet when `object` is null (a failed API call), otherwise owns it.
inline Ref checked(PyObject* object) {
  if (object == nullptr) throw PythonErrorSet{};
  return Ref(object);
}

}  // namespace sonavera::binding
