// The differential child of the archive's crossover (`crossover="de"`): a leader moved by half the
// difference of two personal bests, then polynomial mutation. The difference of two particles'
// best points is as long as the swarm is wide in each direction, so the step shrinks as the swarm
// settles but keeps reaching other basins while the swarm still spans them, where the children of
// two nearby leaders stay between them.
#pragma once

#include <cstddef>
#include <span>

#include "core/mopso/polynomial_mutation.hpp"
#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// Writes into `child` (the particle's position), for each dimension k,
//   child[k] = base[k] + (first[k] - second[k]) * 0.5
// limited to the box [lo, hi] (NaN stays NaN); then the child takes polynomial mutation. Draws
// nothing but the mutation's.
inline void differential_child(std::span<const double> base, std::span<const double> first,
                               std::span<const double> second, std::span<double> child,
                               const Bounds& box, SwarmRng& rng) {
  for (std::size_t k = 0; k < child.size(); ++k) {
    const auto [lo, hi] = box[k];
    double value = base[k] + (first[k] - second[k]) * 0.5;
    if (value < lo) value = lo;
    if (value > hi) value = hi;
    child[k] = value;
  }
  polynomial_mutation(child, box, rng);
}

}  // namespace corvalinth
