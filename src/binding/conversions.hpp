// Conversion of one Python object into a native value, one function per kind. Each either
// returns the value or sets a Python exception and throws PythonErrorSet.
#pragma once

#include <Python.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sonavera::binding {

// An exported buffer of a Python object, released when the last holder lets go. While it is
// held the object cannot be resized, so its memory stays valid.
class BufferView {
 public:
  explicit BufferView(PyObject* object);  // check acquired() afterwards
  ~BufferView();
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;

  bool acquired() const noexcept { return acquired_; }
  // The items as a one-dimensional, contiguous run of `Item` in native byte order with the given
  // struct format, or an empty span with a null data pointer when the buffer is anything else.
  template <class Item>
  std::span<const Item> items(const char* format) const;

 private:
  Py_buffer view_{};
  bool acquired_ = false;
};

// The converted items of an array argument: an owned array, or — for a NumPy array or an
// array.array whose items already have the native type — a view of the caller's buffer, which
// saves the copy. A view is only kept while no Python code can run (see Arguments).
template <class T>
class ArrayArgument {
 public:
  ArrayArgument() = default;
  explicit ArrayArgument(std::vector<T> owned) : owned_(std::move(owned)), items_(owned_) {}
  ArrayArgument(std::shared_ptr<BufferView> view, std::span<const T> items) : view_(std::move(view)), items_(items) {}
  ArrayArgument(ArrayArgument&& other) noexcept { *this = std::move(other); }
  ArrayArgument& operator=(ArrayArgument&& other) noexcept {
    const bool borrowed = other.borrowed();
    owned_ = std::move(other.owned_);
    view_ = std::move(other.view_);
    items_ = borrowed ? other.items_ : std::span<const T>(owned_);
    other.items_ = {};
    return *this;
  }

  std::span<const T> items() const noexcept { return items_; }
  bool borrowed() const noexcept { return view_ != nullptr; }
  // Copies borrowed items into an owned array and lets the buffer go.
  void own() {
    if (!borrowed()) return;
    owned_.assign(items_.begin(), items_.end());
    items_ = owned_;
    view_.reset();
  }
  std::vector<T> take() {
    own();
    items_ = {};
    return std::move(owned_);
  }

 private:
  std::vector<T> owned_;
  std::shared_ptr<BufferView> view_;
  std::span<const T> items_;
};

ArrayArgument<float> to_float_array(PyObject* object);
ArrayArgument<double> to_double_array(PyObject* object);
ArrayArgument<std::int64_t> to_index_array(PyObject* object);

// False only for objects whose conversion runs no Python code of the caller's: None, True,
// False, exact ints and floats, and arrays whose buffer is read directly.
bool may_run_python_code(PyObject* object);
double to_float64(PyObject* object);
float to_float32(PyObject* object);
std::uint64_t to_size(PyObject* object);
std::int64_t to_int64(PyObject* object);
bool to_flag(PyObject* object);

// The qualified name of an object's type, as the conversion messages show it.
std::string type_name(PyObject* object);

}  // namespace sonavera::binding
