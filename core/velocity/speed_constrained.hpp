// The speed-constrained rule of multi-objective swarms: constriction with acceleration
// coefficients drawn afresh for every move, then a per-variable speed limit of half the
// variable's width, so that no particle crosses more than half its box in one step.
#pragma once

#include <vector>

#include "core/contracts.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// Per move: c1 = 1.5 + unit(), then c2 = 1.5 + unit(); with phi = c1 + c2,
// chi = constriction_factor(phi) when phi > 4, else 1. Then for every dimension d in order,
// u1 = unit(), u2 = unit() and
//   new[d] = (((p[d] - x[d]) * (u1 * c1) + v[d] * w) + (g[d] - x[d]) * (u2 * c2)) * chi,
// limited to [-delta[d], delta[d]] with delta[d] = (hi[d] - lo[d]) * 0.5 (raised to -delta when
// below, lowered to delta when above; NaN stays NaN).
class SpeedConstrainedRule final : public VelocityRule {
 public:
  // `box` holds one (lo, hi) pair per dimension: the box the speed limits derive from.
  SpeedConstrainedRule(double w, const Bounds& box);

  void update(const VelocityContext& context, SwarmRng& rng,
              std::span<double> new_velocity) const override;
  bool uses_informants() const override { return false; }

 private:
  const double w_;
  std::vector<double> delta_;
};

}  // namespace corvalinth
