// The inertia velocity rule, the default.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// new[d] = ((p[d] - x[d]) * (u1 * c1) + v[d] * w) + (g[d] - x[d]) * (u2 * c2), with two unit
// draws per dimension (u1 first) taken before the dimension is computed.
class InertiaRule final : public VelocityRule {
 public:
  explicit InertiaRule(double w, double c1, double c2) : w_(w), c1_(c1), c2_(c2) {}

  void update(const VelocityContext& context, SwarmRng& rng,
              std::span<double> new_velocity) const override;
  bool uses_informants() const override { return false; }

  double w() const { return w_; }
  double c1() const { return c1_; }
  double c2() const { return c2_; }

 private:
  const double w_;
  const double c1_;
  const double c2_;
};

}  // namespace corvalinth
