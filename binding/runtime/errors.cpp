#include "binding/runtime/errors.hpp"

#include <stdexcept>

namespace corvalinth::py {

void raise(PyObject* type, const std::string& message) {
  // The whole text, also past an embedded NUL (a name given by the caller may hold one).
  PyObject* text =
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text != nullptr) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  throw PythonErrorSet{};
}

namespace {

PyObject* panic_type = nullptr;  // created with the module, kept for the life of the interpreter

}  // namespace

PyObject* create_panic_exception_type() {
  // Named after the package that exports it, so pickle finds the class by reference
  // (corvalinth.PanicException) and an error raised in a worker process arrives whole in the
  // parent.
  panic_type = PyErr_NewExceptionWithDoc(
      "corvalinth.PanicException",
      "An internal error of the optimiser: a violated precondition of the core.\n\n"
      "Derived from BaseException, so ``except Exception`` does not catch it.",
      PyExc_BaseException, nullptr);
  return panic_type;
}

namespace {

void set_panic(const char* message) { PyErr_SetString(panic_type, message); }

}  // namespace

void set_error_from_current_exception() {
  try {
    throw;
  } catch (const PythonErrorSet&) {
    if (PyErr_Occurred() == nullptr) {
      PyErr_SetString(PyExc_SystemError, "error return without exception set");
    }
  } catch (const CoreError& error) {
    set_panic(error.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    // A container asked for more elements than it can ever hold: out of memory, too.
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    set_panic(error.what());
  } catch (...) {
    set_panic("unknown internal error");
  }
}

}  // namespace corvalinth::py
