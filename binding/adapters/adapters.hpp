// The Python code behind the core's contracts: the single-point objective (with repair,
// inequality and equality constraints and their penalty), the iteration callback and the batch
// objective of vectorised runs. User code that raises never throws through the core: the adapter
// keeps the exception in the call's ErrorSlot, answers with a placeholder (+inf, or "stop"), and
// calls no more Python code; the slot asks the run to stop at once.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/numpy_api.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/contracts.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {

inline constexpr double kPlaceholderValue = std::numeric_limits<double>::infinity();

// Calls `callable(argument)`; throws PythonErrorSet when it raises.
inline PyRef call_one(PyObject* callable, PyObject* argument) {
  return checked(PyObject_CallFunctionObjArgs(callable, argument, nullptr));
}

// The list a point is handed to user code in. When user code kept no reference to the previous
// evaluation's list, that list is refilled instead of building a new one: nobody can tell the
// difference, and a list allocation and free per evaluation is a large part of the cost of
// calling a cheap Python objective.
class ArgumentList {
 public:
  // The point as a list of float (or of int for integer points); a borrowed reference valid until
  // the next call.
  PyObject* fill(std::span<const double> point) { return fill_with(point, PyFloat_FromDouble); }
  PyObject* fill(std::span<const std::int64_t> point) {
    return fill_with(point, PyLong_FromLongLong);
  }

 private:
  template <typename Element, typename MakeItem>
  PyObject* fill_with(std::span<const Element> point, MakeItem make_item) {
    const auto length = static_cast<Py_ssize_t>(point.size());
    const bool reusable =
        list_ && Py_REFCNT(list_.get()) == 1 && PyList_Size(list_.get()) == length;
    if (!reusable) {
      list_ = checked(PyList_New(length));
    }
    for (Py_ssize_t k = 0; k < length; ++k) {
      PyObject* item = make_item(point[static_cast<std::size_t>(k)]);
      if (item == nullptr) throw PythonErrorSet{};
      PyList_SetItem(list_.get(), k, item);  // steals item, releases the one it replaces
    }
    return list_.get();
  }

  PyRef list_;
};

// What a Python objective of `minimize` comes with. All references are borrowed from the call's
// arguments, which outlive the run.
struct PointCallables {
  PyObject* objective = nullptr;
  PyObject* repair = nullptr;  // null when not given
  std::span<const PyRef> constraints;
  std::span<const PyRef> equality_constraints;
  double penalty = 1e6;
  double equality_tol = 1e-4;  // for the violations a run ranked by feasibility is told
};

// Single-point objective: a point becomes a new list (of int in integer spaces, of float
// otherwise) handed to the repair operator, the objective and the constraints.
class PythonPointObjective {
 public:
  PythonPointObjective(const PointCallables& callables, ErrorSlot& slot)
      : callables_(callables), slot_(slot) {}

  double evaluate(std::span<const double> point) { return guarded(point); }
  double evaluate(std::span<const std::int64_t> point) { return guarded(point); }

  // The point's unpenalised value and total violation, for a run ranked by feasibility; the
  // placeholder ranks last.
  template <typename Element>
  ConstrainedValue evaluate_ranked(std::span<const Element> point) {
    return slot_.run([&] { return ranked_list(argument_of(point)); },
                     ConstrainedValue{kPlaceholderValue, kPlaceholderValue});
  }

 private:
  template <typename Element>
  double guarded(std::span<const Element> point) {
    return slot_.run([&] { return evaluate_list(argument_of(point)); }, kPlaceholderValue);
  }

  // The argument list user code sees for the point, repaired when a repair is given; borrowed,
  // valid until the next evaluation.
  PyObject* argument_of(std::span<const double> point);
  PyObject* argument_of(std::span<const std::int64_t> point);
  // Objective, constraints and penalty on the argument list `p`.
  double evaluate_list(PyObject* p);
  // Objective and total violation on the argument list `p`.
  ConstrainedValue ranked_list(PyObject* p);

  const PointCallables& callables_;
  ErrorSlot& slot_;
  std::vector<std::int64_t> repaired_integers_;
  ArgumentList argument_;
};

// Reads a callback's answer: the boolean False (Python's or NumPy's) stops the run, anything else
// lets it go on. Throws PythonErrorSet when the truth of a NumPy boolean cannot be read.
bool callback_says_go_on(const PyRef& answer);

// The iteration callback: callback(iteration, best_value); the boolean False stops the run.
// The iteration callback: `callback(iteration, best_value)`, or, when its one parameter is named
// `intermediate_result` (scipy's convention), `callback(intermediate_result=snapshot)` with a
// namespace of `iteration`, `evaluations`, `best_value`, `best_position` (raw) and `positions`
// (the raw swarm as a fresh (n, dim) float64 array).
class PythonCallback final : public IterationCallback {
 public:
  PythonCallback(PyObject* callback, ErrorSlot& slot);
  bool on_iteration(const IterationInfo& info) override;

 private:
  // Calls the callback and reads its answer; throws PythonErrorSet on a failure.
  bool call_python(const IterationInfo& info);
  PyRef snapshot(const IterationInfo& info) const;

  PyObject* callback_;
  ErrorSlot& slot_;
  PyRef snapshot_type_;  // types.SimpleNamespace when the callback takes a snapshot, else null
};

// True when `callback`'s signature has exactly one parameter, named `intermediate_result`; false
// also when its signature cannot be read.
bool takes_intermediate_result(PyObject* callback);

// The decoded swarm as a fresh (n, dim) float64 array, row i holding particle i's point.
template <typename Space>
PyRef new_swarm_matrix(const Space& space, const Swarm& swarm) {
  const std::size_t n = swarm.size();
  const std::size_t dim = space.dim();
  std::vector<typename Space::Element> point;
  return numpy::new_matrix(n, dim, [&](std::span<double> data) {
    for (std::size_t i = 0; i < n; ++i) {
      space.decode_into(swarm.position(i), point);
      for (std::size_t d = 0; d < dim; ++d) data[i * dim + d] = static_cast<double>(point[d]);
    }
  });
}

// A list of numbers read into `values`: a one-dimensional float64 array, or any sequence of
// numbers. Throws PythonErrorSet on failure.
void read_float_values(PyObject* answer, std::vector<double>& values);

// Reads a vectorised objective's answer, one value per row of its `n`-row argument, into
// `values`; throws PythonErrorSet on a failure (a ValueError naming `what` for a wrong length).
void read_batch_values(const PyRef& result, std::size_t n, std::vector<double>& values,
                       const char* what = "vectorized objective");

// What a vectorised objective of `minimize` comes with: the same callables as the per-particle
// form, each taking the whole (n, dim) array. References are borrowed from the call's arguments.
using BatchCallables = PointCallables;

// The batch objective of vectorised runs: the whole swarm as one fresh (n, d) float64 array in,
// one value per row out. `repair` maps the array to an (n, d) array that the objective and the
// constraints see instead; each constraint answers one value per row, and row i gets the same
// penalty as the per-particle form gives point i.
class PythonBatchObjective {
 public:
  PythonBatchObjective(const BatchCallables& callables, ErrorSlot& slot)
      : callables_(callables), slot_(slot) {}

  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    const std::size_t n = swarm.size();
    const bool answered = slot_.run(
        [&] {
          const PyRef array = new_swarm_matrix(space, swarm);
          evaluate_rows(array, n, space.dim(),
                        std::is_same_v<typename Space::Element, std::int64_t>, values);
          return true;
        },
        false);
    if (!answered) values.assign(n, kPlaceholderValue);
  }

  // Each row's unpenalised value and total violation, for a run ranked by feasibility; the
  // placeholder ranks last.
  template <typename Space>
  void evaluate_batch_ranked(const Space& space, const Swarm& swarm,
                             std::vector<ConstrainedValue>& values) {
    const std::size_t n = swarm.size();
    const bool answered = slot_.run(
        [&] {
          const PyRef array = new_swarm_matrix(space, swarm);
          ranked_rows(array, n, space.dim(), std::is_same_v<typename Space::Element, std::int64_t>,
                      values);
          return true;
        },
        false);
    if (!answered) values.assign(n, ConstrainedValue{kPlaceholderValue, kPlaceholderValue});
  }

 private:
  // Repair and objective on the (n, dim) array, the objective's values into `values`; returns
  // the array the constraints see.
  PyRef objective_rows(const PyRef& array, std::size_t n, std::size_t dim, bool whole_numbers,
                       std::vector<double>& values);
  // Every constraint on `array`, each row's terms summed into `totals` in the per-particle order:
  // `inequality(g)` for each inequality value, `equality(h)` for each equality value.
  template <typename InequalityTerm, typename EqualityTerm>
  void sum_constraint_terms(const PyRef& array, std::size_t n, std::vector<double>& totals,
                            InequalityTerm inequality, EqualityTerm equality);
  void ranked_rows(const PyRef& array, std::size_t n, std::size_t dim, bool whole_numbers,
                   std::vector<ConstrainedValue>& values);

  // Repair, objective, constraints and penalties on the (n, dim) array; `whole_numbers` truncates
  // the repaired values toward zero, as the per-particle form does in integer spaces.
  void evaluate_rows(const PyRef& array, std::size_t n, std::size_t dim, bool whole_numbers,
                     std::vector<double>& values);

  const BatchCallables& callables_;
  ErrorSlot& slot_;
  std::vector<double> constraint_values_;
  std::vector<double> plain_values_;
};

// A Python objective seen by a run ranked by feasibility (core/feasibility.hpp): each point's
// value and total violation instead of a penalised value.
template <typename Inner>
class RankedObjective {
 public:
  explicit RankedObjective(Inner& inner) : inner_(inner) {}

  template <typename Element>
  ConstrainedValue evaluate(std::span<const Element> point) {
    return inner_.evaluate_ranked(point);
  }

  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm,
                      std::vector<ConstrainedValue>& values) {
    inner_.evaluate_batch_ranked(space, swarm, values);
  }

 private:
  Inner& inner_;
};

// `repair`'s answer to an (n, dim) array, read as an (n, dim) float64 array (rows in order);
// ValueError when its shape differs. `whole_numbers` truncates each value toward zero with
// saturation. Throws PythonErrorSet on a failure.
PyRef repaired_rows(PyObject* repair, const PyRef& array, std::size_t n, std::size_t dim,
                    bool whole_numbers);

}  // namespace corvalinth::py
