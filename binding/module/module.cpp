// Creation of the extension module corvalinth_native: its functions and classes, in order.
#include "binding/module/docstrings.hpp"
#include "binding/front_ends/free_functions.hpp"
#include "binding/results/grey_result.hpp"
#include "binding/front_ends/minimize.hpp"
#include "binding/front_ends/minimize_grey.hpp"
#include "binding/front_ends/minimize_multi.hpp"
#include "binding/front_ends/optimizer.hpp"
#include "binding/results/pareto_front.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "binding/runtime/signal_poller.hpp"

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
    {"minimize_multi", fastcall_with_keywords<minimize_multi>(), METH_FASTCALL | METH_KEYWORDS,
     docs::minimize_multi},
    {"minimize_grey", fastcall_with_keywords<minimize_grey>(), METH_FASTCALL | METH_KEYWORDS,
     docs::minimize_grey},
    {"hypervolume", fastcall_with_keywords<hypervolume>(), METH_FASTCALL | METH_KEYWORDS,
     docs::hypervolume},
    {"benchmark_info", fastcall_with_keywords<benchmark_info>(), METH_FASTCALL | METH_KEYWORDS,
     docs::benchmark_info},
    {"grey_benchmark_info", fastcall_with_keywords<grey_benchmark_info>(),
     METH_FASTCALL | METH_KEYWORDS, docs::grey_benchmark_info},
    {"hypervolume_contributions", fastcall_with_keywords<hypervolume_contributions>(),
     METH_FASTCALL | METH_KEYWORDS, docs::hypervolume_contributions},
    // The reconstructors that __reduce__ of the result classes names; private.
    {"_rebuild_pso_result", rebuild_pso_result, METH_O, docs::rebuild_result},
    {"_rebuild_pareto_front", rebuild_pareto_front, METH_O, docs::rebuild_result},
    {"_rebuild_grey_result", rebuild_grey_result, METH_O, docs::rebuild_result},
    {"_restore_optimizer", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(
                               restore_optimizer)),
     METH_FASTCALL, nullptr},
    // What parallel.multistart's threads watch (signal_poller.hpp); private.
    {"_watch_stop_event", set_thread_stop_event, METH_O, nullptr},
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
  // The classes, in order.
  const struct {
    const char* name;
    PyObject* (*create)();
  } classes[] = {
      {"PsoResult", create_pso_result_type},
      {"ParetoFront", create_pareto_front_type},
      {"GreyResult", create_grey_result_type},
      {"Optimizer", create_optimizer_type},
  };
  for (const auto& result_class : classes) {
    PyRef type = PyRef::steal(result_class.create());
    if (!type) return nullptr;
    if (PyModule_AddObjectRef(module.get(), result_class.name, type.get()) < 0) return nullptr;
  }
  initialised = true;
  return module.release();
}

}  // namespace
}  // namespace corvalinth::py

PyMODINIT_FUNC PyInit_corvalinth_native(void) { return corvalinth::py::create_module(); }
