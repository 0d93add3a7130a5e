// The constraint rules: the quadratic penalty a penalised run adds to a point's value, and the
// total violation that results report.
//
// Penalty: f + penalty * v, v the sum of max(0, g)**2 over the inequalities and h**2 over the
// equalities, in that order (a NaN g counts as satisfied). A point with v == 0 keeps f itself: an
// infinite penalty times zero would otherwise turn every feasible point into NaN (and -0.0 into
// +0.0).
//
// Violation: An inequality g(x) <= 0 contributes
// max(0, g); an equality h(x) = 0 contributes max(0, |h| - tol), the tolerance making a
// numerically satisfied equality count as satisfied. A NaN constraint value contributes +inf: a
// point whose constraints cannot be evaluated is never reported feasible.
#pragma once

#include <cmath>
#include <limits>
#include <span>

namespace corvalinth {

// One inequality value's term of the penalty sum v.
inline double squared_inequality_excess(double g) {
  const double excess = g > 0.0 ? g : 0.0;
  return excess * excess;
}

// One equality value's term of the penalty sum v.
inline double squared_equality_excess(double h) { return h * h; }

// The penalised value of a point of value f whose terms sum to v.
inline double penalised_value(double f, double v, double penalty) {
  if (v == 0.0) return f;
  return f + penalty * v;
}

// The contribution of one inequality constraint value g (feasible when g <= 0).
inline double inequality_violation(double g) {
  if (std::isnan(g)) return std::numeric_limits<double>::infinity();
  return g > 0.0 ? g : 0.0;
}

// The contribution of one equality constraint value h (feasible when |h| <= tol).
inline double equality_violation(double h, double tol) {
  if (std::isnan(h)) return std::numeric_limits<double>::infinity();
  const double excess = std::fabs(h) - tol;
  return excess > 0.0 ? excess : 0.0;
}

// A point's value as a penalised run sees it, and its total violation.
struct ConstrainedValue {
  double value;
  double violation;
};

// Both at once, from the objective value `f` and the constraint values in the caller's order.
inline ConstrainedValue constrained_value(double f, std::span<const double> inequalities,
                                          std::span<const double> equalities, double penalty,
                                          double equality_tol) {
  double v = 0.0;
  double violation = 0.0;
  for (const double g : inequalities) {
    v = v + squared_inequality_excess(g);
    violation = violation + inequality_violation(g);
  }
  for (const double h : equalities) {
    v = v + squared_equality_excess(h);
    violation = violation + equality_violation(h, equality_tol);
  }
  return {penalised_value(f, v, penalty), violation};
}

}  // namespace corvalinth
