// Parsers of the settings that every optimisation front end shares: bounds, velocity clamp,
// velocity rule, topology, out-of-bounds policy, variable types and the time budget. Each returns
// its value or sets the Python error and throws PythonErrorSet; none calls Python code.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/duration.hpp"
#include "binding/runtime/python.hpp"
#include "core/spaces/bounds.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"
#include "core/contracts.hpp"

namespace corvalinth::py {

// A non-empty list of (min, max) pairs from a list of pairs, a (dim, 2) array, or a single pair
// repeated `dim` times.
Bounds parse_bounds(PyObject* bounds, std::optional<std::size_t> dim);

// Accepts no limit, or a finite limit at or above zero.
void check_v_max(std::optional<double> v_max);

// ValueError unless `equality_tol` is a finite value >= 0.
void check_equality_tol(double equality_tol);

// "penalty" or "feasibility" (core/feasibility.hpp); ValueError naming the choices otherwise.
ConstraintHandling parse_constraint_handling(const std::string& name);

// The time budget as a duration; an invalid one is a core failure (PanicException).
std::optional<Duration> parse_max_time(std::optional<double> seconds);

BoundsHandling parse_bounds_handling(const std::string& name);

// "inertia" with w, c1, c2; "constriction" and "fips" fall back to their standard coefficients
// unless c1 + c2 > 4.
std::unique_ptr<VelocityRule> parse_velocity(const std::string& name, double w, double c1,
                                             double c2);

// "global", "ring", "vonneumann"/"von_neumann", "random" (seeded with `seed`, or 0).
std::unique_ptr<Topology> parse_topology(const std::string& name, std::uint64_t n_particles,
                                         std::optional<std::uint64_t> seed);

std::vector<VarType> parse_var_types(const std::vector<std::string>& names);

// True for a space whose points have integer coordinates (an integer or binary space).
template <typename Space>
constexpr bool kIntegerPoints = std::is_same_v<typename Space::Element, std::int64_t>;

// Builds the search space the arguments choose, first match wins: variable types give a mixed
// space, then `binary` a {0, 1} integer space, then `integer` an integer space with the bounds
// rounded, otherwise a continuous space. Calls `visit(space)` and returns what it returns. The
// caller has checked that `var_types`, when given, has one entry per bound pair.
template <typename Visit>
auto visit_space(const Bounds& bounds, const std::optional<std::vector<std::string>>& var_types,
                 bool binary, bool integer, Visit&& visit) {
  if (var_types) return visit(MixedSpace(bounds, parse_var_types(*var_types)));
  if (binary) return visit(IntegerSpace::binary(bounds.size()));
  if (integer) return visit(IntegerSpace::from_real_bounds(bounds));
  return visit(ContinuousSpace(bounds));
}

}  // namespace corvalinth::py
