#include "binding/conversions.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "binding/python_ref.hpp"

namespace sonavera::binding {

BufferView::BufferView(PyObject* object) {
  acquired_ = PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) == 0;
  if (!acquired_) PyErr_Clear();  // not a buffer after all: the iteration decides
}

BufferView::~BufferView() {
  if (acquired_) PyBuffer_Release(&view_);
}

template <class Item>
std::span<const Item> BufferView::items(const char* format) const {
  if (!acquired_ || view_.ndim != 1 || view_.itemsize != static_cast<Py_ssize_t>(sizeof(Item)) ||
      view_.format == nullptr || std::strcmp(view_.format, format) != 0) {
    return {};
  }
  if (view_.shape[0] > 1 && view_.strides != nullptr && view_.strides[0] != view_.itemsize) return {};
  // A NumPy array may start at any byte; only naturally aligned items may be read in place.
  if (reinterpret_cast<std::uintptr_t>(view_.buf) % alignof(Item) != 0) return {};
  return {static_cast<const Item*>(view_.buf), static_cast<std::size_t>(view_.shape[0])};
}

namespace {

// A sequence's own length is only a capacity hint: a lying __len__ must not be able to force a
// huge allocation, so the reservation for anything but a list or tuple is capped here and the
// array grows past it if the iteration really yields more.
constexpr Py_ssize_t max_reserved_hint = Py_ssize_t{1} << 20;

[[noreturn]] void raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
  throw PythonErrorSet{};
}

[[noreturn]] void raise_cannot_convert(PyObject* object, const char* target) {
  raise_type_error("'" + type_name(object) + "' object cannot be converted to '" + target + "'");
}

double double_element(PyObject* item) {
  // Exact floats are read directly; anything else goes through the float protocol, which may
  // run Python code, so the item is kept alive across the call.
  if (PyFloat_CheckExact(item)) return PyFloat_AS_DOUBLE(item);
  Ref hold(Py_NewRef(item));
  double value = PyFloat_AsDouble(item);
  if (value == -1.0 && PyErr_Occurred()) throw PythonErrorSet{};
  return value;
}

float float_element(PyObject* item) {
  // Rounds to nearest; values beyond the single-precision range become infinities.
  return static_cast<float>(double_element(item));
}

std::int64_t index_element(PyObject* item) {
  Ref hold(Py_NewRef(item));
  long value = PyLong_AsLong(item);
  if (value == -1 && PyErr_Occurred()) throw PythonErrorSet{};
  return value;
}

// Exact NumPy arrays and `array.array`s (never subclasses) are read through the buffer
// protocol. Each element gets the value the iteration would give it: a float32 or float64 item
// read as a double and rounded like a Python float, an int64 item as itself.
bool is_plain_array(PyObject* object) {
  const char* name = Py_TYPE(object)->tp_name;
  return std::strcmp(name, "numpy.ndarray") == 0 || std::strcmp(name, "array.array") == 0;
}

// Items of the native type are borrowed; items of another accepted type are converted into an
// owned array, each exactly as its Python value would be.
template <class T, class Item>
bool from_buffer(const std::shared_ptr<BufferView>& buffer, const char* format, ArrayArgument<T>& array) {
  const std::span<const Item> items = buffer->items<Item>(format);
  if (items.data() == nullptr) return false;
  if constexpr (std::is_same_v<T, Item>) {
    array = ArrayArgument<T>(buffer, items);
  } else {
    array = ArrayArgument<T>(std::vector<T>(items.begin(), items.end()));
  }
  return true;
}

template <class T>
bool read_buffer(PyObject* object, ArrayArgument<T>& array) {
  if (!is_plain_array(object)) return false;
  auto buffer = std::make_shared<BufferView>(object);
  if (!buffer->acquired()) return false;
  if constexpr (std::is_same_v<T, std::int64_t>) {
    static_assert(sizeof(long) == 8 && sizeof(long long) == 8);
    return from_buffer<T, long>(buffer, "l", array) || from_buffer<T, long long>(buffer, "q", array);
  } else {
    return from_buffer<T, float>(buffer, "f", array) || from_buffer<T, double>(buffer, "d", array);
  }
}

template <class T, T (*element)(PyObject*)>
ArrayArgument<T> sequence_to_array(PyObject* object) {
  if (PyUnicode_Check(object)) {
    raise_type_error("a 'str' is not accepted as an array: it cannot be converted to numbers element by element");
  }
  if (!PySequence_Check(object)) raise_cannot_convert(object, "Sequence");

  if (ArrayArgument<T> borrowed; read_buffer(object, borrowed)) return borrowed;

  std::vector<T> array;
  // Lists and tuples are walked by position exactly as their iterators walk them (the length is
  // re-read at every step, since a conversion may run code that shrinks the list).
  if (PyList_CheckExact(object)) {
    array.reserve(static_cast<std::size_t>(PyList_GET_SIZE(object)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
      array.push_back(element(PyList_GET_ITEM(object, i)));
    }
    return ArrayArgument<T>(std::move(array));
  }
  if (PyTuple_CheckExact(object)) {
    array.reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(object)));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(object); ++i) {
      array.push_back(element(PyTuple_GET_ITEM(object, i)));
    }
    return ArrayArgument<T>(std::move(array));
  }

  Py_ssize_t hint = PyObject_Size(object);
  if (hint < 0) {
    PyErr_Clear();
    hint = 0;
  }
  array.reserve(static_cast<std::size_t>(std::min(hint, max_reserved_hint)));
  Ref iterator = checked(PyObject_GetIter(object));
  while (PyObject* next = PyIter_Next(iterator.get())) {
    Ref item(next);
    array.push_back(element(item.get()));
  }
  if (PyErr_Occurred()) throw PythonErrorSet{};
  return ArrayArgument<T>(std::move(array));
}

unsigned long long unsigned_from_int(PyObject* integer) {
  unsigned long long value = PyLong_AsUnsignedLongLong(integer);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw PythonErrorSet{};
  return value;
}

bool has_name(PyObject* type, const char* attribute, std::initializer_list<const char*> names) {
  Ref value(PyObject_GetAttrString(type, attribute));
  if (!value || !PyUnicode_Check(value.get())) {
    PyErr_Clear();
    return false;
  }
  for (const char* name : names) {
    if (PyUnicode_CompareWithASCIIString(value.get(), name) == 0) return true;
  }
  return false;
}

bool is_numpy_bool(PyTypeObject* type) {
  auto* type_object = reinterpret_cast<PyObject*>(type);
  return has_name(type_object, "__module__", {"numpy"}) &&
         has_name(type_object, "__name__", {"bool_", "bool"});
}

}  // namespace

std::string type_name(PyObject* object) {
  Ref name(PyType_GetQualName(Py_TYPE(object)));
  const char* text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
  if (text == nullptr) {
    PyErr_Clear();
    return "<failed to extract type name>";
  }
  return text;
}

bool may_run_python_code(PyObject* object) {
  if (object == Py_None || object == Py_True || object == Py_False || PyLong_CheckExact(object) ||
      PyFloat_CheckExact(object)) {
    return false;
  }
  if (!is_plain_array(object)) return true;
  // Reading a plain array's buffer is the array's own C code; only arrays the buffer path takes
  // qualify (an object array's elements could be anything).
  BufferView buffer(object);
  return buffer.items<float>("f").data() == nullptr && buffer.items<double>("d").data() == nullptr &&
         buffer.items<long>("l").data() == nullptr && buffer.items<long long>("q").data() == nullptr;
}

ArrayArgument<float> to_float_array(PyObject* object) {
  return sequence_to_array<float, float_element>(object);
}

ArrayArgument<double> to_double_array(PyObject* object) {
  return sequence_to_array<double, double_element>(object);
}

ArrayArgument<std::int64_t> to_index_array(PyObject* object) {
  return sequence_to_array<std::int64_t, index_element>(object);
}

double to_float64(PyObject* object) { return double_element(object); }

float to_float32(PyObject* object) { return float_element(object); }

std::uint64_t to_size(PyObject* object) {
  if (PyLong_Check(object)) return unsigned_from_int(object);
  Ref index = checked(PyNumber_Index(object));
  return unsigned_from_int(index.get());
}

std::int64_t to_int64(PyObject* object) { return index_element(object); }

bool to_flag(PyObject* object) {
  if (object == Py_True) return true;
  if (object == Py_False) return false;
  PyTypeObject* type = Py_TYPE(object);
  if (is_numpy_bool(type)) {
    auto truth = reinterpret_cast<inquiry>(PyType_GetSlot(type, Py_nb_bool));
    if (truth == nullptr) {
      raise_type_error("object of type '" + type_name(object) + "' does not define a '__bool__' conversion");
    }
    int value = truth(object);
    if (value < 0) throw PythonErrorSet{};
    return value != 0;
  }
  raise_cannot_convert(object, "PyBool");
}

}  // namespace sonavera::binding
