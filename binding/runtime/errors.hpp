// How failures travel through the binding and how they reach Python.
//
// Inside the binding a Python error is signalled by setting the interpreter's error indicator and
// throwing PythonErrorSet; core failures arrive as CoreError. Each entry point wraps its body in
// `translate_exceptions`, the one place where C++ exceptions become Python exceptions, so none
// ever crosses into CPython.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/failure.hpp"

namespace corvalinth::py {

// Thrown after a Python exception has been set (by us or by the API call that failed).
struct PythonErrorSet {};

// Throws PythonErrorSet if the API call that just returned signalled an error.
inline void throw_if_error_set() {
  if (PyErr_Occurred() != nullptr) throw PythonErrorSet{};
}

// Takes over the new reference an API call returned; a null one means the call failed with an
// error set, and throws PythonErrorSet.
inline PyRef checked(PyObject* new_reference) {
  PyRef owned = PyRef::steal(new_reference);
  if (!owned) throw PythonErrorSet{};
  return owned;
}

// Sets `type` with `message` and throws PythonErrorSet.
[[noreturn]] void raise(PyObject* type, const std::string& message);

// Creates PanicException, the class of internal errors, derived directly from BaseException;
// called once, by the module's initialisation, which keeps the class for the life of the
// interpreter. Returns a new reference, or null with an error set.
PyObject* create_panic_exception_type();

// Sets the Python exception for the C++ exception being handled: PanicException for core
// failures, MemoryError for exhausted memory; a PythonErrorSet keeps the error already set.
void set_error_from_current_exception();

// Runs `body` (which returns a new reference) and turns any C++ exception into a Python error
// and a null result.
template <typename Body>
PyObject* translate_exceptions(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    set_error_from_current_exception();
    return nullptr;
  }
}

}  // namespace corvalinth::py
