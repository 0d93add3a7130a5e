#include "core/spaces/mixed.hpp"

#include <cmath>

#include "core/failure.hpp"
#include "core/spaces/continuous.hpp"

namespace corvalinth {

std::optional<VarType> var_type_from_name(std::string_view name) {
  if (name == "real" || name == "float" || name == "continuous") return VarType::Real;
  if (name == "integer" || name == "int") return VarType::Integer;
  if (name == "binary" || name == "bin") return VarType::Binary;
  return std::nullopt;
}

MixedSpace::MixedSpace(Bounds bounds, std::vector<VarType> types)
    : bounds_(std::move(bounds)), types_(std::move(types)) {
  require_eq(static_cast<std::uint64_t>(bounds_.size()), static_cast<std::uint64_t>(types_.size()),
             "bounds and types must have the same length");
  integer_bounds_.resize(bounds_.size());
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    if (types_[i] == VarType::Binary) {
      bounds_[i] = {0.0, 1.0};
      continue;
    }
    check_bound_pair("dimension", i, bounds_[i].first, bounds_[i].second);
    // Rounding keeps order, so the rounded pair is ordered too.
    integer_bounds_[i] = {nearest_i64(bounds_[i].first), nearest_i64(bounds_[i].second)};
  }
}

void MixedSpace::init_position(SwarmRng& rng, std::span<double> position) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    position[i] = rng.uniform_closed(bounds_[i].first, bounds_[i].second);
  }
}

void MixedSpace::init_velocity(SwarmRng& rng, std::span<double> velocity) const {
  for (std::size_t i = 0; i < bounds_.size(); ++i) {
    const double width = bounds_[i].second - bounds_[i].first;
    velocity[i] = rng.uniform_closed(-width, width);
  }
}

void MixedSpace::decode_into(std::span<const double> position, std::vector<double>& point) const {
  point.resize(position.size());
  for (std::size_t i = 0; i < position.size(); ++i) {
    const double x = position[i];
    switch (types_[i]) {
      case VarType::Real:
        point[i] = x;
        break;
      case VarType::Integer: {
        const std::int64_t k = nearest_i64(x);
        const auto [lo, hi] = integer_bounds_[i];
        point[i] = static_cast<double>(k < lo ? lo : (k > hi ? hi : k));
        break;
      }
      case VarType::Binary: {
        const double r = round_half_away(x);
        point[i] = r < 0.0 ? 0.0 : (r > 1.0 ? 1.0 : r);  // a NaN r fails both tests
        break;
      }
    }
  }
}

std::vector<double> MixedSpace::decode(std::span<const double> position) const {
  std::vector<double> point;
  decode_into(position, point);
  return point;
}

}  // namespace corvalinth
