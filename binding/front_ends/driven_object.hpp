// What the classes whose run is driven by their caller (Optimizer, MultiOptimizer) share: the
// binding of tp_new's tuple and dict to a parameter table; the arguments kept for pickling, and
// the check that pickle can save them before the object exists; the saved run state as bytes.
// DrivenObject is an object that owns just its driver and those arguments (MultiOptimizer's).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "binding/arguments/signature.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"

namespace corvalinth::py {

template <typename Driver>
struct DrivenObject {
  PyObject_HEAD Driver* driver;  // owned
  PyObject* arguments;           // owned: the keyword arguments it was built with, for pickling
};

template <typename Driver>
DrivenObject<Driver>* as_driven(PyObject* self) {
  return reinterpret_cast<DrivenObject<Driver>*>(self);
}

// The arguments may hold any object, the object itself included: the collector sees them.
template <typename Driver>
int driven_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(as_driven<Driver>(self)->arguments);
  return 0;
}

template <typename Driver>
int driven_clear(PyObject* self) {
  Py_CLEAR(as_driven<Driver>(self)->arguments);
  return 0;
}

template <typename Driver>
void driven_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  delete as_driven<Driver>(self)->driver;
  Py_XDECREF(as_driven<Driver>(self)->arguments);
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

// Allocates an instance of `type` that owns `driver` and `arguments`.
template <typename Driver>
PyObject* new_driven(PyTypeObject* type, std::unique_ptr<Driver> driver, PyRef arguments) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) throw PythonErrorSet{};
  as_driven<Driver>(self)->driver = driver.release();
  as_driven<Driver>(self)->arguments = arguments.release();
  return self;
}

// Binds a call in tuple and dict form to a table. Fills `given` with borrowed references into
// `args` and `kwargs`, which outlive it.
void bind_tuple_call(const Signature& signature, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> given);

// The given arguments as one dict of keyword arguments, for pickling.
PyRef arguments_as_dict(std::span<const Parameter> parameters, std::span<PyObject* const> given);

// True when `target` can be reached from `root` the way pickle walks what it saves: through the
// items of lists, tuples, dicts and exact sets, and the attribute dicts of other instances (types,
// modules and callables go by reference). No Python code runs on the way; the walk gives up
// (false) after a bounded number of objects.
bool reaches(PyObject* root, PyObject* target);

// The checks of __reduce__ on the arguments of `self` (named `kind` in the messages): not
// cleared, and not referring back to `self`.
void require_picklable_arguments(PyObject* self, PyObject* arguments, const char* kind);

PyRef bytes_of(const std::vector<std::uint8_t>& state);

// The bytes of a bytes object, borrowed from it.
std::span<const std::uint8_t> bytes_view(PyObject* bytes);

}  // namespace corvalinth::py
