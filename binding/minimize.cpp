#include "binding/minimize.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/adapters.hpp"
#include "core/benchmarks.hpp"
#include "binding/convert.hpp"
#include "binding/error_slot.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/errors.hpp"
#include "binding/parsers.hpp"
#include "core/pso.hpp"
#include "binding/pso_result.hpp"
#include "binding/signature.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"

namespace corvalinth::py {
namespace {

enum Argument : std::size_t {
  kObjective, kBounds, kInteger, kNParticles, kMaxIter, kW, kC1, kC2, kVelocity, kTopology,
  kSeed, kRecordHistory, kVMax, kPatience, kTol, kConstraints, kPenalty, kBinary, kMaxEvals,
  kTarget, kMaxTime, kCallback, kBoundsHandling, kVectorized, kVarTypes, kDim,
  kEqualityConstraints, kRepair, kArgumentCount
};

constexpr Parameter kParameters[kArgumentCount] = {
    {"objective", true},  {"bounds", true},       {"integer", false},
    {"n_particles", false}, {"max_iter", false},  {"w", false},
    {"c1", false},        {"c2", false},          {"velocity", false},
    {"topology", false},  {"seed", false},        {"record_history", false},
    {"v_max", false},     {"patience", false},    {"tol", false},
    {"constraints", false}, {"penalty", false},   {"binary", false},
    {"max_evals", false}, {"target", false},      {"max_time", false},
    {"callback", false},  {"bounds_handling", false}, {"vectorized", false},
    {"var_types", false}, {"dim", false},         {"equality_constraints", false},
    {"repair", false},
};

constexpr Signature kSignature{"minimize", kParameters};

// The arguments after conversion. Python objects are borrowed from the call.
struct Arguments {
  PyObject* objective = nullptr;
  PyObject* bounds = nullptr;
  bool integer = false;
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
  std::vector<PyRef> constraints;  // empty when None
  double penalty = 1e6;
  bool binary = false;
  std::optional<std::uint64_t> max_evals;
  std::optional<double> target;
  std::optional<double> max_time;
  PyObject* callback = nullptr;  // null when None
  std::string bounds_handling = "clamp";
  bool vectorized = false;
  std::optional<std::vector<std::string>> var_types;
  std::optional<std::size_t> dim;
  std::vector<PyRef> equality_constraints;  // empty when None
  PyObject* repair = nullptr;               // null when None
};

PyObject* none_to_null(PyObject* value) { return value == Py_None ? nullptr : value; }

// Converts every argument in parameter order; the first failure is raised.
Arguments convert_arguments(const std::array<PyObject*, kArgumentCount>& given) {
  Arguments a;
  const auto at = [&](Argument k) { return given[k]; };
  const auto name = [](Argument k) { return kParameters[k].name; };
  a.objective = at(kObjective);
  a.bounds = at(kBounds);
  a.integer = convert_or(name(kInteger), at(kInteger), to_bool, a.integer);
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
  if (auto list = convert_optional(name(kConstraints), at(kConstraints), to_object_list)) {
    a.constraints = std::move(*list);
  }
  a.penalty = convert_or(name(kPenalty), at(kPenalty), to_f64, a.penalty);
  a.binary = convert_or(name(kBinary), at(kBinary), to_bool, a.binary);
  a.max_evals = convert_optional(name(kMaxEvals), at(kMaxEvals), to_u64);
  a.target = convert_optional(name(kTarget), at(kTarget), to_f64);
  a.max_time = convert_optional(name(kMaxTime), at(kMaxTime), to_f64);
  a.callback = at(kCallback) == nullptr ? nullptr : none_to_null(at(kCallback));
  a.bounds_handling =
      convert_or(name(kBoundsHandling), at(kBoundsHandling), to_str, a.bounds_handling);
  a.vectorized = convert_or(name(kVectorized), at(kVectorized), to_bool, a.vectorized);
  a.var_types = convert_optional(name(kVarTypes), at(kVarTypes), to_str_list);
  a.dim = convert_optional(name(kDim), at(kDim), to_usize);
  if (auto list = convert_optional(name(kEqualityConstraints), at(kEqualityConstraints),
                                   to_object_list)) {
    a.equality_constraints = std::move(*list);
  }
  a.repair = at(kRepair) == nullptr ? nullptr : none_to_null(at(kRepair));
  return a;
}

// Everything validated and built before the run.
struct Plan {
  const Arguments& args;
  SwarmConfig config;
  std::unique_ptr<VelocityRule> rule;
  std::unique_ptr<Topology> topology;
  std::optional<std::string> benchmark_name;  // set for a native objective
};

template <typename Space>
constexpr bool kIntegerArgs = std::is_same_v<typename Space::Element, std::int64_t>;

template <typename Space>
using NativeFor = std::conditional_t<kIntegerArgs<Space>, NativeIntegerObjective, NativeObjective>;

template <typename Space>
RunResult<typename Space::Element> run_native(const Plan& plan, const Space& space,
                                              ErrorSlot& slot) {
  const std::string& name = *plan.benchmark_name;
  const BenchmarkInfo* benchmark = find_benchmark(name);
  if (benchmark == nullptr) {
    raise(PyExc_KeyError, "unknown native benchmark: '" + name + "'. Available: " +
                              benchmark_names());
  }
  if (plan.args.vectorized) {
    raise(PyExc_ValueError,
          "vectorized=True requires a Python objective callable, not a native benchmark");
  }
  NativeFor<Space> objective{benchmark->function};
  if (plan.args.callback != nullptr) {
    PythonCallback callback(plan.args.callback, slot);
    return run(plan.config, space, *plan.rule, *plan.topology, objective, &callback);
  }
  // No Python code can run: other threads may use the interpreter meanwhile.
  const ReleasedInterpreterLock unlocked;
  return run(plan.config, space, *plan.rule, *plan.topology, objective);
}

template <typename Space>
RunResult<typename Space::Element> run_python(const Plan& plan, const Space& space,
                                              ErrorSlot& slot) {
  const Arguments& a = plan.args;
  if (a.vectorized) {
    if (!a.constraints.empty() || a.callback != nullptr || a.repair != nullptr ||
        !a.equality_constraints.empty()) {
      raise(PyExc_ValueError,
            "vectorized=True does not support constraints, equality_constraints, repair or "
            "callback yet");
    }
    PythonBatchObjective objective(a.objective, slot);
    return run_batch(plan.config, space, *plan.rule, *plan.topology, objective);
  }
  const PointCallables callables{a.objective, a.repair, a.constraints, a.equality_constraints,
                                 a.penalty};
  PythonPointObjective objective(callables, slot);
  if (a.callback != nullptr) {
    PythonCallback callback(a.callback, slot);
    return run(plan.config, space, *plan.rule, *plan.topology, objective, &callback);
  }
  return run(plan.config, space, *plan.rule, *plan.topology, objective);
}

// The repair operator applied once more to the reported best position, so that the position
// matches the point whose value was reported. In integer spaces the objective saw the repaired
// values truncated toward zero, so the reported position is truncated the same way.
template <typename Space>
std::vector<double> repaired_best_position(PyObject* repair,
                                           const std::vector<typename Space::Element>& best) {
  PyRef argument;
  if constexpr (kIntegerArgs<Space>) {
    argument = new_int_list(best);
  } else {
    argument = new_float_list(best);
  }
  const PyRef answer = call_one(repair, argument.get());
  if (!answer) throw PythonErrorSet{};
  std::vector<double> values = to_f64_list(answer.get());
  if constexpr (kIntegerArgs<Space>) {
    for (double& value : values) value = static_cast<double>(saturating_i64(value));
  }
  return values;
}

template <typename Space>
PyRef run_in_space(const Plan& plan, const Space& space) {
  ErrorSlot slot;
  RunResult<typename Space::Element> result =
      plan.benchmark_name ? run_native(plan, space, slot) : run_python(plan, space, slot);
  slot.raise_if_held();

  PsoResultData data;
  if (plan.args.repair != nullptr) {
    data.best_position = repaired_best_position<Space>(plan.args.repair, result.best_position);
  } else {
    data.best_position.assign(result.best_position.begin(), result.best_position.end());
  }
  data.convergence = std::move(result.convergence);
  data.history = std::move(result.history);
  // An unrecorded history still has the run's shape: no iterations of n x dim.
  if (!plan.config.record_history) {
    data.history = History::restored(plan.config.n_particles, space.dim(), 0, {});
  }
  data.stop_reason = result.stop_reason;
  data.best_value = result.best_value;
  data.evaluations = result.evaluations;
  data.iterations = result.iterations;
  return new_pso_result(std::move(data));
}

PyRef minimize_with(const Arguments& a) {
  const Bounds bounds = parse_bounds(a.bounds, a.dim);
  if (a.n_particles == 0) raise(PyExc_ValueError, "n_particles must be >= 1");
  check_v_max(a.v_max);
  const std::optional<Duration> max_time = parse_max_time(a.max_time);
  const BoundsHandling handling = parse_bounds_handling(a.bounds_handling);

  Plan plan{a, {}, parse_velocity(a.velocity, a.w, a.c1, a.c2),
            parse_topology(a.topology, a.n_particles, a.seed), std::nullopt};
  if (is_str(a.objective)) {
    plan.benchmark_name = to_str(a.objective);
    if (!a.constraints.empty() || !a.equality_constraints.empty() || a.repair != nullptr) {
      raise(PyExc_ValueError,
            "constraints, equality_constraints and repair require a Python objective callable, "
            "not a native benchmark name; pass a function as the objective");
    }
  }

  SwarmConfig& config = plan.config;
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
  config.bounds_handling = handling;

  if (a.var_types) {
    if (a.var_types->size() != bounds.size()) {
      raise(PyExc_ValueError, "var_types has length " + std::to_string(a.var_types->size()) +
                                  " but bounds has length " + std::to_string(bounds.size()));
    }
  }
  return visit_space(bounds, a.var_types, a.binary, a.integer,
                     [&](const auto& space) { return run_in_space(plan, space); });
}

}  // namespace

PyObject* minimize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return translate_exceptions([&] {
    std::array<PyObject*, kArgumentCount> given{};
    bind_arguments(kSignature, args, nargs, kwnames, given);
    const Arguments arguments = convert_arguments(given);
    return minimize_with(arguments).release();
  });
}

}  // namespace corvalinth::py
