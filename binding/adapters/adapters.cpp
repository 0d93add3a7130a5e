#include "binding/adapters/adapters.hpp"

#include <cmath>

#include "binding/arguments/objective_rows.hpp"
#include "core/numeric.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {

double PythonPointObjective::evaluate_python(std::span<const double> point) {
  if (callables_.repair == nullptr) return evaluate_list(argument_.fill(point));
  const PyRef repaired = call_one(callables_.repair, new_float_list(point).get());
  const std::vector<double> values = to_f64_list(repaired.get());
  return evaluate_list(argument_.fill(std::span<const double>(values)));
}

double PythonPointObjective::evaluate_python(std::span<const std::int64_t> point) {
  if (callables_.repair == nullptr) return evaluate_list(argument_.fill(point));
  const PyRef repaired = call_one(callables_.repair, new_int_list(point).get());
  const std::vector<double> values = to_f64_list(repaired.get());
  repaired_integers_.resize(values.size());
  for (std::size_t k = 0; k < values.size(); ++k) repaired_integers_[k] = saturating_i64(values[k]);
  return evaluate_list(argument_.fill(std::span<const std::int64_t>(repaired_integers_)));
}

double PythonPointObjective::evaluate_list(PyObject* p) {
  // One list object for the objective and every constraint: a change one of them makes is seen
  // by those called after it.
  const PyRef result = call_one(callables_.objective, p);
  const double f = to_f64(result.get());
  if (callables_.constraints.empty() && callables_.equality_constraints.empty()) return f;

  double violation = 0.0;
  for (const PyRef& g : callables_.constraints) {
    const PyRef value = call_one(g.get(), p);
    violation = violation + squared_inequality_excess(to_f64(value.get()));
  }
  for (const PyRef& h : callables_.equality_constraints) {
    const PyRef value = call_one(h.get(), p);
    const double v = to_f64(value.get());
    violation = violation + squared_equality_excess(v);
  }
  return penalised_value(f, violation, callables_.penalty);
}

void PythonBatchObjective::evaluate_rows(const PyRef& swarm_array, std::size_t n, std::size_t dim,
                                         bool whole_numbers, std::vector<double>& values) {
  PyRef array = PyRef::borrow(swarm_array.get());
  if (callables_.repair != nullptr) {
    array = repaired_rows(callables_.repair, swarm_array, n, dim, whole_numbers);
  }
  read_batch_values(call_one(callables_.objective, array.get()), n, values);
  if (callables_.constraints.empty() && callables_.equality_constraints.empty()) return;

  // Row by row, the violations are summed in the per-particle form's order.
  std::vector<double> violation(n, 0.0);
  for (const PyRef& g : callables_.constraints) {
    read_batch_values(call_one(g.get(), array.get()), n, constraint_values_,
                      "vectorized constraint");
    for (std::size_t i = 0; i < n; ++i) {
      violation[i] = violation[i] + squared_inequality_excess(constraint_values_[i]);
    }
  }
  for (const PyRef& h : callables_.equality_constraints) {
    read_batch_values(call_one(h.get(), array.get()), n, constraint_values_,
                      "vectorized constraint");
    for (std::size_t i = 0; i < n; ++i) {
      violation[i] = violation[i] + squared_equality_excess(constraint_values_[i]);
    }
  }
  for (std::size_t i = 0; i < n; ++i)
    values[i] = penalised_value(values[i], violation[i], callables_.penalty);
}

PyRef repaired_rows(PyObject* repair, const PyRef& array, std::size_t n, std::size_t dim,
                    bool whole_numbers) {
  const PyRef answer = call_one(repair, array.get());
  const ObjectiveRows rows = to_objective_rows(answer.get());
  bool fits = rows.views.size() == n;
  for (const auto& row : rows.views) fits = fits && row.size() == dim;
  if (!fits) {
    raise(PyExc_ValueError, "vectorized repair must return an array of shape (n, dim), " +
                                std::to_string(n) + " x " + std::to_string(dim));
  }
  return numpy::new_matrix(n, dim, [&](std::span<double> data) {
    for (std::size_t k = 0; k < data.size(); ++k) {
      const double value = rows.values[k];
      data[k] = whole_numbers ? static_cast<double>(saturating_i64(value)) : value;
    }
  });
}

bool PythonCallback::on_iteration(const IterationInfo& info) {
  return slot_.run([&] { return call_python(info); }, false);
}

bool PythonCallback::call_python(const IterationInfo& info) {
  const PyRef iteration = checked(PyLong_FromUnsignedLongLong(info.iteration));
  const PyRef best = checked(PyFloat_FromDouble(info.best_value));
  const PyRef answer =
      checked(PyObject_CallFunctionObjArgs(callback_, iteration.get(), best.get(), nullptr));
  return callback_says_go_on(answer);
}

bool callback_says_go_on(const PyRef& answer) {
  if (answer.get() == Py_False) return false;
  if (answer.get() != Py_True && answer.get() != Py_None && is_numpy_bool(answer.get())) {
    const int truth = PyObject_IsTrue(answer.get());
    if (truth < 0) throw PythonErrorSet{};
    return truth != 0;
  }
  return true;
}

void read_float_values(PyObject* answer, std::vector<double>& values) {
  if (numpy::read_float64_vector(answer, values)) return;
  // Bytes are a sequence of ints, but no objective means them as values.
  if (PyBytes_Check(answer) || PyByteArray_Check(answer)) {
    raise(PyExc_TypeError, "must be real number, not " + type_name(answer));
  }
  values = to_f64_list(answer);
}

void read_batch_values(const PyRef& result, std::size_t n, std::vector<double>& values,
                       const char* what) {
  read_float_values(result.get(), values);
  if (values.size() != n) {
    raise(PyExc_ValueError, std::string(what) + " must return one value per row");
  }
}

}  // namespace corvalinth::py
