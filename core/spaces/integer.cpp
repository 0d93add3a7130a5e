#include "core/spaces/integer.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "core/failure.hpp"

namespace corvalinth {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::string dimension_prefix(std::size_t index) {
  return "dimension " + std::to_string(index);
}

}  // namespace

double round_half_away(double value) { return std::round(value); }

IntegerSpace::IntegerSpace(IntegerBounds bounds) : bounds_(std::move(bounds)) {
  real_bounds_.reserve(bounds_.size());
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    const auto [lo, hi] = bounds_[i];
    if (hi < lo) {
      fail("invalid bound in " + dimension_prefix(i) + ": " + format_number(lo) + " > " +
           format_number(hi));
    }
    // Both signs may be involved, so test the width without computing it in signed arithmetic.
    const std::uint64_t width = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
    if (width > static_cast<std::uint64_t>(kMax)) {
      fail("integer bounds in " + dimension_prefix(i) + " are too wide: " + format_number(lo) +
           " .. " + format_number(hi));
    }
    real_bounds_.emplace_back(static_cast<double>(lo), static_cast<double>(hi));
  }
}

IntegerSpace IntegerSpace::from_real_bounds(const Bounds& bounds) {
  IntegerBounds rounded;
  rounded.reserve(bounds.size());
  for (const auto& [lo, hi] : bounds) rounded.emplace_back(nearest_i64(lo), nearest_i64(hi));
  return IntegerSpace(std::move(rounded));
}

IntegerSpace IntegerSpace::binary(std::size_t dim) {
  return IntegerSpace(IntegerBounds(dim, IntegerBoundPair{0, 1}));
}

void IntegerSpace::init_position(SwarmRng& rng, std::span<double> position) const {
  for (std::size_t i = 0; i < real_bounds_.size(); ++i) {
    position[i] = rng.uniform_closed(real_bounds_[i].first, real_bounds_[i].second);
  }
}

void IntegerSpace::init_velocity(SwarmRng& rng, std::span<double> velocity) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    // The integer difference, converted once: it can differ from the difference of the
    // converted bounds when they are beyond 2^53.
    const double width = static_cast<double>(bounds_[i].second - bounds_[i].first);
    velocity[i] = rng.uniform_closed(-width, width);
  }
}

void IntegerSpace::decode_into(std::span<const double> position,
                               std::vector<std::int64_t>& point) const {
  point.resize(position.size());
  for (std::size_t i = 0; i < position.size(); ++i) {
    const std::int64_t k = nearest_i64(position[i]);
    const auto [lo, hi] = bounds_[i];
    point[i] = k < lo ? lo : (k > hi ? hi : k);
  }
}

std::vector<std::int64_t> IntegerSpace::decode(std::span<const double> position) const {
  std::vector<std::int64_t> point;
  decode_into(position, point);
  return point;
}

}  // namespace corvalinth
