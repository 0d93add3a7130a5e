#include "core/velocity/speed_constrained.hpp"

#include "core/velocity/constriction.hpp"

namespace corvalinth {

SpeedConstrainedRule::SpeedConstrainedRule(const Bounds& box) {
  delta_.reserve(box.size());
  for (const auto& [lo, hi] : box) delta_.push_back((hi - lo) * 0.5);
}

void SpeedConstrainedRule::update(const VelocityContext& context, SwarmRng& rng,
                                  std::span<double> new_velocity) const {
  const double r1 = rng.unit();
  const double r2 = rng.unit();
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
    double c = (((p[d] - x[d]) * (r1 * c1) + v[d] * 0.1) + (g[d] - x[d]) * (r2 * c2)) * chi;
    const double limit = d < delta_.size() ? delta_[d] : 0.0;
    if (c < -limit) c = -limit;
    if (c > limit) c = limit;
    new_velocity[d] = c;
  }
}

}  // namespace corvalinth
