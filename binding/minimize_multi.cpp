#include "binding/minimize_multi.hpp"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "binding/convert.hpp"
#include "binding/error_slot.hpp"
#include "binding/errors.hpp"
#include "core/mopso/mopso.hpp"
#include "binding/multi_adapter.hpp"
#include "binding/pareto_front.hpp"
#include "binding/parsers.hpp"
#include "binding/signature.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"

namespace corvalinth::py {
namespace {

enum Argument : std::size_t {
  kObjective, kBounds, kNParticles, kMaxIter, kArchiveSize, kW, kC1, kC2, kVelocity, kSeed,
  kInteger, kBinary, kVarTypes, kMutationRate, kDim, kGridDivisions, kVMax, kBoundsHandling,
  kRecordHistory, kArgumentCount
};

constexpr Parameter kParameters[kArgumentCount] = {
    {"objective", true},       {"bounds", true},         {"n_particles", false},
    {"max_iter", false},       {"archive_size", false},  {"w", false},
    {"c1", false},             {"c2", false},            {"velocity", false},
    {"seed", false},           {"integer", false},       {"binary", false},
    {"var_types", false},      {"mutation_rate", false}, {"dim", false},
    {"grid_divisions", false}, {"v_max", false},         {"bounds_handling", false},
    {"record_history", false},
};

constexpr Signature kSignature{"minimize_multi", kParameters};

struct Arguments {
  PyObject* objective = nullptr;
  PyObject* bounds = nullptr;
  std::uint64_t n_particles = 100;
  std::uint64_t max_iter = 100;
  std::uint64_t archive_size = 100;
  double w = 0.729;
  double c1 = 1.49445;
  double c2 = 1.49445;
  std::string velocity = "inertia";
  std::optional<std::uint64_t> seed;
  bool integer = false;
  bool binary = false;
  std::optional<std::vector<std::string>> var_types;
  double mutation_rate = 0.1;
  std::optional<std::size_t> dim;
  std::optional<std::uint64_t> grid_divisions;
  std::optional<double> v_max;
  std::string bounds_handling = "clamp";
  bool record_history = true;
};

// Converts every argument in parameter order; the first failure is raised.
Arguments convert_arguments(const std::array<PyObject*, kArgumentCount>& given) {
  Arguments a;
  const auto at = [&](Argument k) { return given[k]; };
  const auto name = [](Argument k) { return kParameters[k].name; };
  a.objective = at(kObjective);
  a.bounds = at(kBounds);
  a.n_particles = convert_or(name(kNParticles), at(kNParticles), to_u64, a.n_particles);
  a.max_iter = convert_or(name(kMaxIter), at(kMaxIter), to_u64, a.max_iter);
  a.archive_size = convert_or(name(kArchiveSize), at(kArchiveSize), to_u64, a.archive_size);
  a.w = convert_or(name(kW), at(kW), to_f64, a.w);
  a.c1 = convert_or(name(kC1), at(kC1), to_f64, a.c1);
  a.c2 = convert_or(name(kC2), at(kC2), to_f64, a.c2);
  a.velocity = convert_or(name(kVelocity), at(kVelocity), to_str, a.velocity);
  a.seed = convert_optional(name(kSeed), at(kSeed), to_u64);
  a.integer = convert_or(name(kInteger), at(kInteger), to_bool, a.integer);
  a.binary = convert_or(name(kBinary), at(kBinary), to_bool, a.binary);
  a.var_types = convert_optional(name(kVarTypes), at(kVarTypes), to_str_list);
  a.mutation_rate = convert_or(name(kMutationRate), at(kMutationRate), to_f64, a.mutation_rate);
  a.dim = convert_optional(name(kDim), at(kDim), to_usize);
  a.grid_divisions = convert_optional(name(kGridDivisions), at(kGridDivisions), to_u64);
  a.v_max = convert_optional(name(kVMax), at(kVMax), to_f64);
  a.bounds_handling =
      convert_or(name(kBoundsHandling), at(kBoundsHandling), to_str, a.bounds_handling);
  a.record_history = convert_or(name(kRecordHistory), at(kRecordHistory), to_bool, true);
  return a;
}

template <typename Space>
PyRef run_in_space(const MopsoConfig& config, const Space& space, const VelocityRule& rule,
                   PyObject* objective) {
  ErrorSlot slot;
  PythonMultiObjective adapter(objective, slot);
  MopsoResult<typename Space::Element> result = run_mopso(config, space, rule, adapter);
  slot.raise_if_held();
  ParetoFrontData data;
  data.positions.reserve(result.members.size());
  data.objectives.reserve(result.members.size());
  for (auto& member : result.members) {
    data.positions.emplace_back(member.position.begin(), member.position.end());
    data.objectives.push_back(std::move(member.objectives));
  }
  data.swarm_history = std::move(result.swarm_history);
  data.front_history = std::move(result.front_history);
  // An unrecorded swarm history still has the run's shape: no iterations of n x dim.
  if (!config.record_history) {
    data.swarm_history = History::restored(config.n_particles, space.dim(), 0, {});
  }
  data.iterations = result.iterations;
  return new_pareto_front(std::move(data));
}

PyRef minimize_multi_with(const Arguments& a) {
  if (a.velocity == "fips") {
    raise(PyExc_ValueError,
          "MOPSO needs a single-leader velocity ('inertia' or 'constriction'); 'fips' does not "
          "apply");
  }
  const Bounds bounds = parse_bounds(a.bounds, a.dim);
  if (a.n_particles == 0) raise(PyExc_ValueError, "n_particles must be >= 1");
  check_v_max(a.v_max);
  if (a.archive_size == 0) raise(PyExc_ValueError, "archive_size must be >= 1");
  const std::unique_ptr<VelocityRule> rule = parse_velocity(a.velocity, a.w, a.c1, a.c2);
  const BoundsHandling handling = parse_bounds_handling(a.bounds_handling);

  MopsoConfig config;
  config.seed = a.seed;
  if (a.grid_divisions) config.strategy = Grid{*a.grid_divisions};
  config.v_max = a.v_max;
  config.n_particles = a.n_particles;
  config.max_iter = a.max_iter;
  config.archive_size = a.archive_size;
  config.mutation_rate = a.mutation_rate;
  config.record_history = a.record_history;
  config.bounds_handling = handling;

  if (a.var_types) {
    if (a.var_types->size() != bounds.size()) {
      raise(PyExc_ValueError, "var_types length must match bounds");
    }
  }
  return visit_space(bounds, a.var_types, a.binary, a.integer, [&](const auto& space) {
    return run_in_space(config, space, *rule, a.objective);
  });
}

}  // namespace

PyObject* minimize_multi(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return translate_exceptions([&] {
    std::array<PyObject*, kArgumentCount> given{};
    bind_arguments(kSignature, args, nargs, kwnames, given);
    const Arguments arguments = convert_arguments(given);
    return minimize_multi_with(arguments).release();
  });
}

}  // namespace corvalinth::py
