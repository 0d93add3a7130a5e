#include "core/spaces/grey.hpp"

#include <cmath>
#include <string>

#include "core/failure.hpp"
#include "core/numeric.hpp"
#include "core/spaces/continuous.hpp"

namespace corvalinth {
namespace {

// a below lo, b above hi, otherwise v itself, so a NaN v stays NaN.
double clamp_keeping_nan(double v, double lo, double hi) {
  if (v < lo) return lo;
  if (v > hi) return hi;
  return v;
}

}  // namespace

GreySpace::GreySpace(Bounds bounds, std::vector<double> max_spread)
    : bounds_(std::move(bounds)), max_spread_(std::move(max_spread)) {
  require_eq(static_cast<std::uint64_t>(bounds_.size()),
             static_cast<std::uint64_t>(max_spread_.size()),
             "bounds and max_spread must have the same length");
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    check_bound_pair("variable", i, bounds_[i].first, bounds_[i].second);
    const double cap = max_spread_[i];
    if (!(cap >= 0.0)) {
      fail("negative max spread in variable " + std::to_string(i) + ": " + format_number(cap));
    }
  }
}

double GreySpace::room(std::size_t variable, double center) const {
  const auto [lo, hi] = bounds_[variable];
  return max_ignoring_nan(
      0.0, min_ignoring_nan(min_ignoring_nan(center - lo, hi - center), max_spread_[variable]));
}

void GreySpace::init_position(SwarmRng& rng, std::span<double> position) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    const double center = rng.uniform_closed(bounds_[i].first, bounds_[i].second);
    const double spread = rng.uniform_closed(0.0, room(i, center));
    position[2 * i] = center;
    position[2 * i + 1] = spread;
  }
}

void GreySpace::init_velocity(SwarmRng& rng, std::span<double> velocity) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    const double width = bounds_[i].second - bounds_[i].first;
    velocity[2 * i] = rng.uniform_closed(-width, width);
    const double reach = max_ignoring_nan(0.0, min_ignoring_nan(width * 0.5, max_spread_[i]));
    velocity[2 * i + 1] = rng.uniform_closed(-reach, reach);
  }
}

void GreySpace::enforce_bounds(std::span<double> position, std::span<double> /*velocity*/,
                               BoundsHandling /*mode*/, SwarmRng& /*rng*/) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    const double center = clamp_keeping_nan(position[2 * i], bounds_[i].first, bounds_[i].second);
    position[2 * i] = center;
    position[2 * i + 1] = clamp_keeping_nan(position[2 * i + 1], 0.0, room(i, center));
  }
}

void GreySpace::decode_into(std::span<const double> position,
                            std::vector<GreyNumber>& point) const {
  const std::size_t n = position.size() / 2;
  point.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    point[i] = GreyNumber{position[2 * i], std::fabs(position[2 * i + 1])};
  }
}

std::vector<GreyNumber> GreySpace::decode(std::span<const double> position) const {
  std::vector<GreyNumber> point;
  decode_into(position, point);
  return point;
}

}  // namespace corvalinth
