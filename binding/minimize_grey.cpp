#include "binding/minimize_grey.hpp"

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/benchmarks.hpp"
#include "binding/convert.hpp"
#include "binding/error_slot.hpp"
#include "binding/errors.hpp"
#include "binding/grey_adapter.hpp"
#include "binding/grey_result.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/parsers.hpp"
#include "core/pso.hpp"
#include "binding/signature.hpp"
#include "core/spaces/grey.hpp"

namespace corvalinth::py {
namespace {

enum Argument : std::size_t {
  kObjective, kBounds, kMaxSpread, kRepresentation, kNParticles, kMaxIter, kW, kC1, kC2,
  kVelocity, kTopology, kSeed, kRecordHistory, kVMax, kPatience, kTol, kMaxEvals, kTarget,
  kMaxTime, kDim, kArgumentCount
};

constexpr Parameter kParameters[kArgumentCount] = {
    {"objective", true},       {"bounds", true},      {"max_spread", false},
    {"representation", false}, {"n_particles", false}, {"max_iter", false},
    {"w", false},              {"c1", false},         {"c2", false},
    {"velocity", false},       {"topology", false},   {"seed", false},
    {"record_history", false}, {"v_max", false},      {"patience", false},
    {"tol", false},            {"max_evals", false},  {"target", false},
    {"max_time", false},       {"dim", false},
};

constexpr Signature kSignature{"minimize_grey", kParameters};

struct Arguments {
  PyObject* objective = nullptr;
  PyObject* bounds = nullptr;
  PyObject* max_spread = nullptr;  // null when None
  std::string representation = "interval";
  std::uint64_t n_particles = 30;
  std::uint64_t max_iter = 100;
  double w = 0.729;
  double c1 = 1.49445;
  double c2 = 1.49445;
  std::string velocity = "inertia";
  std::string topology = "global";
  std::optional<std::uint64_t> seed;
  bool record_history = true;
  std::optional<double> v_max;
  std::uint64_t patience = 0;
  double tol = 0.0;
  std::optional<std::uint64_t> max_evals;
  std::optional<double> target;
  std::optional<double> max_time;
  std::optional<std::size_t> dim;
};

// Converts every argument in parameter order; the first failure is raised.
Arguments convert_arguments(const std::array<PyObject*, kArgumentCount>& given) {
  Arguments a;
  const auto at = [&](Argument k) { return given[k]; };
  const auto name = [](Argument k) { return kParameters[k].name; };
  a.objective = at(kObjective);
  a.bounds = at(kBounds);
  a.max_spread = at(kMaxSpread) == Py_None ? nullptr : at(kMaxSpread);
  a.representation =
      convert_or(name(kRepresentation), at(kRepresentation), to_str, a.representation);
  a.n_particles = convert_or(name(kNParticles), at(kNParticles), to_u64, a.n_particles);
  a.max_iter = convert_or(name(kMaxIter), at(kMaxIter), to_u64, a.max_iter);
  a.w = convert_or(name(kW), at(kW), to_f64, a.w);
  a.c1 = convert_or(name(kC1), at(kC1), to_f64, a.c1);
  a.c2 = convert_or(name(kC2), at(kC2), to_f64, a.c2);
  a.velocity = convert_or(name(kVelocity), at(kVelocity), to_str, a.velocity);
  a.topology = convert_or(name(kTopology), at(kTopology), to_str, a.topology);
  a.seed = convert_optional(name(kSeed), at(kSeed), to_u64);
  a.record_history = convert_or(name(kRecordHistory), at(kRecordHistory), to_bool, true);
  a.v_max = convert_optional(name(kVMax), at(kVMax), to_f64);
  a.patience = convert_or(name(kPatience), at(kPatience), to_u64, a.patience);
  a.tol = convert_or(name(kTol), at(kTol), to_f64, a.tol);
  a.max_evals = convert_optional(name(kMaxEvals), at(kMaxEvals), to_u64);
  a.target = convert_optional(name(kTarget), at(kTarget), to_f64);
  a.max_time = convert_optional(name(kMaxTime), at(kMaxTime), to_f64);
  a.dim = convert_optional(name(kDim), at(kDim), to_usize);
  return a;
}

GreyRepresentation parse_representation(const std::string& name) {
  if (name == "interval") return GreyRepresentation::Interval;
  if (name == "center_spread" || name == "center-spread") return GreyRepresentation::CenterSpread;
  raise(PyExc_ValueError,
        "unknown representation: '" + name + "'. Available: interval, center_spread");
}

// The spread cap of every grey variable: none (+inf), one float for all, or one per variable.
std::vector<double> parse_max_spread(PyObject* max_spread, std::size_t variables) {
  if (max_spread == nullptr) {
    return std::vector<double>(variables, std::numeric_limits<double>::infinity());
  }
  if (!is_str(max_spread)) {
    std::optional<std::vector<double>> caps;
    try {
      caps = to_f64_list(max_spread);
    } catch (const PythonErrorSet&) {
      PyErr_Clear();  // not a sequence of numbers: try a single number next
    }
    if (caps) {
      if (caps->size() != variables) {
        raise(PyExc_ValueError, "max_spread has " + std::to_string(caps->size()) +
                                    " values but there are " + std::to_string(variables) +
                                    " grey variables");
      }
      return std::move(*caps);
    }
  }
  try {
    return std::vector<double>(variables, to_f64(max_spread));
  } catch (const PythonErrorSet&) {
    PyErr_Clear();
  }
  raise(PyExc_ValueError,
        "max_spread must be a float, a list of floats (one per grey variable), or None");
}

GreyResultData result_data(RunResult<GreyNumber>&& result) {
  GreyResultData data;
  for (const GreyNumber& grey : result.best_position) {
    data.best_position.emplace_back(grey.center - grey.spread, grey.center + grey.spread);
    data.best_centers.push_back(grey.center);
    data.best_spreads.push_back(grey.spread);
  }
  data.convergence = std::move(result.convergence);
  data.stop_reason = result.stop_reason;
  data.best_value = result.best_value;
  data.evaluations = result.evaluations;
  data.iterations = result.iterations;
  return data;
}

PyRef minimize_grey_with(const Arguments& a) {
  const GreyRepresentation representation = parse_representation(a.representation);
  const Bounds bounds = parse_bounds(a.bounds, a.dim);
  std::vector<double> caps = parse_max_spread(a.max_spread, bounds.size());
  if (a.n_particles == 0) raise(PyExc_ValueError, "n_particles must be >= 1");
  check_v_max(a.v_max);
  const std::optional<Duration> max_time = parse_max_time(a.max_time);
  const std::unique_ptr<VelocityRule> rule = parse_velocity(a.velocity, a.w, a.c1, a.c2);
  const std::unique_ptr<Topology> topology = parse_topology(a.topology, a.n_particles, a.seed);
  const GreySpace space(bounds, std::move(caps));

  SwarmConfig config;
  config.n_particles = a.n_particles;
  config.max_iter = a.max_iter;
  config.w = a.w;
  config.c1 = a.c1;
  config.c2 = a.c2;
  config.seed = a.seed;
  config.record_history = a.record_history;
  config.v_max = a.v_max;
  config.patience = a.patience;
  config.tol = a.tol;
  config.max_evals = a.max_evals;
  config.target = a.target;
  config.max_time = max_time;
  // The grey space projects moved particles itself; the policy is not read.

  if (is_str(a.objective)) {
    const std::string name = to_str(a.objective);
    const GreyBenchmarkInfo* benchmark = find_grey_benchmark(name);
    if (benchmark == nullptr) {
      raise(PyExc_KeyError, "unknown native grey benchmark: '" + name + "'. Available: grey_sphere");
    }
    NativeGreyObjective objective{benchmark->function};
    RunResult<GreyNumber> result;
    {
      // No Python code can run: other threads may use the interpreter meanwhile.
      const ReleasedInterpreterLock unlocked;
      result = run(config, space, *rule, *topology, objective);
    }
    return new_grey_result(result_data(std::move(result)));
  }

  ErrorSlot slot;
  PythonGreyObjective objective(a.objective, representation, slot);
  RunResult<GreyNumber> result = run(config, space, *rule, *topology, objective);
  slot.raise_if_held();
  return new_grey_result(result_data(std::move(result)));
}

}  // namespace

PyObject* minimize_grey(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return translate_exceptions([&] {
    std::array<PyObject*, kArgumentCount> given{};
    bind_arguments(kSignature, args, nargs, kwnames, given);
    const Arguments arguments = convert_arguments(given);
    return minimize_grey_with(arguments).release();
  });
}

}  // namespace corvalinth::py
