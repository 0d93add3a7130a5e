// MixedSpace: each dimension is real, integer or binary. Particles move through real positions
// exactly as in the continuous box; decoding rounds the integer and binary dimensions and hands
// them to the objective as whole-valued doubles.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"
#include "core/spaces/integer.hpp"

namespace corvalinth {

enum class VarType : std::uint8_t { Real = 0, Integer = 1, Binary = 2 };

// The type named by `name`, compared exactly: "real", "float", "continuous"; "integer", "int";
// "binary", "bin". Any other name gives nothing.
std::optional<VarType> var_type_from_name(std::string_view name);

class MixedSpace {
 public:
  using Element = double;

  // Fails with an equality assertion "bounds and types must have the same length" (left: the
  // number of bounds, right: the number of types). Binary dimensions get the bounds (0, 1)
  // whatever was passed; every other pair must satisfy hi >= lo with no NaN, else
  // "invalid bound in dimension i: lo > hi".
  MixedSpace(Bounds bounds, std::vector<VarType> types);

  std::size_t dim() const { return bounds_.size(); }
  const Bounds& bounds() const { return bounds_; }
  const std::vector<VarType>& types() const { return types_; }

  // As the continuous box: one uniform_closed draw per dimension on [lo, hi], then on [-w, w].
  void init_position(SwarmRng& rng, std::span<double> position) const;
  void init_velocity(SwarmRng& rng, std::span<double> velocity) const;

  // The shared policies for every dimension, whatever its type.
  void enforce_bounds(std::span<double> position, std::span<double> velocity,
                      BoundsHandling mode, SwarmRng& rng) const {
    enforce_box(position, velocity, bounds_, mode, rng, UpperMirror::HiMinusExcess);
  }

  // real: x itself; integer: x rounded half away from zero, saturated, clamped to the rounded
  // bounds; binary: x rounded, then 0 below 0 and 1 above 1 (a NaN stays NaN).
  void decode_into(std::span<const double> position, std::vector<double>& point) const;
  std::vector<double> decode(std::span<const double> position) const;

 private:
  Bounds bounds_;
  std::vector<VarType> types_;
  // For integer dimensions, the bounds rounded and saturated once (unused for the others).
  IntegerBounds integer_bounds_;
};

}  // namespace corvalinth
