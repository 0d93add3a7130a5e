// Creation of the extension module corvalinth_native: its functions and classes, in order.
#include "docstrings.hpp"
#include "minimize.hpp"
#include "pso_result.hpp"
#include "py_ref.hpp"
#include "python.hpp"

namespace corvalinth::py {
namespace {

// METH_FASTCALL | METH_KEYWORDS functions are stored in PyMethodDef as a PyCFunction.
template <PyObject* (*Function)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>
PyCFunction fastcall_with_keywords() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(Function));
}

PyMethodDef methods[] = {
    {"minimize", fastcall_with_keywords<minimize>(), METH_FASTCALL | METH_KEYWORDS,
     docs::minimize},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "corvalinth_native",
    "",
    -1,  // global state (the classes): one module per process
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

bool initialised = false;

PyObject* create_module() {
  if (initialised) {
    PyErr_SetString(PyExc_ImportError,
                    "corvalinth_native can be initialised only once per process");
    return nullptr;
  }
  PyRef module = PyRef::steal(PyModule_Create(&module_definition));
  if (!module) return nullptr;
  PyRef pso_result = PyRef::steal(create_pso_result_type());
  if (!pso_result) return nullptr;
  if (PyModule_AddObjectRef(module.get(), "PsoResult", pso_result.get()) < 0) return nullptr;
  initialised = true;
  return module.release();
}

}  // namespace
}  // namespace corvalinth::py

PyMODINIT_FUNC PyInit_corvalinth_native(void) { return corvalinth::py::create_module(); }
