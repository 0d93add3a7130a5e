// The Python code of a multi-objective run: the objective, a point in (a list of int in integer
// spaces, of float otherwise) and one value per objective out; its vectorised form, the swarm in
// and one row of objectives per particle out; and the iteration callback. Like every adapter they
// keep the first exception in the call's ErrorSlot (which stops the run) and answer with
// placeholders (infinities, or "stop") from then on, without calling Python again.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/python.hpp"
#include "core/mopso/mopso.hpp"

namespace corvalinth::py {

class PythonMultiObjective {
 public:
  PythonMultiObjective(PyObject* objective, ErrorSlot& slot) : objective_(objective), slot_(slot) {}

  void evaluate(std::span<const double> point, std::vector<double>& values);
  void evaluate(std::span<const std::int64_t> point, std::vector<double>& values);

 private:
  // Builds the argument with `make_argument` and calls the objective on it, through the slot.
  template <typename MakeArgument>
  void guarded(MakeArgument make_argument, std::vector<double>& values);
  // Calls the objective with `argument` (a new list) and reads its answer into `values`.
  void call_python(PyObject* argument, std::vector<double>& values);
  // The placeholder answer: one infinity per objective last seen.
  void placeholder(std::vector<double>& values) const;

  PyObject* objective_;
  ErrorSlot& slot_;
  // The number of objectives: 1 until the first answer, then that answer's length. Every later
  // answer must have the same length; the swarm compares objective vectors component by
  // component, so a changing length is an error of the objective, not something to guess around.
  std::size_t n_objectives_ = 1;
  bool answered_ = false;
};

// The vectorised objective: the decoded swarm as one fresh (n, d) float64 array in, an (n, m)
// array-like out (a NumPy array or a sequence of n sequences of m numbers). m is set by the first
// answer; a wrong number of rows, rows of unequal length or a later change of m is a ValueError.
class PythonMultiBatchObjective {
 public:
  PythonMultiBatchObjective(PyObject* objective, ErrorSlot& slot)
      : objective_(objective), slot_(slot) {}

  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    const std::size_t n = swarm.size();
    const bool answered = slot_.run(
        [&] {
          const PyRef array = new_swarm_matrix(space, swarm);
          read_rows(call_one(objective_, array.get()), n, values);
          return true;
        },
        false);
    if (!answered) values.assign(n * n_objectives_, kPlaceholderValue);
  }

 private:
  // Reads the answer's rows back to back into `values`; throws PythonErrorSet on a failure.
  void read_rows(const PyRef& answer, std::size_t n, std::vector<double>& values);

  PyObject* objective_;
  ErrorSlot& slot_;
  std::size_t n_objectives_ = 1;  // as in PythonMultiObjective
  bool answered_ = false;
  std::vector<double> row_;
  std::vector<double> matrix_;  // the matrix read, swapped with the run's buffer
};

// The iteration callback: callback(iteration, front_size); the boolean False stops the run.
class PythonFrontCallback final : public FrontCallback {
 public:
  PythonFrontCallback(PyObject* callback, ErrorSlot& slot) : callback_(callback), slot_(slot) {}
  bool on_iteration(const FrontIterationInfo& info) override;

 private:
  PyObject* callback_;
  ErrorSlot& slot_;
};

}  // namespace corvalinth::py
