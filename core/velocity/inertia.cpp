#include "core/velocity/inertia.hpp"

namespace corvalinth {

void InertiaRule::update(const VelocityContext& context, SwarmRng& rng,
                         std::span<double> new_velocity) const {
  const double* x = context.position.data();
  const double* v = context.velocity.data();
  const double* p = context.personal_best.data();
  const double* g = context.neighbourhood_best.data();
  const std::size_t dim = context.position.size();
  for (std::size_t d = 0; d < dim; ++d) {
    const double u1 = rng.unit();
    const double u2 = rng.unit();
    new_velocity[d] = ((p[d] - x[d]) * (u1 * c1_) + v[d] * w_) + (g[d] - x[d]) * (u2 * c2_);
  }
}

}  // namespace corvalinth
