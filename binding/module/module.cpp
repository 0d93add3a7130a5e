// Creation of the extension module corvalinth_native: its functions, classes and exception, in
// order.
#include <cstdint>
#include <utility>
#include <vector>

#include "binding/front_ends/driven_object.hpp"
#include "binding/front_ends/free_functions.hpp"
#include "binding/front_ends/minimize.hpp"
#include "binding/front_ends/minimize_grey.hpp"
#include "binding/front_ends/minimize_multi.hpp"
#include "binding/front_ends/multi_optimizer.hpp"
#include "binding/front_ends/optimizer.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/results/grey_result.hpp"
#include "binding/results/pareto_front.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/runtime/errors.hpp"
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
    {"minimize", fastcall_with_keywords<minimize>(), METH_FASTCALL | METH_KEYWORDS, docs::minimize},
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
    {"_restore_optimizer",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(restore_optimizer)),
     METH_FASTCALL, nullptr},
    {"_restore_multi_optimizer",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(restore_multi_optimizer)),
     METH_FASTCALL, nullptr},
    // What parallel.multistart's threads watch (signal_poller.hpp); private.
    {"_watch_stop_event", set_thread_stop_event, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// The classes and the exception the module exports, created by the first execution of the
// module and kept for the life of the interpreter (results and errors outlive any module object).
// A later execution, after the module was dropped from sys.modules, exports the same objects, so
// pickles and isinstance checks keep working. They belong to one interpreter: executing the module
// in another one is refused.
struct ExportedObjects {
  std::int64_t interpreter = -1;
  std::vector<std::pair<const char*, PyObject*>> objects;  // owned for good
};

ExportedObjects exported;

bool create_exported_objects() {
  const struct {
    const char* name;
    PyObject* (*create)();
  } creators[] = {
      {"PsoResult", create_pso_result_type},
      {"ParetoFront", create_pareto_front_type},
      {"GreyResult", create_grey_result_type},
      {"_Driven", create_driven_base_type},
      {"Optimizer", create_optimizer_type},
      {"MultiOptimizer", create_multi_optimizer_type},
      {"PanicException", create_panic_exception_type},
  };
  for (const auto& creator : creators) {
    PyObject* object = creator.create();
    if (object == nullptr) return false;
    exported.objects.emplace_back(creator.name, object);
  }
  return true;
}

int execute_module(PyObject* module) {
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (exported.interpreter == -1) {
    if (!create_exported_objects()) return -1;
    exported.interpreter = interpreter;
  } else if (exported.interpreter != interpreter) {
    PyErr_SetString(PyExc_ImportError,
                    "corvalinth_native can be used in one interpreter per process only");
    return -1;
  }
  for (const auto& [name, object] : exported.objects) {
    if (PyModule_AddObjectRef(module, name, object) < 0) return -1;
  }
  return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(execute_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "corvalinth_native",
    "",
    0,  // no per-module state: see ExportedObjects
    methods,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace corvalinth::py

// Multi-phase initialisation (PEP 489): the import system creates the module and runs the slots.
PyMODINIT_FUNC PyInit_corvalinth_native(void) {
  return PyModuleDef_Init(&corvalinth::py::module_definition);
}
