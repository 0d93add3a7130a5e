// Out-of-bounds policies shared by the continuous, integer and mixed spaces.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/rng.hpp"

namespace corvalinth {

enum class BoundsHandling : std::uint8_t { Clamp = 0, Reflect = 1, Wrap = 2, Reinit = 3 };

// One (lo, hi) pair per dimension, as every real-valued box of the library holds it.
using BoundPair = std::pair<double, double>;
using Bounds = std::vector<BoundPair>;

// How "reflect" mirrors a coordinate above hi. Both are exact mirrors; they differ in the last bit.
enum class UpperMirror : std::uint8_t {
  HiMinusExcess,  // hi - (x - hi): continuous and mixed spaces
  TwiceHiMinusX,  // (hi - x) + hi: integer spaces
};

// Brings one coordinate that is outside [lo, hi] (or NaN) back by `mode`, adjusting its velocity
// component as the policy says. Only "reinit" draws, and only when the range has a width.
void bring_back(double& x, double& velocity, double lo, double hi, BoundsHandling mode,
                SwarmRng& rng, UpperMirror mirror);

// Applies the policy to every coordinate outside its bound; in-bound coordinates cost two
// comparisons and are left alone, velocity included.
inline void enforce_box(std::span<double> position, std::span<double> velocity,
                        std::span<const BoundPair> bounds, BoundsHandling mode, SwarmRng& rng,
                        UpperMirror mirror) {
  const std::size_t n = position.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double x = position[i];
    const auto [lo, hi] = bounds[i];
    if (lo <= x && x <= hi) continue;
    bring_back(position[i], velocity[i], lo, hi, mode, rng, mirror);
  }
}

// The validity test every real bound pair must pass: hi >= lo and neither is NaN.
inline bool is_valid_bound(double lo, double hi) { return hi >= lo; }

}  // namespace corvalinth
