// How far a point is from satisfying its constraints: the total violation that results report
// and that the feasibility rules rank infeasible points by. An inequality g(x) <= 0 contributes
// max(0, g); an equality h(x) = 0 contributes max(0, |h| - tol), the tolerance making a
// numerically satisfied equality count as satisfied. A NaN constraint value contributes +inf: a
// point whose constraints cannot be evaluated is never reported feasible.
#pragma once

#include <cmath>
#include <limits>

namespace corvalinth {

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

}  // namespace corvalinth
