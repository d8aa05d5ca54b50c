// A call's arguments: matched to the function's parameters and converted, in signature order,
// before the function body sees them. The body reads them by parameter name.
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/signature.hpp"

namespace sonavera::binding {

inline constexpr std::size_t max_params = 8;

class Arguments {
 public:
  // Matches and converts everything; on failure sets the Python exception and throws
  // PythonErrorSet.
  Arguments(const Function& function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

  std::span<const float> float_array(const char* name);
  std::vector<float> take_float_array(const char* name);  // moves the array out
  std::span<const double> double_array(const char* name);
  std::span<const std::int64_t> index_array(const char* name);
  float float32(const char* name);
  double float64(const char* name);
  std::uint64_t size(const char* name);
  std::int64_t int64(const char* name);
  bool flag(const char* name);
  std::optional<float> optional_float32(const char* name);
  std::optional<std::uint64_t> optional_size(const char* name);
  std::optional<std::int64_t> optional_int64(const char* name);

  using Value = std::variant<std::monostate, ArrayArgument<float>, ArrayArgument<double>,
                             ArrayArgument<std::int64_t>, float, double, std::uint64_t, std::int64_t, bool>;

 private:
  Value& value(const char* name);
  template <class T>
  std::optional<T> optional(const char* name);
  // Arrays read from the caller's buffer are copied before any conversion that could run the
  // caller's Python code, which might change them; until then the buffer is used as it is.
  void own_borrowed_arrays();

  const Function& function_;
  std::array<Value, max_params> values_;
};

}  // namespace sonavera::binding
