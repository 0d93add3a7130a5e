#include "binding/adapters/grey_adapter.hpp"

#include <utility>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/numpy_api.hpp"

namespace corvalinth::py {
namespace {

PyRef new_float_pair(double first, double second) {
  PyRef pair = checked(PyTuple_New(2));
  PyObject* a = PyFloat_FromDouble(first);
  if (a == nullptr) throw PythonErrorSet{};
  PyTuple_SetItem(pair.get(), 0, a);  // steals a
  PyObject* b = PyFloat_FromDouble(second);
  if (b == nullptr) throw PythonErrorSet{};
  PyTuple_SetItem(pair.get(), 1, b);
  return pair;
}

// The pair a grey number is shown as in `representation`.
std::pair<double, double> shown_pair(const GreyNumber& grey, GreyRepresentation representation) {
  const auto [center, spread] = grey;
  if (representation == GreyRepresentation::Interval) {
    return {center - spread, center + spread};
  }
  return {center, spread};
}

}  // namespace

double PythonGreyObjective::evaluate(std::span<const GreyNumber> point) {
  return slot_.run([&] { return call_python(point); }, kPlaceholderValue);
}

double PythonGreyObjective::call_python(std::span<const GreyNumber> point) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(point.size())));
  for (std::size_t k = 0; k < point.size(); ++k) {
    const auto [first, second] = shown_pair(point[k], representation_);
    PyRef pair = new_float_pair(first, second);
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), pair.release());
  }
  const PyRef answer = call_one(objective_, list.get());
  return to_f64(answer.get());
}

}  // namespace corvalinth::py

namespace corvalinth::py {

void PythonGreyBatchObjective::evaluate_batch(const GreySpace& space, const Swarm& swarm,
                                              std::vector<double>& values) {
  const std::size_t n = swarm.size();
  const std::size_t variables = space.variables();
  const bool answered = slot_.run(
      [&] {
        const PyRef flat = numpy::new_matrix(n, 2 * variables, [&](std::span<double> data) {
          for (std::size_t i = 0; i < n; ++i) {
            space.decode_into(swarm.position(i), point_);
            for (std::size_t v = 0; v < variables; ++v) {
              const auto [first, second] = shown_pair(point_[v], representation_);
              data[(i * variables + v) * 2] = first;
              data[(i * variables + v) * 2 + 1] = second;
            }
          }
        });
        const PyRef array = checked(
            PyObject_CallMethod(flat.get(), "reshape", "nnn", static_cast<Py_ssize_t>(n),
                                static_cast<Py_ssize_t>(variables), static_cast<Py_ssize_t>(2)));
        read_batch_values(call_one(objective_, array.get()), n, values);
        return true;
      },
      false);
  if (!answered) values.assign(n, kPlaceholderValue);
}

}  // namespace corvalinth::py
