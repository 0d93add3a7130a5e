// The MultiOptimizer class: a multi-objective run driven by its caller through ask and tell, and
// saved and restored through pickle.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// Creates the class; returns a new reference, or null with an error set.
PyObject* create_multi_optimizer_type();

// _restore_multi_optimizer(arguments, state): the reconstructor named by __reduce__.
PyObject* restore_multi_optimizer(PyObject* module, PyObject* const* args, Py_ssize_t nargs);

}  // namespace corvalinth::py
