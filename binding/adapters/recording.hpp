// record_evaluations=True: the recorder wraps any objective of the core and passes every value
// through unchanged, so a recorded run is the unrecorded run, bit for bit. It writes an
// EvaluationLog; an evaluation whose user code failed is not recorded.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "binding/results/evaluation_log.hpp"
#include "binding/runtime/error_slot.hpp"
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

}  // namespace corvalinth::py
