// The constriction velocity rule and the constriction factor it shares with FIPS.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// chi = 2 / |(2 - phi) - sqrt(phi * (-4) + phi * phi)|, for phi > 4. Returns NaN otherwise; the
// rules check phi themselves so that each can word its own failure.
double constriction_factor(double phi);

// new[d] = (((p[d] - x[d]) * (u1 * c1) + v[d]) + (g[d] - x[d]) * (u2 * c2)) * chi.
class ConstrictionRule final : public VelocityRule {
 public:
  // Fails with "constriction requires c1 + c2 > 4 (got <c1 + c2>)" unless c1 + c2 > 4.
  explicit ConstrictionRule(double c1, double c2);

  void update(const VelocityContext& context, SwarmRng& rng,
              std::span<double> new_velocity) const override;
  bool uses_informants() const override { return false; }

  double c1() const { return c1_; }
  double c2() const { return c2_; }
  double chi() const { return chi_; }

 private:
  const double c1_;
  const double c2_;
  const double chi_;
};

}  // namespace corvalinth
