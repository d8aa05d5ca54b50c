#include "binding/arguments.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

#include "binding/conversions.hpp"
#include "binding/python_ref.hpp"
#include "common/failure.hpp"

namespace sonavera::binding {
namespace {

using Slots = std::array<PyObject*, max_params>;  // borrowed references, null where empty

[[noreturn]] void raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
  throw PythonErrorSet{};
}

std::string display_name(const Function& function) { return std::string(function.name) + "()"; }

std::size_t required_count(const Function& function) {
  std::size_t count = 0;
  while (count < function.params.size() && function.params[count].required()) ++count;
  return count;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    text += "'";
    text += names[i];
    text += "'";
  }
  return text;
}

Slots match(const Function& function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const std::size_t n = function.params.size();
  const std::size_t required = required_count(function);
  const auto given = static_cast<std::size_t>(nargs);
  Slots slots{};

  if (given > n) {
    std::string verb = given == 1 ? "was" : "were";
    std::string takes = required == n ? std::to_string(n)
                                      : "from " + std::to_string(required) + " to " + std::to_string(n);
    raise_type_error(display_name(function) + " takes " + takes + " positional arguments but " +
                     std::to_string(given) + " " + verb + " given");
  }
  for (std::size_t i = 0; i < given; ++i) slots[i] = args[i];

  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
      PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
      std::size_t index = n;
      for (std::size_t i = 0; i < n; ++i) {
        if (PyUnicode_CompareWithASCIIString(keyword, function.params[i].name) == 0) {
          index = i;
          break;
        }
      }
      if (index == n || slots[index] != nullptr) {
        const char* text = PyUnicode_AsUTF8(keyword);
        if (text == nullptr) throw PythonErrorSet{};
        const char* what = index == n ? " got an unexpected keyword argument '" : " got multiple values for argument '";
        raise_type_error(display_name(function) + what + text + "'");
      }
      slots[index] = args[nargs + k];
    }
  }

  if (given < required) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < required; ++i) {
      if (slots[i] == nullptr) missing.push_back(function.params[i].name);
    }
    if (!missing.empty()) {
      raise_type_error(display_name(function) + " missing " + std::to_string(missing.size()) +
                       " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " +
                       quoted_list(missing));
    }
  }
  return slots;
}

// A conversion that failed with exactly TypeError is reported as a new TypeError naming the
// parameter; the new exception takes over the original's cause but not the original itself.
// Every other exception type passes through unchanged.
void name_the_parameter(const char* name) {
  PyObject* raised = PyErr_GetRaisedException();
  if (raised == nullptr) return;
  if (Py_TYPE(raised) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    PyErr_SetRaisedException(raised);
    return;
  }
  Ref original(raised);
  Ref text(PyObject_Str(original.get()));
  if (!text) return;
  Ref message(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!message) return;
  Ref renamed(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!renamed) return;
  if (PyObject* cause = PyException_GetCause(original.get())) PyException_SetCause(renamed.get(), cause);
  PyErr_SetObject(PyExc_TypeError, renamed.get());
}

// The literal of the signature line is the default value, read the way Python reads it.
Arguments::Value default_value(const Param& param) {
  const char* text = param.default_text;
  switch (param.kind) {
    case Kind::float32: return static_cast<float>(std::strtod(text, nullptr));
    case Kind::float64: return std::strtod(text, nullptr);
    case Kind::size: return static_cast<std::uint64_t>(std::strtoull(text, nullptr, 10));
    case Kind::int64: return static_cast<std::int64_t>(std::strtoll(text, nullptr, 10));
    case Kind::flag: return std::strcmp(text, "True") == 0;
    default: fail_internal(std::string("parameter '") + param.name + "' cannot have a default");
  }
}

}  // namespace

Arguments::Arguments(const Function& function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
    : function_(function) {
  Slots slots = match(function, args, nargs, kwnames);
  for (std::size_t i = 0; i < function.params.size(); ++i) {
    const Param& param = function.params[i];
    PyObject* object = slots[i];
    Value& value = values_[i];
    if (object == nullptr) {
      if (!param.optional()) value = default_value(param);
      continue;
    }
    if (object == Py_None && param.optional()) continue;  // absent: the function applies its default
    if (i > 0 && may_run_python_code(object)) own_borrowed_arrays();
    try {
      switch (param.kind) {
        case Kind::float_array: value = to_float_array(object); break;
        case Kind::double_array: value = to_double_array(object); break;
        case Kind::index_array: value = to_index_array(object); break;
        case Kind::float32: value = to_float32(object); break;
        case Kind::float64: value = to_float64(object); break;
        case Kind::size: value = to_size(object); break;
        case Kind::int64: value = to_int64(object); break;
        case Kind::flag: value = to_flag(object); break;
      }
    } catch (const PythonErrorSet&) {
      name_the_parameter(param.name);
      throw;
    }
  }
}

void Arguments::own_borrowed_arrays() {
  for (Value& value : values_) {
    std::visit([](auto& v) {
      if constexpr (requires { v.own(); }) v.own();
    }, value);
  }
}

Arguments::Value& Arguments::value(const char* name) {
  for (std::size_t i = 0; i < function_.params.size(); ++i) {
    if (std::strcmp(function_.params[i].name, name) == 0) return values_[i];
  }
  fail_internal(std::string(function_.name) + "() has no parameter '" + name + "'");
}

template <class T>
std::optional<T> Arguments::optional(const char* name) {
  Value& v = value(name);
  if (std::holds_alternative<std::monostate>(v)) return std::nullopt;
  return std::get<T>(v);
}

std::span<const float> Arguments::float_array(const char* name) {
  return std::get<ArrayArgument<float>>(value(name)).items();
}
std::vector<float> Arguments::take_float_array(const char* name) {
  return std::get<ArrayArgument<float>>(value(name)).take();
}
std::span<const double> Arguments::double_array(const char* name) {
  return std::get<ArrayArgument<double>>(value(name)).items();
}
std::span<const std::int64_t> Arguments::index_array(const char* name) {
  return std::get<ArrayArgument<std::int64_t>>(value(name)).items();
}
float Arguments::float32(const char* name) { return std::get<float>(value(name)); }
double Arguments::float64(const char* name) { return std::get<double>(value(name)); }
std::uint64_t Arguments::size(const char* name) { return std::get<std::uint64_t>(value(name)); }
std::int64_t Arguments::int64(const char* name) { return std::get<std::int64_t>(value(name)); }
bool Arguments::flag(const char* name) { return std::get<bool>(value(name)); }
std::optional<float> Arguments::optional_float32(const char* name) { return optional<float>(name); }
std::optional<std::uint64_t> Arguments::optional_size(const char* name) { return optional<std::uint64_t>(name); }
std::optional<std::int64_t> Arguments::optional_int64(const char* name) { return optional<std::int64_t>(name); }

}  // namespace sonavera::binding
