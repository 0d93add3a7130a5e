// The fully informed velocity rule (FIPS): every neighbour's personal best pulls the particle.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// With K informants P_1..P_K and s = phi / max(K, 1): for each dimension d, drawing one unit
// value per informant in order, acc = sum of (P_k[d] - x[d]) * (u * s) and
// new[d] = (acc + v[d]) * chi. K draws per dimension, dimension by dimension.
class FipsRule final : public VelocityRule {
 public:
  // Fails with "FIPS uses constriction: requires φ > 4 (got <phi>)" unless phi > 4.
  explicit FipsRule(double phi);

  void update(const VelocityContext& context, SwarmRng& rng,
              std::span<double> new_velocity) const override;
  bool uses_informants() const override { return true; }

  double phi() const { return phi_; }
  double chi() const { return chi_; }

 private:
  const double phi_;
  const double chi_;
};

}  // namespace corvalinth
