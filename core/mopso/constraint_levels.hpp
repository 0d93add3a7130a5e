// Constrained domination in a multi-objective run: what replaces Pareto dominance when the
// objective also reports each point's total violation (core/violation.hpp, 0 exactly when
// feasible).
//
// A feasible point dominates an infeasible one, of two infeasible points the smaller violation
// dominates, and between equal violations (two feasible points among them) Pareto dominance
// decides. A NaN violation ranks after every number (core/numeric.hpp).
//
// Members of an archive that no member dominates all have one violation, the archive's level:
// the archive holds the least-violating points offered so far until a feasible one arrives, and
// from then on only feasible points. So offering a point needs no change to the Pareto archive:
// a point of a better level empties it first, a point of a worse level is turned away, a point
// of the level is offered as before. An unconstrained run reports 0 for every point: every point
// is of level 0 and nothing changes, not even the order of random draws.
#pragma once

#include <concepts>
#include <cstddef>
#include <span>
#include <vector>

#include "core/numeric.hpp"

namespace corvalinth {

// Objectives with constraints: after evaluate(), violation() is the point's total violation;
// after evaluate_batch(), violations() holds one per particle, in swarm order.
template <typename O>
concept ReportsViolation = requires(const O& objective) {
  { objective.violation() } -> std::convertible_to<double>;
};
template <typename O>
concept ReportsViolations = requires(const O& objective) {
  { objective.violations() } -> std::convertible_to<std::span<const double>>;
};

class ConstraintLevels {
 public:
  // What to do with a point offered to the archive.
  enum class Admission { TurnAway, Offer, EmptyThenOffer };

  explicit ConstraintLevels(std::size_t particles)
      : evaluated_(particles, 0.0), best_(particles, 0.0) {}

  // The violation of particle i's latest evaluation; of every particle's, in swarm order.
  void evaluated(std::size_t i, double violation) { evaluated_[i] = violation; }
  void evaluated_all(std::span<const double> violations) {
    for (std::size_t i = 0; i < evaluated_.size() && i < violations.size(); ++i) {
      evaluated_[i] = violations[i];
    }
  }
  double of_evaluation(std::size_t i) const { return evaluated_[i]; }

  // Particle i's latest evaluation against its personal best: +1 when the violation alone makes
  // it the better one, -1 when it makes it the worse, 0 when the violations are equal and Pareto
  // dominance (and the coin) decide.
  int against_personal_best(std::size_t i) const {
    if (is_better(evaluated_[i], best_[i])) return 1;
    if (is_better(best_[i], evaluated_[i])) return -1;
    return 0;
  }
  // Particle i's latest evaluation became its personal best.
  void took_personal_best(std::size_t i) { best_[i] = evaluated_[i]; }
  double of_personal_best(std::size_t i) const { return best_[i]; }
  // Particle i's personal best became a point of `violation` (the population step).
  void set_personal_best(std::size_t i, double violation) { best_[i] = violation; }

  // Where a point of `violation` stands with the archive; an admitted point sets the level.
  Admission admit(double violation) {
    if (!has_level_ || is_better(violation, level_)) {
      const bool empty_first = has_level_;
      has_level_ = true;
      level_ = violation;
      return empty_first ? Admission::EmptyThenOffer : Admission::Offer;
    }
    return is_better(level_, violation) ? Admission::TurnAway : Admission::Offer;
  }

  // The violation every archive member has (0 before anything was offered).
  double level() const { return has_level_ ? level_ : 0.0; }

 private:
  std::vector<double> evaluated_;
  std::vector<double> best_;
  bool has_level_ = false;
  double level_ = 0.0;
};

}  // namespace corvalinth
