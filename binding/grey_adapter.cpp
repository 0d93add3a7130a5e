#include "binding/grey_adapter.hpp"

#include "binding/adapters.hpp"
#include "binding/convert.hpp"
#include "binding/errors.hpp"

namespace corvalinth::py {
namespace {

PyRef new_float_pair(double first, double second) {
  PyRef pair = PyRef::steal(PyTuple_New(2));
  if (!pair) throw PythonErrorSet{};
  PyObject* a = PyFloat_FromDouble(first);
  if (a == nullptr) throw PythonErrorSet{};
  PyTuple_SetItem(pair.get(), 0, a);  // steals a
  PyObject* b = PyFloat_FromDouble(second);
  if (b == nullptr) throw PythonErrorSet{};
  PyTuple_SetItem(pair.get(), 1, b);
  return pair;
}

}  // namespace

double PythonGreyObjective::evaluate(std::span<const GreyNumber> point) {
  return slot_.run([&] { return call_python(point); }, kPlaceholderValue);
}

double PythonGreyObjective::call_python(std::span<const GreyNumber> point) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(point.size())));
  if (!list) throw PythonErrorSet{};
  for (std::size_t k = 0; k < point.size(); ++k) {
    const auto [center, spread] = point[k];
    PyRef pair = representation_ == GreyRepresentation::Interval
                     ? new_float_pair(center - spread, center + spread)
                     : new_float_pair(center, spread);
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), pair.release());
  }
  const PyRef answer = call_one(objective_, list.get());
  if (!answer) throw PythonErrorSet{};
  return to_f64(answer.get());
}

}  // namespace corvalinth::py
