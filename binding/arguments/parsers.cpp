#include "binding/arguments/parsers.hpp"

#include <cmath>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "core/topology/global.hpp"
#include "core/topology/random.hpp"
#include "core/topology/ring.hpp"
#include "core/topology/von_neumann.hpp"
#include "core/velocity/constriction.hpp"
#include "core/velocity/fips.hpp"
#include "core/velocity/inertia.hpp"

namespace corvalinth::py {
namespace {

// Runs one reading of the bounds; a Python error inside it means "no match" and is cleared.
template <typename Reading>
auto attempt(Reading reading) -> std::optional<decltype(reading())> {
  try {
    return reading();
  } catch (const PythonErrorSet&) {
    PyErr_Clear();
    return std::nullopt;
  }
}

// A tuple of exactly two numbers.
BoundPair read_tuple_pair(PyObject* object) {
  if (!PyTuple_Check(object) || PyTuple_Size(object) != 2) {
    raise(PyExc_TypeError, "not a pair");
  }
  return {to_f64(PyTuple_GetItem(object, 0)), to_f64(PyTuple_GetItem(object, 1))};
}

// Reading 1: a sequence of 2-tuples of numbers.
Bounds read_tuple_pairs(PyObject* bounds) {
  Bounds pairs;
  for (const PyRef& item : to_object_list(bounds)) pairs.push_back(read_tuple_pair(item.get()));
  return pairs;
}

// Reading 2: a sequence of sequences of numbers, of any length (checked afterwards).
std::vector<std::vector<double>> read_rows(PyObject* bounds) {
  std::vector<std::vector<double>> rows;
  for (const PyRef& item : to_object_list(bounds)) rows.push_back(to_f64_list(item.get()));
  return rows;
}

// Reading 4: a sequence of exactly two numbers.
BoundPair read_sequence_pair(PyObject* bounds) {
  const std::vector<double> values = to_f64_list(bounds);
  if (values.size() != 2) raise(PyExc_TypeError, "not a pair");
  return {values[0], values[1]};
}

Bounds pairs_checked_against_dim(Bounds pairs, std::optional<std::size_t> dim) {
  if (pairs.empty()) raise(PyExc_ValueError, "bounds is empty");
  if (dim && *dim != pairs.size()) {
    raise(PyExc_ValueError, "dim=" + std::to_string(*dim) + " does not match the " +
                                std::to_string(pairs.size()) + " bound pairs given");
  }
  return pairs;
}

Bounds single_pair_repeated(BoundPair pair, std::optional<std::size_t> dim) {
  if (!dim) {
    raise(PyExc_ValueError, "with a single (min, max) bound, pass dim=<number of dimensions>");
  }
  if (*dim == 0) raise(PyExc_ValueError, "dim must be >= 1");
  return Bounds(*dim, pair);
}

}  // namespace

Bounds parse_bounds(PyObject* bounds, std::optional<std::size_t> dim) {
  const bool is_text = is_str(bounds);
  if (!is_text) {
    if (auto pairs = attempt([&] { return read_tuple_pairs(bounds); })) {
      return pairs_checked_against_dim(std::move(*pairs), dim);
    }
    if (auto rows = attempt([&] { return read_rows(bounds); })) {
      Bounds pairs;
      pairs.reserve(rows->size());
      for (const auto& row : *rows) {
        if (row.size() != 2) {
          raise(PyExc_ValueError, "each bound must have exactly two values, (min, max)");
        }
        pairs.emplace_back(row[0], row[1]);
      }
      return pairs_checked_against_dim(std::move(pairs), dim);
    }
  }
  if (auto pair = attempt([&] { return read_tuple_pair(bounds); })) {
    return single_pair_repeated(*pair, dim);
  }
  if (!is_text) {
    if (auto pair = attempt([&] { return read_sequence_pair(bounds); })) {
      return single_pair_repeated(*pair, dim);
    }
  }
  raise(PyExc_ValueError,
        "bounds must be a list of (min, max) pairs (or a NumPy array of shape (dim, 2)), or a "
        "single (min, max) pair with dim=<n>");
}

void check_equality_tol(double equality_tol) {
  if (!std::isfinite(equality_tol) || equality_tol < 0.0) {
    raise(PyExc_ValueError, "equality_tol must be a finite value >= 0");
  }
}

void check_v_max(std::optional<double> v_max) {
  if (!v_max) return;
  const double value = *v_max;
  if (std::isnan(value) || std::isinf(value) || value < 0.0) {
    raise(PyExc_ValueError, "v_max must be a finite value >= 0 (or None to disable)");
  }
}

std::optional<Duration> parse_max_time(std::optional<double> seconds) {
  if (!seconds) return std::nullopt;
  return duration_from_seconds(*seconds);  // throws CoreError with the budget's message
}

ConstraintHandling parse_constraint_handling(const std::string& name) {
  if (name == "penalty") return ConstraintHandling::Penalty;
  if (name == "feasibility") return ConstraintHandling::Feasibility;
  raise(PyExc_ValueError,
        "unknown constraint_handling: '" + name + "'. Available: penalty, feasibility");
}

BoundsHandling parse_bounds_handling(const std::string& name) {
  if (name == "clamp") return BoundsHandling::Clamp;
  if (name == "reflect") return BoundsHandling::Reflect;
  if (name == "wrap") return BoundsHandling::Wrap;
  if (name == "reinit") return BoundsHandling::Reinit;
  raise(PyExc_ValueError,
        "unknown bounds_handling: '" + name + "'. Available: clamp, reflect, wrap, reinit");
}

std::unique_ptr<VelocityRule> parse_velocity(const std::string& name, double w, double c1,
                                             double c2) {
  const double sum = c1 + c2;
  const bool sum_exceeds_four = sum > 4.0;  // false for NaN
  if (name == "inertia") return std::make_unique<InertiaRule>(w, c1, c2);
  if (name == "constriction") {
    return sum_exceeds_four ? std::make_unique<ConstrictionRule>(c1, c2)
                            : std::make_unique<ConstrictionRule>(2.05, 2.05);
  }
  if (name == "fips") return std::make_unique<FipsRule>(sum_exceeds_four ? sum : 4.1);
  raise(PyExc_ValueError,
        "unknown variant: '" + name + "'. Available: inertia, constriction, fips");
}

std::unique_ptr<Topology> parse_topology(const std::string& name, std::uint64_t n_particles,
                                         std::optional<std::uint64_t> seed) {
  if (name == "global") return std::make_unique<GlobalTopology>();
  if (name == "ring") return std::make_unique<RingTopology>(1);
  if (name == "vonneumann" || name == "von_neumann") {
    return std::make_unique<VonNeumannTopology>(VonNeumannTopology::from_size(n_particles));
  }
  if (name == "random") return std::make_unique<RandomTopology>(3, seed.value_or(0));
  raise(PyExc_ValueError,
        "unknown topology: '" + name + "'. Available: global, ring, vonneumann, random");
}

std::vector<VarType> parse_var_types(const std::vector<std::string>& names) {
  std::vector<VarType> types;
  types.reserve(names.size());
  for (const std::string& name : names) {
    const std::optional<VarType> type = var_type_from_name(name);
    if (!type) {
      raise(PyExc_ValueError,
            "unknown variable type: '" + name + "'. Available: real, integer, binary");
    }
    types.push_back(*type);
  }
  return types;
}

}  // namespace corvalinth::py
