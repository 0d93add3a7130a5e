#include "binding/adapters/adapters.hpp"

#include <algorithm>
#include <cmath>

#include "binding/arguments/objective_rows.hpp"
#include "core/numeric.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {

PyObject* PythonPointObjective::argument_of(std::span<const double> point) {
  if (callables_.repair == nullptr) return argument_.fill(point);
  const PyRef repaired = call_one(callables_.repair, new_float_list(point).get());
  const std::vector<double> values = to_f64_list(repaired.get());
  return argument_.fill(std::span<const double>(values));
}

PyObject* PythonPointObjective::argument_of(std::span<const std::int64_t> point) {
  if (callables_.repair == nullptr) return argument_.fill(point);
  const PyRef repaired = call_one(callables_.repair, new_int_list(point).get());
  const std::vector<double> values = to_f64_list(repaired.get());
  repaired_integers_.resize(values.size());
  for (std::size_t k = 0; k < values.size(); ++k) repaired_integers_[k] = saturating_i64(values[k]);
  return argument_.fill(std::span<const std::int64_t>(repaired_integers_));
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

ConstrainedValue PythonPointObjective::ranked_list(PyObject* p) {
  // The same calls in the same order as evaluate_list.
  const PyRef result = call_one(callables_.objective, p);
  const double f = to_f64(result.get());
  double violation = 0.0;
  for (const PyRef& g : callables_.constraints) {
    const PyRef value = call_one(g.get(), p);
    violation = violation + inequality_violation(to_f64(value.get()));
  }
  for (const PyRef& h : callables_.equality_constraints) {
    const PyRef value = call_one(h.get(), p);
    violation = violation + equality_violation(to_f64(value.get()), callables_.equality_tol);
  }
  return {f, violation};
}

PyRef PythonBatchObjective::objective_rows(const PyRef& swarm_array, std::size_t n, std::size_t dim,
                                           bool whole_numbers, std::vector<double>& values) {
  PyRef array = PyRef::borrow(swarm_array.get());
  if (callables_.repair != nullptr) {
    array = repaired_rows(callables_.repair, swarm_array, n, dim, whole_numbers);
  }
  read_batch_values(call_one(callables_.objective, array.get()), n, values);
  return array;
}

template <typename InequalityTerm, typename EqualityTerm>
void PythonBatchObjective::sum_constraint_terms(const PyRef& array, std::size_t n,
                                                std::vector<double>& totals,
                                                InequalityTerm inequality, EqualityTerm equality) {
  totals.assign(n, 0.0);
  for (const PyRef& g : callables_.constraints) {
    read_batch_values(call_one(g.get(), array.get()), n, constraint_values_,
                      "vectorized constraint");
    for (std::size_t i = 0; i < n; ++i) totals[i] = totals[i] + inequality(constraint_values_[i]);
  }
  for (const PyRef& h : callables_.equality_constraints) {
    read_batch_values(call_one(h.get(), array.get()), n, constraint_values_,
                      "vectorized constraint");
    for (std::size_t i = 0; i < n; ++i) totals[i] = totals[i] + equality(constraint_values_[i]);
  }
}

void PythonBatchObjective::evaluate_rows(const PyRef& swarm_array, std::size_t n, std::size_t dim,
                                         bool whole_numbers, std::vector<double>& values) {
  const PyRef array = objective_rows(swarm_array, n, dim, whole_numbers, values);
  if (callables_.constraints.empty() && callables_.equality_constraints.empty()) return;
  // Row by row, the violations are summed in the per-particle form's order.
  std::vector<double> violation;
  sum_constraint_terms(array, n, violation, squared_inequality_excess, squared_equality_excess);
  for (std::size_t i = 0; i < n; ++i)
    values[i] = penalised_value(values[i], violation[i], callables_.penalty);
}

void PythonBatchObjective::ranked_rows(const PyRef& swarm_array, std::size_t n, std::size_t dim,
                                       bool whole_numbers, std::vector<ConstrainedValue>& values) {
  const PyRef array = objective_rows(swarm_array, n, dim, whole_numbers, plain_values_);
  std::vector<double> violation;
  const double tol = callables_.equality_tol;
  sum_constraint_terms(array, n, violation, inequality_violation,
                       [tol](double h) { return equality_violation(h, tol); });
  values.clear();
  for (std::size_t i = 0; i < n; ++i) values.push_back({plain_values_[i], violation[i]});
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

bool takes_intermediate_result(PyObject* callback) {
  const PyRef inspect = PyRef::steal(PyImport_ImportModule("inspect"));
  PyRef parameters;
  if (inspect) {
    const PyRef signature =
        PyRef::steal(PyObject_CallMethod(inspect.get(), "signature", "O", callback));
    if (signature) parameters = PyRef::steal(PyObject_GetAttrString(signature.get(), "parameters"));
  }
  if (!parameters) {
    PyErr_Clear();  // no readable signature (some builtins): the two-argument form
    return false;
  }
  if (PyObject_Length(parameters.get()) != 1) {
    PyErr_Clear();
    return false;
  }
  const int found = PySequence_Contains(parameters.get(), new_str("intermediate_result").get());
  if (found < 0) throw PythonErrorSet{};
  return found == 1;
}

PythonCallback::PythonCallback(PyObject* callback, ErrorSlot& slot)
    : callback_(callback), slot_(slot) {
  if (takes_intermediate_result(callback)) {
    const PyRef types = checked(PyImport_ImportModule("types"));
    snapshot_type_ = checked(PyObject_GetAttrString(types.get(), "SimpleNamespace"));
  }
}

PyRef PythonCallback::snapshot(const IterationInfo& info) const {
  const std::size_t dim = info.best_position.size();
  const std::size_t particles = dim == 0 ? 0 : info.positions.size() / dim;
  const PyRef fields = checked(PyDict_New());
  const auto put = [&](const char* name, PyRef value) {
    if (PyDict_SetItemString(fields.get(), name, value.get()) != 0) throw PythonErrorSet{};
  };
  put("iteration", checked(PyLong_FromUnsignedLongLong(info.iteration)));
  put("evaluations", checked(PyLong_FromUnsignedLongLong(info.evaluations)));
  put("best_value", checked(PyFloat_FromDouble(info.best_value)));
  put("best_position", new_float_list(info.best_position));
  put("positions", numpy::new_matrix(particles, dim, [&](std::span<double> out) {
        std::copy(info.positions.begin(), info.positions.begin() + out.size(), out.begin());
      }));
  const PyRef no_arguments = checked(PyTuple_New(0));
  return checked(PyObject_Call(snapshot_type_.get(), no_arguments.get(), fields.get()));
}

bool PythonCallback::on_iteration(const IterationInfo& info) {
  return slot_.run([&] { return call_python(info); }, false);
}

bool PythonCallback::call_python(const IterationInfo& info) {
  if (snapshot_type_) {
    const PyRef no_arguments = checked(PyTuple_New(0));
    const PyRef keywords = checked(PyDict_New());
    if (PyDict_SetItemString(keywords.get(), "intermediate_result", snapshot(info).get()) != 0) {
      throw PythonErrorSet{};
    }
    const PyRef answer = checked(PyObject_Call(callback_, no_arguments.get(), keywords.get()));
    return callback_says_go_on(answer);
  }
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
