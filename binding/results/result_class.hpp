// The pattern every result class follows: a heap type whose instances own one C++ record, built
// once by a front end and never changed. Attributes are read-only getters that build fresh Python
// objects on every read; Python code cannot construct an instance. Pickling goes through
// __reduce__ and a module-level reconstructor; the attributes, to_dict(), __reduce__ and the
// reconstructor follow from one list of fields per class (result_fields.hpp).
#pragma once

#include <memory>
#include <utility>

#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"

namespace corvalinth::py {

template <typename Data>
struct ResultObject {
  PyObject_HEAD
  Data* data;  // owned
};

// The class of records of type Data, created with the module and kept for the life of the
// interpreter.
template <typename Data>
inline PyObject* result_type = nullptr;

template <typename Data>
const Data& result_data(PyObject* self) {
  return *reinterpret_cast<ResultObject<Data>*>(self)->data;
}

// tp_new of every result class: TypeError "No constructor defined for <class name>".
PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs);

template <typename Data>
void dealloc_result(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<ResultObject<Data>*>(self)->data;
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

struct ResultClass {
  const char* qualified_name;  // "corvalinth_native.ParetoFront"
  const char* doc;
  PyGetSetDef* attributes;
  PyMethodDef* methods;  // may be null
  reprfunc repr;
};

// Creates the class for records of type Data and keeps it in `result_type<Data>`; returns a new
// reference, or null with an error set.
template <typename Data>
PyObject* create_result_type(const ResultClass& result_class) {
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(result_class.doc)},
      {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_result<Data>)},
      {Py_tp_repr, reinterpret_cast<void*>(result_class.repr)},
      {Py_tp_getset, result_class.attributes},
      {result_class.methods != nullptr ? Py_tp_methods : 0, result_class.methods},
      {0, nullptr},
  };
  PyType_Spec spec = {
      result_class.qualified_name,
      static_cast<int>(sizeof(ResultObject<Data>)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      slots,
  };
  PyObject* type = PyType_FromSpec(&spec);
  if (type != nullptr) result_type<Data> = Py_NewRef(type);
  return type;
}

// A new instance of the class of Data owning `data`. Throws PythonErrorSet on failure.
template <typename Data>
PyRef new_result(Data data) {
  auto* type_object = reinterpret_cast<PyTypeObject*>(result_type<Data>);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type_object, Py_tp_alloc));
  auto owned = std::make_unique<Data>(std::move(data));
  PyRef object = checked(alloc(type_object, 0));
  reinterpret_cast<ResultObject<Data>*>(object.get())->data = owned.release();
  return object;
}

}  // namespace corvalinth::py
