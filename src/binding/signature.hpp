// How a function's parameters are described: one row per function in the module's table.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace sonavera::binding {

class Arguments;

// What a parameter is converted into.
enum class Kind : std::uint8_t {
  float_array,   // sequence -> 32-bit floats
  double_array,  // sequence -> 64-bit floats
  index_array,   // sequence of integers -> signed 64-bit
  float32,       // number -> 32-bit float
  float64,       // number -> 64-bit float
  size,          // integer 0 .. 2^64 - 1
  int64,         // integer -2^63 .. 2^63 - 1
  flag,          // True, False or a NumPy boolean
};

struct Param {
  const char* name;
  Kind kind;
  // The default as the signature line shows it: nullptr for a required parameter, "None" for
  // an optional one (omitting it and passing None both mean absent), otherwise the literal
  // that also gives the default value.
  const char* default_text = nullptr;

  bool required() const noexcept { return default_text == nullptr; }
  bool optional() const noexcept { return default_text != nullptr && std::strcmp(default_text, "None") == 0; }
};

using Shim = PyObject* (*)(Arguments&);

struct Function {
  const char* name;
  std::span<const Param> params;
  const char* doc_body;  // summary line and the rest of the docstring, after the signature
  Shim shim;
};

}  // namespace sonavera::binding
