#include "binding/front_ends/driven_object.hpp"

#include <string>
#include <string_view>
#include <unordered_set>

namespace corvalinth::py {

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

}  // namespace corvalinth::py
