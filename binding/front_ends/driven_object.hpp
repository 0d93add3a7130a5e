// What the classes whose run is driven by their caller (Optimizer, MultiOptimizer) share: the
// driver interface every form of either run answers; the object owning a driver, the arguments it
// was built with (for pickling) and the space of named parameters; its type slots, the shared
// attributes (done, stop_reason, iteration, evaluations, events, out) and ask(); the binding of
// tp_new's tuple and dict to a parameter table; the checks before pickling; the saved run state
// as bytes and the restoring of a pickled object.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/arguments/signature.hpp"
#include "binding/results/evaluation_log.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

// One run in any form, owned by the Python object through this interface so that the space's type
// stays out of the object. Each class extends it with its own tell and result.
class DrivenRun {
 public:
  virtual ~DrivenRun() = default;
  // The next point(s), or the asynchronous form's (ticket, point) or None; points as lists.
  virtual PyRef ask() = 0;
  virtual bool done() const = 0;
  virtual StopReason stop_reason() const = 0;
  virtual std::uint64_t iteration() const = 0;
  virtual std::uint64_t evaluations() const = 0;
  // The asynchronous form's asks and tells in order, and its (ticket, point) pairs out; None in
  // the synchronous forms.
  virtual PyRef events() const = 0;
  virtual PyRef out() = 0;
  virtual std::vector<std::uint8_t> save() const = 0;
  virtual void restore(std::span<const std::uint8_t> bytes) = 0;
  // True when a record of evaluations with `columns` columns can be this run's.
  virtual bool record_fits(std::size_t columns) const = 0;

  // record_evaluations=True: every told evaluation, its point (decoded) and what the run was told,
  // kept beside the run and pickled with it; nothing otherwise.
  std::optional<EvaluationLog> log;
};

struct DrivenObject {
  PyObject_HEAD DrivenRun* driver;  // owned
  PyObject* arguments;              // owned: the keyword arguments it was built with, for pickling
  PyObject* parameter_space;        // owned: the NamedSpace of named parameters, null without
  // progress=True (Optimizer's): the display (corvalinth.progress), made at the first tell so that
  // a restored optimizer's starts at its own iteration; null before, and without progress.
  bool progress;
  std::uint64_t progress_total;  // max_iter, what the display counts towards
  PyObject* progress_display;    // owned
};

inline DrivenObject* as_driven(PyObject* self) { return reinterpret_cast<DrivenObject*>(self); }
// The driver of `self`; a ValueError for an object no class of ours built.
DrivenRun& driver_of(PyObject* self);

// What the object holds beside its driver, made by tp_new.
struct DrivenParts {
  PyRef arguments;
  PyRef parameter_space;  // null without named parameters
  bool progress = false;
  std::uint64_t progress_total = 0;
};

// Allocates an instance of `type` that owns `driver` and `parts`.
PyObject* new_driven(PyTypeObject* type, std::unique_ptr<DrivenRun> driver, DrivenParts parts);

// The type `name` with its own tp_new, methods and attributes, a subclass of the one base class
// `corvalinth_native._Driven`, which cannot be instantiated and holds what the classes share:
// deallocation, the collector's traversal and clearing of what the object owns, ask() and the
// attributes done, stop_reason, iteration, evaluations, events and out. A class repeats a shared
// name only to give it its own docstring.
PyObject* create_driven_type(const char* name, const char* doc, newfunc make, PyMethodDef* methods,
                             PyGetSetDef* attributes);

// The base class (a new reference), which the module exports as `_Driven`.
PyObject* create_driven_base_type();

// ask(): the driver's, with its points as dicts when the parameters are named.
PyObject* driven_ask(PyObject* self, PyObject*);

// What the driver hands out (`asked`), with its points as dicts when the parameters are named.
PyRef named_if(PyObject* self, PyRef asked);

// Runs a method's body, translating exceptions; the body returns a PyRef.
template <typename Body>
PyObject* method(Body&& body) {
  return translate_exceptions([&] { return body().release(); });
}

// A ValueError naming `method` once the run is done.
void require_running(const DrivenRun& driver, const char* method);

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

// _restore_*(arguments, state, ...): an instance of `type` built with the dict `arguments`, its
// run restored from the bytes `state`; a state that does not fit is a ValueError naming `kind`.
PyRef restored_driven(PyObject* type, PyObject* arguments, PyObject* state, const char* kind);

// The pickled record of evaluations `saved` into the driver of `self`, which must keep one of a
// fitting width (ValueErrors naming `kind` otherwise).
void restore_record(PyObject* self, PyObject* saved, const char* kind);

}  // namespace corvalinth::py
