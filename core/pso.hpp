// The single-objective run loop, in its two forms:
//  - run():       per-particle objective, asynchronous updates (a particle's improvement is seen
//                 by the particles that move after it), optional iteration callback;
//  - run_batch(): batch objective called once per iteration for the whole swarm, synchronous
//                 updates (all bests change after the whole swarm was evaluated).
// Both are templates over the space and the objective so that native objectives inline, and a
// move allocates nothing: every per-move vector lives in a buffer reused across moves.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/failure.hpp"
#include "core/motion.hpp"
#include "core/contracts.hpp"
#include "core/stop_token.hpp"

namespace corvalinth {
namespace detail {

// Raises the configured velocity limit's failure the first time a move would clamp with it.
inline void check_velocity_limit(double v_max) {
  const double low = -v_max;
  if (!(low <= v_max)) {
    fail("min > max, or either was NaN. min = " + format_number(low) +
         ", max = " + format_number(v_max));
  }
}

// The swarm, generator, bests and trace of one run, and the steps both forms share.
template <SearchSpace Space>
class SwarmRun {
 public:
  using Element = typename Space::Element;

  SwarmRun(const SwarmConfig& config, const Space& space, const VelocityRule& rule,
           Topology& topology)
      : config_(config),
        space_(space),
        rule_(rule),
        topology_(topology),
        start_(std::chrono::steady_clock::now()),
        rng_(config.seed ? SwarmRng::seed_from_u64(*config.seed) : SwarmRng::from_entropy()),
        swarm_(static_cast<std::size_t>(config.n_particles), space.dim()),
        dim_(space.dim()) {
    new_velocity_.resize(dim_);
    gbest_position_.resize(dim_);
  }

  Swarm& swarm() { return swarm_; }
  std::size_t size() const { return swarm_.size(); }

  // Draws particle i's starting position and then its velocity. A warm start then replaces the
  // position: the draws happen all the same, so the generator's stream is the same either way.
  void create_particle(std::size_t i) {
    space_.init_position(rng_, swarm_.position(i));
    space_.init_velocity(rng_, swarm_.velocity(i));
    const std::vector<double>& warm = config_.initial_positions;
    if ((i + 1) * dim_ <= warm.size() && dim_ != 0) {
      copy(std::span<const double>(warm.data() + i * dim_, dim_), swarm_.position(i));
    }
    copy(swarm_.position(i), swarm_.best_position(i));
  }

  // Evaluates particle i's current position with a per-particle objective.
  template <typename Objective>
  double evaluate(Objective& objective, std::size_t i) {
    ++evaluations_;
    if constexpr (decode_is_identity<Space>()) {
      return objective.evaluate(std::span<const Element>(swarm_.position(i)));
    } else {
      space_.decode_into(swarm_.position(i), point_);
      return objective.evaluate(std::span<const Element>(point_));
    }
  }

  void add_evaluations(std::uint64_t count) { evaluations_ += count; }

  // Picks the initial global best by the minimum rule and prepares the iteration phase.
  void start_iterating() {
    if (swarm_.size() == 0) fail("swarm has at least one particle");
    const std::size_t best = best_of_swarm(swarm_);
    gbest_value_ = swarm_.best_value(best);
    copy(swarm_.best_position(best), gbest_position_);
    leader_ = best;
    lists_whole_swarm_ = topology_.lists_whole_swarm();
    uses_informants_ = rule_.uses_informants();
    prev_best_ = gbest_value_;
    if (uses_informants_ && lists_whole_swarm_) {
      all_bests_.reserve(swarm_.size());
      for (std::size_t j = 0; j < swarm_.size(); ++j) all_bests_.push_back(swarm_.best_position(j));
    }
    if (config_.v_max && dim_ != 0 && config_.max_iter > 0) check_velocity_limit(*config_.v_max);
    if (config_.record_history) {
      result_.history.particles = swarm_.size();
      result_.history.dim = dim_;
      reserve_trace();
    }
  }

  void record_start_of_iteration() {
    if (config_.record_history) result_.history.record(swarm_);
  }

  // Moves particle i: velocity update, optional clamp, position update, bounds.
  void move(std::size_t i) {
    std::size_t best_neighbour;
    std::span<const std::span<const double>> informants;
    if (lists_whole_swarm_) {
      best_neighbour = leader_;
      if (uses_informants_) informants = all_bests_;
    } else {
      topology_.neighbours(i, swarm_.size(), neighbour_list_);
      best_neighbour = best_by_minimum_rule(neighbour_list_, swarm_);
      if (uses_informants_ && !neighbour_list_.empty()) {
        informant_views_.clear();
        for (const std::size_t j : neighbour_list_) {
          informant_views_.push_back(swarm_.best_position(j));
        }
        informants = informant_views_;
      }
    }

    // The neighbourhood best is read in place: nothing writes a personal best during an update.
    const VelocityContext context{swarm_.position(i), swarm_.velocity(i),
                                  swarm_.best_position(i), swarm_.best_position(best_neighbour),
                                  informants};
    rule_.update(context, rng_, new_velocity_);
    take_step(new_velocity_, config_.v_max, swarm_.position(i), swarm_.velocity(i));
    space_.enforce_bounds(swarm_.position(i), swarm_.velocity(i), config_.bounds_handling, rng_);
  }

  // Personal and global best update of particle i with its new value.
  void update_bests(std::size_t i, double value) {
    if (!is_better(value, swarm_.best_value(i))) return;
    swarm_.best_value(i) = value;
    copy(swarm_.position(i), swarm_.best_position(i));
    if (is_better(value, gbest_value_)) {
      gbest_value_ = value;
      copy(swarm_.position(i), gbest_position_);
    }
    // Keep the minimum-rule choice over the whole swarm current. Personal bests only improve, so
    // the choice is either the old one or i: i wins with a smaller value, with an equal value
    // at a lower index, or with a number against NaN.
    if (lists_whole_swarm_ && i != leader_) {
      const double current = swarm_.best_value(leader_);
      if (is_better(value, current) || (value == current && i < leader_)) leader_ = i;
    }
  }

  // Records the end of iteration t and applies the stop tests in their order. Returns the reason
  // to stop, if any.
  std::optional<StopReason> finish_iteration(std::uint64_t t, IterationCallback* callback) {
    ++result_.iterations;
    if (config_.record_history) result_.convergence.push_back(gbest_value_);
    if (callback != nullptr) {
      const IterationInfo info{gbest_position_, t, gbest_value_, evaluations_};
      if (!callback->on_iteration(info)) return StopReason::Callback;
    }
    if (config_.patience > 0) {
      if (prev_best_ - gbest_value_ > config_.tol) {
        stall_count_ = 0;
      } else {
        stall_count_ += 1;
      }
      prev_best_ = gbest_value_;
      if (stall_count_ >= config_.patience) return StopReason::Stagnation;
    }
    if (config_.target && *config_.target >= gbest_value_) return StopReason::Target;
    if (config_.max_evals && evaluations_ >= *config_.max_evals) return StopReason::MaxEvaluations;
    if (config_.max_time &&
        duration_between(start_, std::chrono::steady_clock::now()) >= *config_.max_time) {
      return StopReason::MaxTime;
    }
    return std::nullopt;
  }

  // The result of a run its host cancelled: nothing but the evaluation count and the reason.
  RunResult<Element> cancelled() {
    RunResult<Element> result;
    result.evaluations = evaluations_;
    result.stop_reason = StopReason::Cancelled;
    return result;
  }

  RunResult<Element> finish(StopReason reason) {
    result_.best_position = space_.decode(gbest_position_);
    result_.best_value = gbest_value_;
    result_.evaluations = evaluations_;
    result_.stop_reason = reason;
    return std::move(result_);
  }

 private:
  // Reserves the trace for the whole budget up front, so recording never copies what it already
  // holds. Reserved but untouched memory costs nothing; the cap keeps a huge budget that a stop
  // criterion will cut short from reserving absurd amounts.
  void reserve_trace() {
    constexpr std::uint64_t kMaxReservedValues = std::uint64_t{1} << 24;
    const std::uint64_t per_iteration = static_cast<std::uint64_t>(swarm_.size()) * dim_;
    const std::uint64_t iterations = config_.max_iter;
    if (per_iteration == 0 || iterations > kMaxReservedValues / per_iteration) return;
    result_.history.positions.reserve(static_cast<std::size_t>(iterations * per_iteration));
    result_.convergence.reserve(static_cast<std::size_t>(iterations));
  }

  static void copy(std::span<const double> from, std::span<double> to) {
    for (std::size_t d = 0; d < from.size(); ++d) to[d] = from[d];
  }

  const SwarmConfig& config_;
  const Space& space_;
  const VelocityRule& rule_;
  Topology& topology_;
  const std::chrono::steady_clock::time_point start_;
  SwarmRng rng_;
  Swarm swarm_;
  const std::size_t dim_;

  double gbest_value_ = 0.0;
  std::vector<double> gbest_position_;
  std::uint64_t evaluations_ = 0;
  double prev_best_ = 0.0;
  std::uint64_t stall_count_ = 0;

  bool lists_whole_swarm_ = false;
  bool uses_informants_ = false;
  std::size_t leader_ = 0;  // minimum-rule choice over the whole swarm (global topology only)

  // Buffers reused from move to move.
  std::vector<double> new_velocity_;
  std::vector<std::size_t> neighbour_list_;
  std::vector<std::span<const double>> informant_views_;
  std::vector<std::span<const double>> all_bests_;
  std::vector<Element> point_;

  RunResult<Element> result_;
};

}  // namespace detail

// Per-particle run: each particle is evaluated right after it moves and updates the bests at
// once. `callback` may be null. `stop` (may be null) is asked after every evaluation; once it
// requests a stop the run ends at once, calls nothing more, and returns a result whose stop reason
// is Cancelled and which holds nothing else of use. A run never cancelled is the same run as
// without a token, bit for bit.
template <SearchSpace Space, typename Objective>
  requires ParticleObjective<Objective, typename Space::Element>
RunResult<typename Space::Element> run(const SwarmConfig& config, const Space& space,
                                       const VelocityRule& rule, Topology& topology,
                                       Objective& objective,
                                       IterationCallback* callback = nullptr,
                                       StopToken* stop = nullptr) {
  StopToken never_stopped;
  StopToken& token = stop != nullptr ? *stop : never_stopped;
  detail::SwarmRun<Space> state(config, space, rule, topology);
  Swarm& swarm = state.swarm();
  const std::size_t n = state.size();
  for (std::size_t i = 0; i < n; ++i) {
    state.create_particle(i);
    swarm.best_value(i) = state.evaluate(objective, i);
    if (token.should_stop()) return state.cancelled();
  }
  state.start_iterating();
  if (config.max_iter == 0) return state.finish(StopReason::MaxIterations);
  for (std::uint64_t t = 0;; ++t) {
    state.record_start_of_iteration();
    for (std::size_t i = 0; i < n; ++i) {
      state.move(i);
      state.update_bests(i, state.evaluate(objective, i));
      if (token.should_stop()) return state.cancelled();
    }
    if (const auto reason = state.finish_iteration(t, callback)) {
      if (token.stop_requested()) return state.cancelled();  // the callback asked for it
      return state.finish(*reason);
    }
    if (t + 1 >= config.max_iter) return state.finish(StopReason::MaxIterations);
  }
}

// Batch run: the objective evaluates the whole swarm once at the start and once per iteration,
// after every particle has moved with the bests of the previous iteration. `callback` (may be
// null) is called at the end of every iteration, after the bests took the batch, as in run().
// `stop` (may be null) is asked after every batch and after the callback, with the same meaning
// as in run().
template <SearchSpace Space, typename Objective>
  requires BatchObjective<Objective, Space>
RunResult<typename Space::Element> run_batch(const SwarmConfig& config, const Space& space,
                                             const VelocityRule& rule, Topology& topology,
                                             Objective& objective,
                                             IterationCallback* callback = nullptr,
                                             StopToken* stop = nullptr) {
  StopToken never_stopped;
  StopToken& token = stop != nullptr ? *stop : never_stopped;
  detail::SwarmRun<Space> state(config, space, rule, topology);
  Swarm& swarm = state.swarm();
  const std::size_t n = state.size();
  std::vector<double> values;
  for (std::size_t i = 0; i < n; ++i) state.create_particle(i);
  objective.evaluate_batch(space, static_cast<const Swarm&>(swarm), values);
  const std::size_t paired = values.size() < n ? values.size() : n;
  for (std::size_t i = 0; i < paired; ++i) swarm.best_value(i) = values[i];
  state.add_evaluations(values.size());
  if (token.should_stop()) return state.cancelled();
  state.start_iterating();
  if (config.max_iter == 0) return state.finish(StopReason::MaxIterations);
  for (std::uint64_t t = 0;; ++t) {
    state.record_start_of_iteration();
    for (std::size_t i = 0; i < n; ++i) state.move(i);
    objective.evaluate_batch(space, static_cast<const Swarm&>(swarm), values);
    if (token.should_stop()) return state.cancelled();
    require_eq(values.size(), n, "batched objective must return one value per particle");
    for (std::size_t i = 0; i < n; ++i) state.update_bests(i, values[i]);
    state.add_evaluations(n);
    if (const auto reason = state.finish_iteration(t, callback)) {
      if (token.stop_requested()) return state.cancelled();  // the callback asked for it
      return state.finish(*reason);
    }
    if (t + 1 >= config.max_iter) return state.finish(StopReason::MaxIterations);
  }
}

}  // namespace corvalinth
