#include "binding/call.hpp"

#include <new>
#include <string>

#include "binding/arguments.hpp"
#include "binding/python_ref.hpp"
#include "common/failure.hpp"

namespace sonavera::binding {
namespace {

constexpr const char* internal_error_doc =
    "Raised when the native code called from Python fails.\n"
    "\n"
    "Like SystemExit, it derives from BaseException, not from Exception, so that it typically\n"
    "propagates all the way through the stack and makes the interpreter exit.";

// Created at the first internal failure of the process and kept until the process ends.
PyObject* internal_error_class() {
  static PyObject* cls = nullptr;
  if (cls == nullptr) {
    cls = PyErr_NewExceptionWithDoc("_core_runtime.InternalError", internal_error_doc, PyExc_BaseException,
                                    nullptr);
  }
  return cls;
}

void raise_internal_error(const std::string& message, const char* file, unsigned line) {
  // Source paths are shown from the source tree's root, not from wherever it was built.
  std::string path(file);
  if (auto root = path.rfind("/src/"); root != std::string::npos) path.erase(0, root + 1);
  file = path.c_str();
  PySys_FormatStderr("sonavera._core: internal error at %s:%u: %s\n", file, line, message.c_str());
  if (PyObject* cls = internal_error_class()) PyErr_SetString(cls, message.c_str());
}

}  // namespace

PyObject* call(const Function& function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  try {
    Arguments arguments(function, args, nargs, kwnames);
    return function.shim(arguments);
  } catch (const PythonErrorSet&) {
  } catch (const InvalidValue& failure) {
    PyErr_SetString(PyExc_ValueError, failure.what());
  } catch (const InternalFailure& failure) {
    raise_internal_error(failure.what(), failure.where().file_name(), failure.where().line());
  } catch (const NotImplementedYet&) {
    PyErr_Format(PyExc_NotImplementedError, "%s() is not implemented yet", function.name);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& failure) {
    raise_internal_error(failure.what(), __FILE__, __LINE__);
  } catch (...) {
    raise_internal_error("unknown native exception", __FILE__, __LINE__);
  }
  return nullptr;
}

}  // namespace sonavera::binding
