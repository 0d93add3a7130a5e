// IntegerSpace: integer variables searched continuously. Particles move through real positions
// exactly as in a continuous box over the same bounds; only decoding rounds them, so personal and
// global bests keep their real positions. The binary space is the IntegerSpace with (0, 1) in
// every dimension.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/numeric.hpp"
#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

using IntegerBoundPair = std::pair<std::int64_t, std::int64_t>;
using IntegerBounds = std::vector<IntegerBoundPair>;

// Rounds to the nearest integer, halves away from zero (0.5 -> 1, -0.5 -> -1, 2.5 -> 3).
double round_half_away(double value);

// Rounds half away from zero, then converts with saturation: how every real value becomes an
// integer in the integer and mixed spaces.
inline std::int64_t nearest_i64(double value) { return saturating_i64(round_half_away(value)); }

class IntegerSpace {
 public:
  using Element = std::int64_t;

  // Fails with "invalid bound in dimension i: lo > hi" at the first pair with hi < lo, and with
  // "integer bounds in dimension i are too wide: lo .. hi" when hi - lo does not fit a signed
  // 64-bit integer (its velocity range would be undefined).
  explicit IntegerSpace(IntegerBounds bounds);

  // Each real bound rounded half away from zero and converted with saturation (NaN gives 0).
  static IntegerSpace from_real_bounds(const Bounds& bounds);
  // `dim` dimensions, each with the bounds (0, 1).
  static IntegerSpace binary(std::size_t dim);

  std::size_t dim() const { return bounds_.size(); }
  // The bounds converted to doubles: the real box the particles move in.
  const Bounds& bounds() const { return real_bounds_; }
  const IntegerBounds& integer_bounds() const { return bounds_; }

  // One uniform_closed draw on [lo, hi] (as doubles) per dimension, in dimension order.
  void init_position(SwarmRng& rng, std::span<double> position) const;
  // One uniform_closed draw on [-w, w] per dimension, w the integer width hi - lo as a double.
  void init_velocity(SwarmRng& rng, std::span<double> velocity) const;

  // The shared policies on the real box; "reflect" mirrors at the top as (hi - x) + hi.
  void enforce_bounds(std::span<double> position, std::span<double> velocity,
                      BoundsHandling mode, SwarmRng& rng) const {
    enforce_box(position, velocity, real_bounds_, mode, rng, UpperMirror::TwiceHiMinusX);
  }

  // Each coordinate rounded half away from zero, saturated, then clamped to its bounds.
  void decode_into(std::span<const double> position, std::vector<std::int64_t>& point) const;
  std::vector<std::int64_t> decode(std::span<const double> position) const;

 private:
  IntegerBounds bounds_;
  Bounds real_bounds_;  // bounds_ as doubles, cached for the hot bounds test
};

}  // namespace corvalinth
