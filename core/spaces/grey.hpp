// GreySpace: every variable is an interval [center - spread, center + spread] that must stay
// inside the variable's limits, with a spread no larger than the variable's cap. The swarm
// searches the pairs (center, spread) laid out one after the other, center first, and every move
// is followed by a projection onto the feasible region instead of an out-of-bounds policy.
#pragma once

#include <span>
#include <vector>

#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// A decoded grey number: its center and its (non-negative) spread, the half-width.
struct GreyNumber {
  double center;
  double spread;

  bool operator==(const GreyNumber& other) const = default;
};

class GreySpace {
 public:
  using Element = GreyNumber;

  // Fails with an equality assertion "bounds and max_spread must have the same length" (left:
  // the number of bounds, right: the number of caps); then, variable by variable, with
  // "invalid bound in variable i: lo > hi" unless hi >= lo (no NaN), or with
  // "negative max spread in variable i: cap" unless cap >= 0 (no NaN). A cap of +inf means
  // no cap beyond the bounds.
  GreySpace(Bounds bounds, std::vector<double> max_spread);

  // Two coordinates per grey variable.
  std::size_t dim() const { return 2 * bounds_.size(); }
  std::size_t variables() const { return bounds_.size(); }
  const Bounds& bounds() const { return bounds_; }
  const std::vector<double>& max_spread() const { return max_spread_; }

  // Per variable: center drawn on [lo, hi], then spread drawn on [0, room(center)].
  void init_position(SwarmRng& rng, std::span<double> position) const;
  // Per variable: center component on [-w, w] (w = hi - lo), then spread component on [-a, a]
  // with a = max(0, min(w * 0.5, cap)).
  void init_velocity(SwarmRng& rng, std::span<double> velocity) const;

  // Projects the position onto the feasible region: the center is clamped to [lo, hi] first,
  // then the spread to [0, room(center)]. The velocity, the policy and the generator play no
  // part; a NaN center stays NaN and leaves the spread capped by the cap alone.
  void enforce_bounds(std::span<double> position, std::span<double> velocity,
                      BoundsHandling mode, SwarmRng& rng) const;

  // The pairs (center, |spread|).
  void decode_into(std::span<const double> position, std::vector<GreyNumber>& point) const;
  std::vector<GreyNumber> decode(std::span<const double> position) const;

  // The largest spread a variable may have around `center`:
  // max(0, min(min(center - lo, hi - center), cap)), where min and max ignore a NaN operand.
  double room(std::size_t variable, double center) const;

 private:
  Bounds bounds_;
  std::vector<double> max_spread_;
};

}  // namespace corvalinth
