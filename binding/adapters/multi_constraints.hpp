// The constraints of a multi-objective run: each wraps the run's objective and measures the total
// violation of every point it evaluates (core/mopso/constraint_levels.hpp reads it), by the rules
// of core/violation.hpp. Every constraint is handed its own fresh argument, as the objective is:
// the point as a list per point, the whole swarm as an (n, dim) array in the vectorised form.
// Once user code has raised, nothing more is called and the violation is +inf.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/adapters/violation_report.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/runtime/error_slot.hpp"

namespace corvalinth::py {

// The constraint callables (the objective and repair fields unused) and the equality tolerance.
struct FrontConstraints {
  PointCallables callables;
  double equality_tol = 1e-4;

  bool any() const {
    return !callables.constraints.empty() || !callables.equality_constraints.empty();
  }
};

template <typename Inner>
class ConstrainedVectorObjective {
 public:
  ConstrainedVectorObjective(Inner& inner, const FrontConstraints& constraints, ErrorSlot& slot)
      : inner_(inner), constraints_(constraints), slot_(slot) {}

  template <typename Element>
  void evaluate(std::span<const Element> point, std::vector<double>& values) {
    inner_.evaluate(point, values);
    violation_ = slot_.run(
        [&] {
          return violation_at(constraints_.callables, constraints_.equality_tol, false,
                              [&] { return new_point_list(point); });
        },
        kPlaceholderValue);
  }

  double violation() const { return violation_; }

 private:
  Inner& inner_;
  const FrontConstraints& constraints_;
  ErrorSlot& slot_;
  double violation_ = 0.0;
};

template <typename Inner>
class ConstrainedMatrixObjective {
 public:
  ConstrainedMatrixObjective(Inner& inner, const FrontConstraints& constraints, ErrorSlot& slot)
      : inner_(inner), constraints_(constraints), slot_(slot) {}

  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    inner_.evaluate_batch(space, swarm, values);
    const std::size_t n = swarm.size();
    const bool answered = slot_.run(
        [&] {
          row_violations(
              constraints_.callables, constraints_.equality_tol, n,
              [&] { return new_swarm_matrix(space, swarm); }, violations_);
          return true;
        },
        false);
    if (!answered) violations_.assign(n, kPlaceholderValue);
  }

  std::span<const double> violations() const { return violations_; }

 private:
  Inner& inner_;
  const FrontConstraints& constraints_;
  ErrorSlot& slot_;
  std::vector<double> violations_;
};

}  // namespace corvalinth::py
