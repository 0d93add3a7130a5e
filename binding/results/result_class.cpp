#include "binding/results/result_class.hpp"

#include <string>

namespace corvalinth::py {

PyObject* refuse_construction(PyTypeObject* type, PyObject*, PyObject*) {
  const PyRef name = PyRef::steal(PyType_GetName(type));
  if (!name) return nullptr;
  const char* text = PyUnicode_AsUTF8AndSize(name.get(), nullptr);
  if (text == nullptr) return nullptr;
  PyErr_SetString(PyExc_TypeError, (std::string("No constructor defined for ") + text).c_str());
  return nullptr;
}

}  // namespace corvalinth::py
