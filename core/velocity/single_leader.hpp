// The walk over the dimensions that the single-leader rules (inertia, constriction) share.
#pragma once

#include <cstddef>
#include <span>

#include "core/contracts.hpp"

namespace corvalinth {

// For every dimension d in order: draws u1, then u2, then writes
// new_velocity[d] = component(x[d], v[d], p[d], g[d], u1, u2), where x, v, p and g are the
// context's position, velocity, personal best and neighbourhood best.
template <typename Component>
void update_each_dimension(const VelocityContext& context, SwarmRng& rng,
                           std::span<double> new_velocity, Component component) {
  const double* x = context.position.data();
  const double* v = context.velocity.data();
  const double* p = context.personal_best.data();
  const double* g = context.neighbourhood_best.data();
  const std::size_t dim = context.position.size();
  for (std::size_t d = 0; d < dim; ++d) {
    const double u1 = rng.unit();
    const double u2 = rng.unit();
    new_velocity[d] = component(x[d], v[d], p[d], g[d], u1, u2);
  }
}

}  // namespace corvalinth
