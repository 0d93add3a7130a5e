// The archive's crossover: a particle that takes it does not fly in that iteration; its new
// position is a child of two archive members by simulated binary crossover (distribution index
// 20), then polynomial mutation (polynomial_mutation.hpp). Genetic variation among the leaders
// spreads the front where the flight alone keeps to the leaders' neighbourhoods, most of all as
// the dimension grows.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>

#include "core/mopso/polynomial_mutation.hpp"
#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// One bounded spread factor of simulated binary crossover, for the gap `gap` between the parents
// and the room `room` beyond the parent on that side (0 when that parent is outside the box),
// with the draw r:
//   beta = 1 + (room * 2) / gap; alpha = 2 - pow(beta, -21)
//   r <= 1 / alpha: betaq = pow(r * alpha, 1 / 21)
//   else:           betaq = pow(1 / (2 - r * alpha), 1 / 21)
inline double sbx_spread(double room, double gap, double r) {
  constexpr double kPower = 21.0;  // distribution index + 1
  constexpr double kExponent = 1.0 / 21.0;
  const double beta = 1.0 + ((room > 0.0 ? room : 0.0) * 2.0) / gap;
  const double alpha = 2.0 - std::pow(beta, -kPower);
  if (r <= 1.0 / alpha) return std::pow(r * alpha, kExponent);
  return std::pow(1.0 / (2.0 - r * alpha), kExponent);
}

// Writes into `child` (the particle's position) a child of `first` and `second`. For each
// dimension k in order, u = unit(); when u <= 0.5 and the parents differ by more than 1e-14
// (y1 the smaller value, y2 the larger, [lo, hi] the box), r = unit() gives both children
//   c1 = ((y1 + y2) - sbx_spread(y1 - lo, y2 - y1, r) * (y2 - y1)) * 0.5
//   c2 = ((y1 + y2) + sbx_spread(hi - y2, y2 - y1, r) * (y2 - y1)) * 0.5
// each limited to [lo, hi], and a coin (the top bit of next_u32()) takes c2 when set, else c1;
// otherwise the child keeps first[k]. Then the child takes polynomial mutation.
inline void archive_crossover(std::span<const double> first, std::span<const double> second,
                              std::span<double> child, const Bounds& box, SwarmRng& rng) {
  for (std::size_t k = 0; k < child.size(); ++k) {
    const double u = rng.unit();
    const double y1 = first[k] < second[k] ? first[k] : second[k];
    const double y2 = first[k] < second[k] ? second[k] : first[k];
    const double gap = y2 - y1;
    if (!(u <= 0.5) || !(gap > 1e-14)) {
      child[k] = first[k];
      continue;
    }
    const double r = rng.unit();
    const auto [lo, hi] = box[k];
    double c1 = ((y1 + y2) - sbx_spread(y1 - lo, gap, r) * gap) * 0.5;
    double c2 = ((y1 + y2) + sbx_spread(hi - y2, gap, r) * gap) * 0.5;
    if (c1 < lo) c1 = lo;
    if (c1 > hi) c1 = hi;
    if (c2 < lo) c2 = lo;
    if (c2 > hi) c2 = hi;
    child[k] = (rng.next_u32() >> 31) != 0 ? c2 : c1;
  }
  polynomial_mutation(child, box, rng);
}

}  // namespace corvalinth
