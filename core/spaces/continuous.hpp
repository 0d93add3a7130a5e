// ContinuousSpace: a box of real numbers. The objective sees the position itself.
#pragma once

#include <span>
#include <vector>

#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

class ContinuousSpace {
 public:
  using Element = double;
  // Decoding copies the position unchanged, so the run loop may hand the position over directly.
  static constexpr bool kDecodeIsIdentity = true;

  // Fails with "invalid bound in dimension i: lo > hi" at the first pair with hi < lo or a NaN.
  explicit ContinuousSpace(Bounds bounds);

  std::size_t dim() const { return bounds_.size(); }
  const Bounds& bounds() const { return bounds_; }

  // One uniform_closed draw on [lo, hi] per dimension, in dimension order.
  void init_position(SwarmRng& rng, std::span<double> position) const;
  // One uniform_closed draw on [-w, w] per dimension, w = hi - lo.
  void init_velocity(SwarmRng& rng, std::span<double> velocity) const;

  void enforce_bounds(std::span<double> position, std::span<double> velocity,
                      BoundsHandling mode, SwarmRng& rng) const {
    enforce_box(position, velocity, bounds_, mode, rng, UpperMirror::HiMinusExcess);
  }

  void decode_into(std::span<const double> position, std::vector<double>& point) const {
    point.assign(position.begin(), position.end());
  }
  std::vector<double> decode(std::span<const double> position) const {
    return {position.begin(), position.end()};
  }

 private:
  Bounds bounds_;
};

// Shared by the real-valued spaces: fails with "invalid bound in <what> i: lo > hi".
void check_bound_pair(const char* what, std::size_t index, double lo, double hi);

}  // namespace corvalinth
