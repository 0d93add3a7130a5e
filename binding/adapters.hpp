// The Python code behind the core's contracts: the single-point objective (with repair,
// inequality and equality constraints and their penalty), the iteration callback and the batch
// objective of vectorised runs. User code that raises never interrupts the core: the adapter
// keeps the exception in the call's ErrorSlot, answers with a placeholder (+inf, or "stop"), and
// calls no more Python code for the rest of the run.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "convert.hpp"
#include "error_slot.hpp"
#include "numpy_api.hpp"
#include "py_ref.hpp"
#include "python.hpp"
#include "traits.hpp"

namespace corvalinth::py {

inline constexpr double kPlaceholderValue = std::numeric_limits<double>::infinity();

// Calls `callable(argument)`; a null result means a Python error is set.
inline PyRef call_one(PyObject* callable, PyObject* argument) {
  return PyRef::steal(PyObject_CallFunctionObjArgs(callable, argument, nullptr));
}

// What a Python objective of `minimize` comes with. All references are borrowed from the call's
// arguments, which outlive the run.
struct PointCallables {
  PyObject* objective = nullptr;
  PyObject* repair = nullptr;  // null when not given
  std::span<const PyRef> constraints;
  std::span<const PyRef> equality_constraints;
  double penalty = 1e6;
};

// Single-point objective: a point becomes a new list (of int in integer spaces, of float
// otherwise) handed to the repair operator, the objective and the constraints.
class PythonPointObjective {
 public:
  PythonPointObjective(const PointCallables& callables, ErrorSlot& slot)
      : callables_(callables), slot_(slot) {}

  double evaluate(std::span<const double> point) { return guarded(point); }
  double evaluate(std::span<const std::int64_t> point) { return guarded(point); }

 private:
  template <typename Element>
  double guarded(std::span<const Element> point) {
    if (slot_.holds_error()) return kPlaceholderValue;
    try {
      return evaluate_python(point);
    } catch (const PythonErrorSet&) {
      slot_.capture_pending();
      return kPlaceholderValue;
    }
  }

  double evaluate_python(std::span<const double> point);
  double evaluate_python(std::span<const std::int64_t> point);
  // Objective, constraints and penalty on the argument list `p`.
  double evaluate_list(PyObject* p);

  const PointCallables& callables_;
  ErrorSlot& slot_;
  std::vector<std::int64_t> repaired_integers_;
};

// The iteration callback: callback(iteration, best_value); the boolean False stops the run.
class PythonCallback final : public IterationCallback {
 public:
  PythonCallback(PyObject* callback, ErrorSlot& slot) : callback_(callback), slot_(slot) {}
  bool on_iteration(const IterationInfo& info) override;

 private:
  PyObject* callback_;
  ErrorSlot& slot_;
};

// The batch objective of vectorised runs: the whole swarm as one fresh (n, d) float64 array in,
// one value per row out.
class PythonBatchObjective {
 public:
  PythonBatchObjective(PyObject* objective, ErrorSlot& slot) : objective_(objective), slot_(slot) {}

  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    const std::size_t n = swarm.size();
    if (!slot_.holds_error()) {
      try {
        const std::size_t dim = space.dim();
        std::vector<typename Space::Element> point;
        const PyRef array = numpy::new_matrix(n, dim, [&](std::span<double> data) {
          for (std::size_t i = 0; i < n; ++i) {
            space.decode_into(swarm.position(i), point);
            for (std::size_t d = 0; d < dim; ++d) {
              data[i * dim + d] = static_cast<double>(point[d]);
            }
          }
        });
        read_values(call_one(objective_, array.get()), n, values);
        return;
      } catch (const PythonErrorSet&) {
        slot_.capture_pending();
      }
    }
    values.assign(n, kPlaceholderValue);
  }

 private:
  // Reads the objective's answer into `values`; throws PythonErrorSet on a failure.
  static void read_values(const PyRef& result, std::size_t n, std::vector<double>& values);

  PyObject* objective_;
  ErrorSlot& slot_;
};

}  // namespace corvalinth::py
