#include "binding/arguments/named_parameters.hpp"

namespace corvalinth::py {
namespace {

PyRef named_space_class() {
  const PyRef module = checked(PyImport_ImportModule("corvalinth._named"));
  return checked(PyObject_GetAttrString(module.get(), "NamedSpace"));
}

}  // namespace

PyRef named_space_from(PyObject* declaration) {
  return checked(PyObject_CallFunctionObjArgs(named_space_class().get(), declaration, nullptr));
}

bool is_named_space(PyObject* object) {
  const int answer = PyObject_IsInstance(object, named_space_class().get());
  if (answer < 0) throw PythonErrorSet{};
  return answer == 1;
}

PyRef named_point(PyObject* space, const std::vector<double>& point) {
  const PyRef list = new_float_list(point);
  return checked(PyObject_CallMethod(space, "decode", "(O)", list.get()));
}

NamedParameters::NamedParameters(PyObject* declaration)
    : space_(named_space_from(declaration)) {}

PyRef NamedParameters::call(const char* name, PyObject* argument) const {
  return checked(PyObject_CallMethod(space_.get(), name, "(O)", argument));
}

PyRef NamedParameters::call(const char* name, PyObject* argument, bool flag) const {
  return checked(
      PyObject_CallMethod(space_.get(), name, "OO", argument, flag ? Py_True : Py_False));
}

PyObject* NamedParameters::keep(PyRef object) {
  kept_.push_back(std::move(object));
  return kept_.back().get();
}

}  // namespace corvalinth::py
