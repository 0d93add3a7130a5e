// The feasibility rules by which a run with ConstraintHandling::Feasibility ranks its points,
// instead of adding a penalty to their values.
//
// A point is ranked by the pair (violation, value): its total violation (core/violation.hpp, 0
// exactly when feasible) and its objective value. A feasible point beats an infeasible one, two
// infeasible points compare by violation, two feasible ones by value: the pairs compare
// lexicographically, violation first. Two points of equal violation that are both infeasible
// compare by value too, which only breaks ties the rules leave open.
//
// NaN: each component follows the NaN rule of core/numeric.hpp (NaN ranks after every number). A
// violation is never NaN when it comes from constraint values (a NaN constraint value counts as
// +inf), so a NaN objective value only loses against a point of the same violation. Two points
// whose components are equal or NaN in the same places rank equal; the minimum rule keeps the
// earlier of them.
//
// A restart's forgotten personal best ranks (+inf, +inf): any point of finite violation replaces
// it.
//
// Progress (stagnation and the restart policy): a best improved beyond tol when it became
// feasible, when it stayed infeasible and its violation fell by more than tol, or when it stayed
// feasible and its value fell by more than tol. With every violation 0 each rule here is the
// plain rule on values.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/numeric.hpp"
#include "core/swarm.hpp"
#include "core/violation.hpp"

namespace corvalinth {

// How a run with constraints compares its points.
enum class ConstraintHandling : std::uint8_t {
  Penalty = 0,      // the objective adds the quadratic penalty; values compare as numbers
  Feasibility = 1,  // the objective reports (value, violation); points rank by the rules above
};

// The unpenalised value and total violation of a point, from the objective value `f` and the
// constraint values in the caller's order.
inline ConstrainedValue ranked_value(double f, std::span<const double> inequalities,
                                     std::span<const double> equalities, double equality_tol) {
  double violation = 0.0;
  for (const double g : inequalities) violation = violation + inequality_violation(g);
  for (const double h : equalities) violation = violation + equality_violation(h, equality_tol);
  return {f, violation};
}

// True when `candidate` ranks strictly before `incumbent`.
inline bool ranks_better(ConstrainedValue candidate, ConstrainedValue incumbent) {
  if (is_better(candidate.violation, incumbent.violation)) return true;
  if (is_better(incumbent.violation, candidate.violation)) return false;
  return is_better(candidate.value, incumbent.value);
}

// True when neither ranks before the other.
inline bool ranks_equal(ConstrainedValue a, ConstrainedValue b) {
  return !ranks_better(a, b) && !ranks_better(b, a);
}

// True when `now` improved on `previous` by more than `tol`, in the sense stated above.
inline bool improved_beyond(ConstrainedValue previous, ConstrainedValue now, double tol) {
  if (now.violation == 0.0) {
    return previous.violation != 0.0 || previous.value - now.value > tol;
  }
  return previous.violation - now.violation > tol;
}

// Particle j's personal best as a ranked pair.
inline ConstrainedValue ranked_best(const Swarm& swarm, std::span<const double> violations,
                                    std::size_t j) {
  return {swarm.best_value(j), violations[j]};
}

// The minimum rule under the ranking: the first listed index with the best rank. `indices` must
// not be empty.
inline std::size_t best_ranked(std::span<const std::size_t> indices, const Swarm& swarm,
                               std::span<const double> violations) {
  std::size_t choice = indices[0];
  for (std::size_t k = 1; k < indices.size(); ++k) {
    const std::size_t j = indices[k];
    if (ranks_better(ranked_best(swarm, violations, j), ranked_best(swarm, violations, choice))) {
      choice = j;
    }
  }
  return choice;
}

// The same rule over every particle, in index order. The swarm must not be empty.
inline std::size_t best_ranked_of_swarm(const Swarm& swarm, std::span<const double> violations) {
  std::size_t choice = 0;
  for (std::size_t j = 1; j < swarm.size(); ++j) {
    if (ranks_better(ranked_best(swarm, violations, j), ranked_best(swarm, violations, choice))) {
      choice = j;
    }
  }
  return choice;
}

// Objectives of runs ranked by feasibility: the per-particle form answers a ConstrainedValue per
// point; the batch form writes one per particle, in swarm order, into `values`.
template <typename O, typename Element>
concept RankedParticleObjective = requires(O& objective, std::span<const Element> point) {
  { objective.evaluate(point) } -> std::same_as<ConstrainedValue>;
};

template <typename O, typename Space>
concept RankedBatchObjective = requires(O& objective, const Space& space, const Swarm& swarm,
                                        std::vector<ConstrainedValue>& values) {
  objective.evaluate_batch(space, swarm, values);
};

}  // namespace corvalinth
