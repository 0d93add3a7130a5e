// Polynomial mutation (distribution index 20), the turbulence of the speed-constrained swarms:
// a bounded perturbation whose size follows a polynomial distribution, small steps being likely.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>

#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// The particles that take it: every sixth one, from particle 0.
inline bool polynomial_mutation_applies(std::size_t particle) { return particle % 6 == 0; }

// For each dimension k in order, u = unit(); when u < 1 / D (D dimensions) a second draw
// r = unit() moves x = position[k] within its box [lo, hi] (unless hi - lo > 0 fails, when the
// draw is made and nothing moves):
//   d1 = (x - lo) / (hi - lo); d2 = (hi - x) / (hi - lo); e = 1 / 21;
//   r <= 0.5: q = pow((r * 2) + (1 - r * 2) * pow(1 - d1, 21), e) - 1
//   else:     q = 1 - pow((1 - r) * 2 + (r - 0.5) * 2 * pow(1 - d2, 21), e)
//   x = x + q * (hi - lo), then limited to [lo, hi] (NaN stays NaN).
// The velocity is left alone.

inline void polynomial_mutation(std::span<double> position, const Bounds& box, SwarmRng& rng) {
  const std::size_t dim = position.size();
  const double probability = 1.0 / static_cast<double>(dim);
  constexpr double kPower = 21.0;  // distribution index + 1
  constexpr double kExponent = 1.0 / 21.0;
  for (std::size_t k = 0; k < dim; ++k) {
    if (!(rng.unit() < probability)) continue;
    const double r = rng.unit();
    const auto [lo, hi] = box[k];
    const double width = hi - lo;
    if (!(width > 0.0)) continue;
    double& x = position[k];
    double q;
    if (r <= 0.5) {
      const double d1 = (x - lo) / width;
      q = std::pow(r * 2.0 + (1.0 - r * 2.0) * std::pow(1.0 - d1, kPower), kExponent) - 1.0;
    } else {
      const double d2 = (hi - x) / width;
      q = 1.0 - std::pow((1.0 - r) * 2.0 + (r - 0.5) * 2.0 * std::pow(1.0 - d2, kPower), kExponent);
    }
    x = x + q * width;
    if (x < lo) x = lo;
    if (x > hi) x = hi;
  }
}

}  // namespace corvalinth
