#include "core/spaces/continuous.hpp"

#include <string>

#include "core/failure.hpp"

namespace corvalinth {

void check_bound_pair(const char* what, std::size_t index, double lo, double hi) {
  if (is_valid_bound(lo, hi)) return;
  fail(std::string("invalid bound in ") + what + " " + std::to_string(index) + ": " +
       format_number(lo) + " > " + format_number(hi));
}

ContinuousSpace::ContinuousSpace(Bounds bounds) : bounds_(std::move(bounds)) {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    check_bound_pair("dimension", i, bounds_[i].first, bounds_[i].second);
  }
}

void ContinuousSpace::init_position(SwarmRng& rng, std::span<double> position) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    position[i] = rng.uniform_closed(bounds_[i].first, bounds_[i].second);
  }
}

void ContinuousSpace::init_velocity(SwarmRng& rng, std::span<double> velocity) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    const double width = bounds_[i].second - bounds_[i].first;
    velocity[i] = rng.uniform_closed(-width, width);
  }
}

}  // namespace corvalinth
