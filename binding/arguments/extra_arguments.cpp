#include "binding/arguments/extra_arguments.hpp"

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"

namespace corvalinth::py {
namespace {

// self is the tuple (objective, extra); the call is objective(*given, *extra).
PyObject* call_with_extra(PyObject* self, PyObject* given) {
  PyObject* objective = PyTuple_GetItem(self, 0);
  PyObject* extra = PyTuple_GetItem(self, 1);
  if (objective == nullptr || extra == nullptr) return nullptr;
  const PyRef joined = PyRef::steal(PySequence_Concat(given, extra));
  if (!joined) return nullptr;
  return PyObject_Call(objective, joined.get(), nullptr);
}

PyMethodDef call_with_extra_def = {"objective_with_args", call_with_extra, METH_VARARGS,
                                   "The objective called with the run's extra arguments."};

}  // namespace

PyObject* ExtraArguments::convert(const char*, PyObject* given) const {
  if (given == nullptr || given == Py_None) return nullptr;
  if (PyTuple_Check(given) && PyTuple_Size(given) == 0) return nullptr;
  return given;
}

PyRef with_extra_arguments(PyObject* objective, PyObject* extra) {
  if (extra == nullptr) return PyRef::borrow(objective);
  const PyRef extra_tuple =
      PyTuple_Check(extra) ? PyRef::borrow(extra) : checked(PyTuple_Pack(1, extra));
  const PyRef self = checked(PyTuple_Pack(2, objective, extra_tuple.get()));
  return checked(PyCFunction_New(&call_with_extra_def, self.get()));
}

void refuse_extra_arguments_of_a_native_objective(PyObject* objective, PyObject* extra) {
  if (extra != nullptr && is_str(objective)) {
    raise(PyExc_ValueError,
          "args requires a Python objective callable, not a native benchmark name");
  }
}

}  // namespace corvalinth::py
