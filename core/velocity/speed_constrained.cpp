#include "core/velocity/speed_constrained.hpp"

#include "core/velocity/constriction.hpp"

namespace corvalinth {

SpeedConstrainedRule::SpeedConstrainedRule(double w, const Bounds& box) : w_(w) {
  delta_.reserve(box.size());
  for (const auto& [lo, hi] : box) delta_.push_back((hi - lo) * 0.5);
}

void SpeedConstrainedRule::update(const VelocityContext& context, SwarmRng& rng,
                                  std::span<double> new_velocity) const {
  const double c1 = 1.5 + rng.unit();
  const double c2 = 1.5 + rng.unit();
  const double phi = c1 + c2;
  const double chi = phi > 4.0 ? constriction_factor(phi) : 1.0;
  const double* x = context.position.data();
  const double* v = context.velocity.data();
  const double* p = context.personal_best.data();
  const double* g = context.neighbourhood_best.data();
  const std::size_t dim = context.position.size();
  for (std::size_t d = 0; d < dim; ++d) {
    const double u1 = rng.unit();
    const double u2 = rng.unit();
    double c = (((p[d] - x[d]) * (u1 * c1) + v[d] * w_) + (g[d] - x[d]) * (u2 * c2)) * chi;
    const double limit = delta_[d];
    if (c < -limit) c = -limit;
    if (c > limit) c = limit;
    new_velocity[d] = c;
  }
}

}  // namespace corvalinth
