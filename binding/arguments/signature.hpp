// Binding of positional and keyword arguments to a function's parameter table, with the error
// wording CPython uses for its own functions.
#pragma once

#include <span>

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

struct Parameter {
  const char* name;
  bool required;              // required parameters come first
  bool keyword_only = false;  // keyword-only parameters come last
};

struct Signature {
  const char* function;  // as named in the messages: "minimize"
  std::span<const Parameter> parameters;
};

// The number of parameters a call may give by position: those before the keyword-only ones.
std::size_t positional_count(const Signature& signature);

// Binds a METH_FASTCALL | METH_KEYWORDS call: `args` holds `nargs` positional values followed by
// one value per name in `kwnames` (a tuple of str, or null). Fills `bound` (one slot per
// parameter) with borrowed references, null where the argument was not given. On a binding error
// sets the TypeError and throws PythonErrorSet.
void bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound);

}  // namespace corvalinth::py
