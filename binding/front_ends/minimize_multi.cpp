#include "binding/front_ends/minimize_multi.hpp"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "binding/adapters/multi_adapter.hpp"
#include "binding/adapters/multi_constraints.hpp"
#include "binding/adapters/recording.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/extra_arguments.hpp"
#include "binding/arguments/named_parameters.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/front_ends/multi_settings.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/guarded_run.hpp"
#include "core/mopso/mopso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"

namespace corvalinth::py {
namespace {

// The signature of minimize_multi, in order; a new keyword-only parameter
// is one line above the end.
#define CORVALINTH_MINIMIZE_MULTI_PARAMETERS(P) \
  P(objective, required()) \
  P(bounds, required()) \
  CORVALINTH_MULTI_SWARM_PARAMETERS(P, positional) \
  P(vectorized, keyword_only(with_default(to_bool, false))) \
  P(callback, keyword_only(object_or_none())) \
  P(max_evals, keyword_only(none_or(to_u64))) \
  P(max_time, keyword_only(none_or(to_f64))) \
  CORVALINTH_MULTI_SEARCH_PARAMETERS(P) \
  P(args, keyword_only(extra_arguments())) \
  P(record_evaluations, keyword_only(with_default(to_bool, false))) \
  CORVALINTH_MULTI_CONSTRAINT_PARAMETERS(P) \
  CORVALINTH_MULTI_EVOLUTION_PARAMETERS(P) \
  CORVALINTH_MULTI_CROSSOVER_PARAMETER(P) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MINIMIZE_MULTI_PARAMETERS)

// The converted (and named) arguments with preset="robust" applied in place: they own the
// constraint lists, which are not copied.
Arguments converted_with_multi_preset(std::span<PyObject* const> given) {
  Arguments a = converted_with_names<convert_arguments>(given);
  apply_multi_preset(a, kParameters);
  return a;
}

template <typename Space>
PyRef run_in(const MopsoConfig& config, const Space& space, const VelocityRule& rule,
             const Arguments& a) {
  using Result = MopsoResult<typename Space::Element>;
  const PyRef objective_callable = with_extra_arguments(a.objective, a.args);
  EvaluationLog log;
  // What the exception that ends the run carries: the front so far.
  const auto partial = [&](Result&& so_far) {
    return new_front(std::move(so_far), config, space.dim(), log, named_space_of(a));
  };
  const FrontConstraints constraints{
      {.constraints = a.constraints, .equality_constraints = a.equality_constraints},
      a.equality_tol};
  Result result = guarded_run<PythonFrontCallback>(
      a.callback, false,
      [&](ErrorSlot& slot, FrontCallback* watcher) -> Result {
        if (a.vectorized) {
          PythonMultiBatchObjective batch(objective_callable.get(), slot);
          const auto run_batch_form = [&](auto& objective) {
            return run_mopso_batch(config, space, rule, objective, watcher, &slot.stop_token());
          };
          if (constraints.any()) {
            ConstrainedMatrixObjective constrained(batch, constraints, slot);
            return recorded_if<RecordingVectorObjective>(a.record_evaluations, constrained, log,
                                                         slot, run_batch_form);
          }
          return recorded_if<RecordingVectorObjective>(a.record_evaluations, batch, log, slot,
                                                       run_batch_form);
        }
        PythonMultiObjective point(objective_callable.get(), slot);
        const auto run_point_form = [&](auto& objective) {
          return run_mopso(config, space, rule, objective, watcher, &slot.stop_token());
        };
        if (constraints.any()) {
          ConstrainedVectorObjective constrained(point, constraints, slot);
          return recorded_if<RecordingVectorObjective>(a.record_evaluations, constrained, log, slot,
                                                       run_point_form);
        }
        return recorded_if<RecordingVectorObjective>(a.record_evaluations, point, log, slot,
                                                     run_point_form);
      },
      partial);
  return new_front(std::move(result), config, space.dim(), log, named_space_of(a));
}

PyRef minimize_multi_with(const Arguments& a) {
  MultiSetup setup = setup_multi(a);
  return visit_space_with_start(a, setup.swarm, [&](const auto& space, std::vector<double> start) {
    const MopsoConfig config = mopso_config(a, setup, std::move(start));
    const std::unique_ptr<VelocityRule> rule = multi_rule(setup, a.w, space);
    return run_in(config, space, *rule, a);
  });
}

}  // namespace

PyObject* minimize_multi(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize_multi", kParameters, converted_with_multi_preset,
                        minimize_multi_with, args, nargs, kwnames);
}

}  // namespace corvalinth::py
