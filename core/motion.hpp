// The steps every swarm takes, shared by the single- and multi-objective loops so that both draw
// and round alike: starting a particle (with an optional warm start), and the step after the
// velocity rule (limit the new velocity, move, keep the velocity).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "core/rng.hpp"
#include "core/swarm.hpp"

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

// Copies `from` into `to`, which has at least as many elements.
inline void copy_values(std::span<const double> from, std::span<double> to) {
  for (std::size_t d = 0; d < from.size(); ++d) to[d] = from[d];
}

// Draws particle i's starting position and then its velocity from `space`. A warm start then
// replaces the position: `warm_positions` holds the starting points of particles 0, 1, ... back
// to back (dim values each), and particle i takes its row when there is one. The draws happen
// all the same, so the generator's stream is the same with or without a warm start. The
// position is also the particle's first personal best position. Kept out of line: it runs once
// per particle, and inlined it made the run loop that also moves particles measurably slower.
template <typename Space>
[[gnu::noinline]] void start_particle(const Space& space, SwarmRng& rng, Swarm& swarm, std::size_t i,
                    const std::vector<double>& warm_positions) {
  space.init_position(rng, swarm.position(i));
  space.init_velocity(rng, swarm.velocity(i));
  const std::size_t dim = swarm.dim();
  if (dim != 0 && (i + 1) * dim <= warm_positions.size()) {
    copy_values(std::span<const double>(warm_positions.data() + i * dim, dim), swarm.position(i));
  }
  copy_values(swarm.position(i), swarm.best_position(i));
}

}  // namespace corvalinth
