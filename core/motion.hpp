// The step every swarm takes after its velocity rule: limit the new velocity, move, keep the
// velocity. Shared by the single- and multi-objective loops so that both round alike.
#pragma once

#include <optional>
#include <span>

namespace corvalinth {

// Each component c becomes max(-v_max, c) and then min(v_max, that); a comparison with NaN keeps
// c, so a NaN component stays NaN.
inline void limit_velocity(std::span<double> velocity, double v_max) {
  const double low = -v_max;
  for (double& c : velocity) {
    if (c < low) c = low;
    if (c > v_max) c = v_max;
  }
}

// Applies the optional limit to `new_velocity`, adds it to `position` (one addition per
// component) and makes it the particle's velocity.
inline void take_step(std::span<double> new_velocity, std::optional<double> v_max,
                      std::span<double> position, std::span<double> velocity) {
  if (v_max && !new_velocity.empty()) limit_velocity(new_velocity, *v_max);
  for (std::size_t d = 0; d < position.size(); ++d) position[d] = position[d] + new_velocity[d];
  for (std::size_t d = 0; d < velocity.size(); ++d) velocity[d] = new_velocity[d];
}

}  // namespace corvalinth
