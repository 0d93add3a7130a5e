// record_evaluations=True: the recorder wraps any objective of the core and passes every value
// through unchanged, so a recorded run is the unrecorded run, bit for bit. It writes an
// EvaluationLog; an evaluation whose user code failed is not recorded. RecordingVectorObjective
// does the same for the objective vectors of a multi-objective run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "binding/results/evaluation_log.hpp"
#include "binding/runtime/error_slot.hpp"
#include "core/mopso/constraint_levels.hpp"
#include "core/swarm.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {

template <typename Objective>
class RecordingObjective {
 public:
  RecordingObjective(Objective& inner, EvaluationLog& log, const ErrorSlot& slot)
      : inner_(inner), log_(log), slot_(slot) {}

  // A value is a number, or a value with its violation in a run ranked by feasibility, whose
  // record keeps the value.
  template <typename Element>
  auto evaluate(std::span<const Element> point) {
    const auto value = inner_.evaluate(point);
    if (!slot_.holds_error()) log_.add(point, recorded(value));
    return value;
  }

  template <typename Space, typename Value>
    requires requires(Objective& inner, const Space& space, const Swarm& swarm,
                      std::vector<Value>& values) { inner.evaluate_batch(space, swarm, values); }
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<Value>& values) {
    inner_.evaluate_batch(space, swarm, values);
    if (slot_.holds_error()) return;
    const std::size_t rows = std::min(values.size(), swarm.size());
    for (std::size_t i = 0; i < rows; ++i) {
      const auto point = space.decode(swarm.position(i));
      log_.add(std::span<const typename Space::Element>(point), recorded(values[i]));
    }
  }

 private:
  static double recorded(double value) { return value; }
  static double recorded(ConstrainedValue value) { return value.value; }

  Objective& inner_;
  EvaluationLog& log_;
  const ErrorSlot& slot_;
};

template <typename Objective>
class RecordingVectorObjective {
 public:
  RecordingVectorObjective(Objective& inner, EvaluationLog& log, const ErrorSlot& slot)
      : inner_(inner), log_(log), slot_(slot) {}

  template <typename Element>
  void evaluate(std::span<const Element> point, std::vector<double>& values) {
    inner_.evaluate(point, values);
    if (!slot_.holds_error()) log_.add(point, std::span<const double>(values));
  }

  // A matrix of another shape than n rows of equal length is refused by the run, unrecorded.
  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    inner_.evaluate_batch(space, swarm, values);
    const std::size_t n = swarm.size();
    if (slot_.holds_error() || n == 0 || values.size() % n != 0) return;
    const std::size_t m = values.size() / n;
    if (log_.columns != 0 && log_.columns != space.dim() + m) return;
    for (std::size_t i = 0; i < n; ++i) {
      const auto point = space.decode(swarm.position(i));
      log_.add(std::span<const typename Space::Element>(point),
               std::span<const double>(values).subspan(i * m, m));
    }
  }

  // The violations of a constrained objective pass through to the run
  // (core/mopso/constraint_levels.hpp), so a failing constraint leaves its evaluation unrecorded.
  double violation() const
    requires ReportsViolation<Objective>
  {
    return inner_.violation();
  }
  std::span<const double> violations() const
    requires ReportsViolations<Objective>
  {
    return inner_.violations();
  }

 private:
  Objective& inner_;
  EvaluationLog& log_;
  const ErrorSlot& slot_;
};

// `start(objective)`, or `start(recorder)` with a `Recorder` of `objective` writing into `log`
// when the evaluations are recorded.
template <template <typename> class Recorder = RecordingObjective, typename Objective,
          typename Start>
auto recorded_if(bool record, Objective& objective, EvaluationLog& log, const ErrorSlot& slot,
                 Start&& start) {
  if (record) {
    Recorder<Objective> recorder(objective, log, slot);
    return start(recorder);
  }
  return start(objective);
}

}  // namespace corvalinth::py
