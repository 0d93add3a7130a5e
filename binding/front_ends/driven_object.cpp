#include "binding/front_ends/driven_object.hpp"

#include <string>
#include <string_view>
#include <unordered_set>

#include "binding/module/docstrings.hpp"
#include "binding/results/evaluation_log_field.hpp"
#include "core/run_state.hpp"

namespace corvalinth::py {
namespace {

// The arguments may hold any object, the object itself included: the collector sees them.
int driven_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(as_driven(self)->arguments);
  Py_VISIT(as_driven(self)->parameter_space);
  Py_VISIT(as_driven(self)->progress_display);
  return 0;
}

int driven_clear(PyObject* self) {
  Py_CLEAR(as_driven(self)->arguments);
  Py_CLEAR(as_driven(self)->parameter_space);
  Py_CLEAR(as_driven(self)->progress_display);
  return 0;
}

void driven_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  delete as_driven(self)->driver;
  Py_XDECREF(as_driven(self)->arguments);
  Py_XDECREF(as_driven(self)->parameter_space);
  Py_XDECREF(as_driven(self)->progress_display);
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

PyObject* get_done(PyObject* self, void*) {
  return method([&] { return PyRef::borrow(driver_of(self).done() ? Py_True : Py_False); });
}
PyObject* get_stop_reason(PyObject* self, void*) {
  return method([&] {
    const DrivenRun& driver = driver_of(self);
    return driver.done() ? new_str(stop_reason_name(driver.stop_reason())) : PyRef::borrow(Py_None);
  });
}
PyObject* get_iteration(PyObject* self, void*) {
  return method([&] { return checked(PyLong_FromUnsignedLongLong(driver_of(self).iteration())); });
}
PyObject* get_evaluations(PyObject* self, void*) {
  return method(
      [&] { return checked(PyLong_FromUnsignedLongLong(driver_of(self).evaluations())); });
}
PyObject* get_events(PyObject* self, void*) {
  return method([&] { return driver_of(self).events(); });
}
PyObject* get_out(PyObject* self, void*) {
  return method([&] {
    PyRef out = driver_of(self).out();
    if (out.get() == Py_None || as_driven(self)->parameter_space == nullptr) return out;
    for (Py_ssize_t k = 0; k < PyList_Size(out.get()); ++k) {
      PyRef pair = named_if(self, PyRef::borrow(PyList_GetItem(out.get(), k)));
      if (PyList_SetItem(out.get(), k, pair.release()) < 0) throw PythonErrorSet{};
    }
    return out;
  });
}

PyMethodDef shared_methods[] = {
    {"ask", driven_ask, METH_NOARGS, docs::driven_ask},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef shared_attributes[] = {
    {"done", get_done, nullptr, docs::optimizer_done, nullptr},
    {"stop_reason", get_stop_reason, nullptr, docs::optimizer_stop_reason, nullptr},
    {"iteration", get_iteration, nullptr, docs::optimizer_iteration, nullptr},
    {"evaluations", get_evaluations, nullptr, docs::driven_evaluations, nullptr},
    {"events", get_events, nullptr, docs::optimizer_events, nullptr},
    {"out", get_out, nullptr, docs::optimizer_out, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The base class of the driven classes, made once and kept for the interpreter's life like the
// classes themselves. It cannot be instantiated: only its subclasses build a driver.
PyObject* driven_base() {
  static PyObject* base = [] {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(docs::driven)},
        {Py_tp_dealloc, reinterpret_cast<void*>(driven_dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(driven_traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(driven_clear)},
        {Py_tp_methods, shared_methods},
        {Py_tp_getset, shared_attributes},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "corvalinth_native._Driven",
        static_cast<int>(sizeof(DrivenObject)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_BASETYPE |
            Py_TPFLAGS_DISALLOW_INSTANTIATION,
        slots,
    };
    return PyType_FromSpec(&spec);
  }();
  return base;
}

}  // namespace

PyObject* create_driven_base_type() { return Py_XNewRef(driven_base()); }

DrivenRun& driver_of(PyObject* self) {
  DrivenRun* driver = as_driven(self)->driver;
  if (driver == nullptr) raise(PyExc_ValueError, "this object was not built by its class");
  return *driver;
}

PyObject* new_driven(PyTypeObject* type, std::unique_ptr<DrivenRun> driver, DrivenParts parts) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) throw PythonErrorSet{};
  DrivenObject& object = *as_driven(self);
  object.driver = driver.release();
  object.arguments = parts.arguments.release();
  object.parameter_space = parts.parameter_space.release();
  object.progress = parts.progress;
  object.progress_total = parts.progress_total;
  object.progress_display = nullptr;
  return self;
}

PyObject* create_driven_type(const char* name, const char* doc, newfunc make, PyMethodDef* methods,
                             PyGetSetDef* attributes) {
  PyObject* base = driven_base();
  if (base == nullptr) return nullptr;
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(doc)},
      {Py_tp_new, reinterpret_cast<void*>(make)},
      // The collector wants them named again by each class that has its flag.
      {Py_tp_dealloc, reinterpret_cast<void*>(driven_dealloc)},
      {Py_tp_traverse, reinterpret_cast<void*>(driven_traverse)},
      {Py_tp_clear, reinterpret_cast<void*>(driven_clear)},
      {Py_tp_methods, methods},
      {Py_tp_getset, attributes},
      {0, nullptr},
  };
  PyType_Spec spec = {
      name,  static_cast<int>(sizeof(DrivenObject)),
      0,     Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC,
      slots,
  };
  const PyRef bases = PyRef::steal(PyTuple_Pack(1, base));
  if (!bases) return nullptr;
  return PyType_FromSpecWithBases(&spec, bases.get());
}

PyRef named_if(PyObject* self, PyRef asked) {
  PyObject* space = as_driven(self)->parameter_space;
  if (space == nullptr) return asked;
  return checked(PyObject_CallMethod(space, "asked", "(O)", asked.get()));
}

PyObject* driven_ask(PyObject* self, PyObject*) {
  return method([&] { return named_if(self, driver_of(self).ask()); });
}

void require_running(const DrivenRun& driver, const char* method) {
  if (driver.done()) {
    raise(PyExc_ValueError, std::string(method) + " after the run is done; read result()");
  }
}

void bind_tuple_call(const Signature& signature, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> given) {
  const Py_ssize_t nargs = PyTuple_Size(args);
  std::vector<PyObject*> values;
  for (Py_ssize_t k = 0; k < nargs; ++k) values.push_back(PyTuple_GetItem(args, k));
  PyRef kwnames;
  if (kwargs != nullptr) {
    const PyRef names = checked(PyDict_Keys(kwargs));
    for (Py_ssize_t k = 0; k < PyList_Size(names.get()); ++k) {
      values.push_back(PyDict_GetItem(kwargs, PyList_GetItem(names.get(), k)));
    }
    kwnames = checked(PyList_AsTuple(names.get()));
  }
  bind_arguments(signature, values.data(), nargs, kwnames.get(), given);
}

PyRef arguments_as_dict(std::span<const Parameter> parameters, std::span<PyObject* const> given) {
  PyRef dict = checked(PyDict_New());
  for (std::size_t k = 0; k < given.size(); ++k) {
    if (given[k] != nullptr && PyDict_SetItemString(dict.get(), parameters[k].name, given[k]) < 0) {
      throw PythonErrorSet{};
    }
  }
  return dict;
}

bool reaches(PyObject* root, PyObject* target) {
  constexpr std::size_t kMaxVisits = 100'000;
  std::unordered_set<PyObject*> seen;
  std::vector<PyObject*> pending{root};
  std::vector<PyRef> made;  // references made on the way, kept until the walk ends
  const auto push_list_items = [&](PyObject* list) {
    for (Py_ssize_t k = 0; k < PyList_Size(list); ++k) pending.push_back(PyList_GetItem(list, k));
  };
  while (!pending.empty() && seen.size() < kMaxVisits) {
    PyObject* object = pending.back();
    pending.pop_back();
    if (object == target) return true;
    if (!seen.insert(object).second) continue;
    if (PyType_Check(object) || PyModule_Check(object) || PyCallable_Check(object)) continue;
    if (PyList_Check(object)) {
      push_list_items(object);
    } else if (PyTuple_Check(object)) {
      for (Py_ssize_t k = 0; k < PyTuple_Size(object); ++k) {
        pending.push_back(PyTuple_GetItem(object, k));
      }
    } else if (PyDict_Check(object)) {
      Py_ssize_t position = 0;
      PyObject* key = nullptr;
      PyObject* value = nullptr;
      while (PyDict_Next(object, &position, &key, &value)) {
        pending.push_back(key);
        pending.push_back(value);
      }
    } else if (PyAnySet_CheckExact(object)) {
      made.push_back(PyRef::steal(PySequence_List(object)));
      if (!made.back()) throw PythonErrorSet{};
      push_list_items(made.back().get());
    }
    if (PyList_CheckExact(object) || PyTuple_CheckExact(object) || PyDict_CheckExact(object) ||
        PyAnySet_CheckExact(object)) {
      continue;
    }
    PyRef attributes = PyRef::steal(PyObject_GenericGetDict(object, nullptr));
    if (!attributes) {
      PyErr_Clear();  // an object without an attribute dict
      continue;
    }
    pending.push_back(attributes.get());
    made.push_back(std::move(attributes));
  }
  return false;
}

void require_picklable_arguments(PyObject* self, PyObject* arguments, const char* kind) {
  if (arguments == nullptr) {
    raise(PyExc_ValueError, std::string("this ") + kind + " was cleared by the garbage collector");
  }
  // pickle would save the object inside its own arguments before it exists to refer to.
  if (reaches(arguments, self)) {
    const bool vowel = std::string_view("AEIOU").find(kind[0]) != std::string_view::npos;
    raise(PyExc_TypeError, std::string("cannot pickle ") + (vowel ? "an " : "a ") + kind +
                               " whose arguments refer back to it");
  }
}

PyRef bytes_of(const std::vector<std::uint8_t>& state) {
  return checked(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(state.data()),
                                           static_cast<Py_ssize_t>(state.size())));
}

std::span<const std::uint8_t> bytes_view(PyObject* bytes) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) < 0) throw PythonErrorSet{};
  return {reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

PyRef restored_driven(PyObject* type, PyObject* arguments, PyObject* state, const char* kind) {
  const PyRef empty = checked(PyTuple_New(0));
  PyRef object = checked(PyObject_Call(type, empty.get(), arguments));
  try {
    driver_of(object.get()).restore(bytes_view(state));
  } catch (const RunStateError& error) {
    raise(PyExc_ValueError, std::string("cannot restore the ") + kind + ": " + error.what());
  }
  return object;
}

void restore_record(PyObject* self, PyObject* saved, const char* kind) {
  EvaluationLog log = evaluation_log_from(saved, "recorded_evaluations");
  DrivenRun& driver = driver_of(self);
  if (!driver.log) {
    raise(PyExc_ValueError, std::string("cannot restore the ") + kind +
                                ": a record of evaluations without record_evaluations");
  }
  if (log.columns != 0 && !driver.record_fits(log.columns)) {
    raise(PyExc_ValueError, std::string("cannot restore the ") + kind +
                                ": the record of evaluations does not fit the space");
  }
  *driver.log = std::move(log);
}

}  // namespace corvalinth::py
