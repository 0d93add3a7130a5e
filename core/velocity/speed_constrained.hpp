// The speed-constrained rule of multi-objective swarms: constriction with coefficients drawn
// afresh for every move, then a per-variable speed limit of half the variable's width.
#pragma once

#include <vector>

#include "core/contracts.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// Per move, four draws in this order: r1 = unit(), r2 = unit(), c1 = 1.5 + unit(),
// c2 = 1.5 + unit(). With phi = c1 + c2, chi = constriction_factor(phi) when phi > 4, else 1.
// Then for every dimension d:
//   new[d] = (((p[d] - x[d]) * (r1 * c1) + v[d] * 0.1) + (g[d] - x[d]) * (r2 * c2)) * chi,
// limited to [-delta[d], delta[d]] with delta[d] = (hi[d] - lo[d]) * 0.5 (raised to -delta when
// below, lowered to delta when above; NaN stays NaN).
class SpeedConstrainedRule final : public VelocityRule {
 public:
  // One (lo, hi) pair per dimension: the box the speed limits derive from.
  explicit SpeedConstrainedRule(const Bounds& box);

  void update(const VelocityContext& context, SwarmRng& rng,
              std::span<double> new_velocity) const override;
  bool uses_informants() const override { return false; }

 private:
  std::vector<double> delta_;
};

}  // namespace corvalinth
