// The single-objective run, as a state machine driven from outside (SwarmRun), and its two native
// drivers:
//  - run():       per-particle objective, asynchronous updates (a particle's improvement is seen
//                 by the particles that move after it), optional iteration callback;
//  - run_batch(): batch objective called once per iteration for the whole swarm, synchronous
//                 updates (all bests change after the whole swarm was evaluated).
// Both are templates over the space and the objective so that native objectives inline, and a
// move allocates nothing: every per-move vector lives in a buffer reused across moves.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "core/contracts.hpp"
#include "core/failure.hpp"
#include "core/feasibility.hpp"
#include "core/local_search.hpp"
#include "core/motion.hpp"
#include "core/restart.hpp"
#include "core/run_state.hpp"
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

// Where a run stands between two calls from its driver.
enum class RunPhase : std::uint8_t {
  Starting = 0,   // particles are being created and evaluated for the first time
  Iterating = 1,  // particles are being moved and evaluated, iteration after iteration
  Finished = 2,   // a stop criterion ended the run
  Local = 3,      // the final local phase: the swarm rests, a local search evaluates its points
};
inline constexpr std::uint64_t kRunPhaseCount = 4;

// The stop reasons a saved run can hold: every one a stop test reports. A cancellation and the
// reasons a host gives a cancelled run's result are not among them (cancelled() builds its own
// result); they are the last enumerators.
inline constexpr std::uint64_t kSavedStopReasonCount =
    static_cast<std::uint64_t>(StopReason::Cancelled);

}  // namespace detail

// One run as a state machine that whoever holds the objective drives from outside: it hands out
// the next point(s) to evaluate and takes their values back. A pass is the creation of the swarm
// or one iteration; the driver ends every completed pass with end_pass(), which applies the stop
// criteria. The swarm, generator, bests and trace live here, and save()/restore() carry all of
// it (with the phase) across processes in the format of core/run_state.hpp.
//
// Per-particle form: ask() creates (first pass) or moves (later passes) the next particle and
// returns its decoded position; tell(value) updates the bests at once, so the particles that move
// after it see it. Batch form: ask_batch() creates or moves every particle; tell_batch(values)
// updates the bests after the whole swarm was evaluated. A run is driven in one form only. Asking
// again before telling returns the same point(s) and draws nothing.
//
// Ranked by feasibility (config.constraint_handling, core/feasibility.hpp), the run is told a
// ConstrainedValue per point (tell, tell_batch and record_value take one) and ranks points by the
// feasibility rules wherever it compares them: personal, neighbourhood and global bests, the
// stagnation and restart tests; the target is reached only by a feasible best. Otherwise it is
// told plain values, and the ranked overloads are never called.
//
// The settings, space, rule and topology are referenced, not copied: they outlive the run.
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
        dim_(space.dim()),
        restart_(config.restart_patience, config.restart_tol),
        ranked_(config.constraint_handling == ConstraintHandling::Feasibility),
        local_plan_(LocalPhasePlan::of(config)),
        local_(config.local_search == LocalSearch::None ? 0 : space.dim()) {
    new_velocity_.resize(dim_);
    gbest_position_.resize(dim_);
    if (ranked_) best_violations_.assign(swarm_.size(), 0.0);
    if (config.local_search != LocalSearch::None) {
      local_widths_ = box_widths(space);
      local_velocity_.resize(dim_);
    }
  }

  const Swarm& swarm() const { return swarm_; }
  std::size_t size() const { return swarm_.size(); }
  // True once the swarm was created and evaluated: the global best exists.
  bool created() const { return phase_ != detail::RunPhase::Starting; }
  // True once a stop criterion ended the run.
  bool finished() const { return phase_ == detail::RunPhase::Finished; }
  // Completed iterations, which is the index of the iteration under way while iterating.
  std::uint64_t iteration() const { return iteration_; }
  std::uint64_t evaluations() const { return evaluations_; }
  // True between an ask and the tell that answers it.
  bool asked() const { return asked_; }
  // The reason the run finished; meaningful once the phase is Finished.
  StopReason stop_reason() const { return stop_reason_; }
  // The best value and raw position so far; meaningful once the swarm was created.
  double best_value() const { return gbest_value_; }
  std::vector<Element> best_position() const { return space_.decode(gbest_position_); }
  // The best point's total violation in a run ranked by feasibility; 0 otherwise.
  double best_violation() const { return gbest_violation_; }

  // The next point to evaluate, valid until the next call on the run. Not while finished.
  std::span<const Element> ask() {
    if (phase_ == detail::RunPhase::Local) {
      asked_ = true;
      return local_point(next_);
    }
    if (!asked_) {
      place(next_);
      asked_ = true;
    }
    return point_of(next_);
  }

  // The value of the point asked last. Returns true when it completed a pass.
  bool tell(double value) {
    asked_ = false;
    if (phase_ == detail::RunPhase::Local) {
      record_local(next_, value);
      return ++next_ == local_.round_size();
    }
    record(next_, value);
    return ++next_ == swarm_.size();
  }
  bool tell(ConstrainedValue value) {
    asked_ = false;
    if (phase_ == detail::RunPhase::Local) {
      record_local(next_, value);
      return ++next_ == local_.round_size();
    }
    record(next_, value);
    return ++next_ == swarm_.size();
  }

  // The number of points a pass asks: the swarm's size, or the local phase's round.
  std::size_t pass_size() const {
    return phase_ == detail::RunPhase::Local ? local_.round_size() : swarm_.size();
  }

  // The steps of ask() and tell() for one particle named by the driver, for drivers that hand out
  // several particles at once (core/async_run.hpp): place_particle creates (first pass) or moves
  // particle i; point is its position as the objective sees it, valid until the next call on the
  // run; record counts its evaluation and updates the bests with its value at once.
  void place_particle(std::size_t i) { place(i); }
  std::span<const Element> point(std::size_t i) { return point_of(i); }
  void record_value(std::size_t i, double value) { record(i, value); }
  void record_value(std::size_t i, ConstrainedValue value) { record(i, value); }

  // The rest of the current pass, asked and told in a loop with a native `objective`; `token` is
  // asked after every evaluation. Returns true when the pass is complete, false when the token
  // stopped it. The steps of ask() and tell(), with the particle index in a register and the
  // phase tested once per pass: stepping through ask() and tell() costs the native loop about
  // 2% per particle-step.
  template <typename Objective>
  bool evaluate_pass(Objective& objective, StopToken& token) {
    if (phase_ == detail::RunPhase::Local) return evaluate_local_pass(objective, token);
    const std::size_t n = swarm_.size();
    const bool creating = phase_ == detail::RunPhase::Starting;
    for (std::size_t i = next_; i < n; ++i) {
      if (creating) {
        create_particle(i);
        ++evaluations_;
        take_first_value(i, objective.evaluate(point_of(i)));
      } else {
        move(i);
        ++evaluations_;
        update_bests(i, objective.evaluate(point_of(i)));
      }
      if (token.should_stop()) {
        next_ = i + 1;
        return false;
      }
    }
    next_ = n;
    return true;
  }

  // The swarm whose current positions are to be evaluated next (in the local phase, the points of
  // its round). Not while finished.
  const Swarm& ask_batch() {
    if (phase_ == detail::RunPhase::Local) {
      asked_ = true;
      return local_.round();
    }
    if (!asked_) {
      for (std::size_t i = 0; i < swarm_.size(); ++i) place(i);
      asked_ = true;
    }
    return swarm_;
  }

  // The values of the swarm asked last, one per particle in swarm order; always completes a
  // pass. When creating the swarm, values beyond the swarm are counted as evaluations and
  // missing ones leave the personal best at +inf; later passes fail unless there is one value per
  // particle (per point of the local phase's round).
  void tell_batch(std::span<const double> values) { tell_pass(values); }
  void tell_batch(std::span<const ConstrainedValue> values) { tell_pass(values); }

  // Ends the pass just completed: after the creation, picks the initial global best; after an
  // iteration, records it and applies the stop tests in their order (`callback` may be null).
  // Returns the reason to stop, if any, and then the run is finished; otherwise the next pass
  // begins. In the local phase every round is an iteration: the same stop tests apply, and the
  // budget (core/local_search.hpp) takes the place of max_iter.
  std::optional<StopReason> end_pass(IterationCallback* callback) {
    next_ = 0;
    if (phase_ == detail::RunPhase::Starting) {
      start_iterating();
      if (config_.max_iter == 0) return finish_with(StopReason::MaxIterations);
      phase_ = detail::RunPhase::Iterating;
      if (local_phase_due()) begin_local_phase();
    } else if (phase_ == detail::RunPhase::Local) {
      const std::uint64_t t = iteration_++;
      if (const auto reason = finish_iteration(t, callback)) return finish_with(*reason);
      if (evaluations_ >= local_plan_.budget) return finish_with(StopReason::MaxIterations);
      local_.advance(local_widths_, clip_to_box(), local_limit());
    } else {
      const std::uint64_t t = iteration_++;
      if (const auto reason = finish_iteration(t, callback)) return finish_with(*reason);
      if (iteration_ >= config_.max_iter) return finish_with(StopReason::MaxIterations);
      if (local_phase_due()) {
        begin_local_phase();
      } else if (restart_.enabled() && restart_due()) {
        StallRestart::restart(space_, rng_, swarm_, gbest_position_, config_.restart_spread);
        // Ranked, a forgotten best is the worst rank too: +inf violation.
        for (double& violation : best_violations_)
          violation = std::numeric_limits<double>::infinity();
        leader_ = 0;  // the minimum rule's choice among personal bests that are all +inf
      }
    }
    record_start_of_iteration();
    return std::nullopt;
  }

  // The result of a run its host cancelled, moved out (the run is spent): the best point
  // evaluated so far, evaluations of the pass under way included (the global best once iterating,
  // which every evaluation updates and a restart keeps; while creating, the best personal best,
  // +inf with particle 0's starting point when none was evaluated), the trace and the counts so
  // far, and the reason Cancelled.
  RunResult<Element> cancelled() {
    RunResult<Element> result = std::move(result_);
    if (phase_ != detail::RunPhase::Starting) {
      result.best_position = space_.decode(gbest_position_);
      result.best_value = gbest_value_;
    } else if (swarm_.size() != 0) {
      const std::size_t best = swarm_best();
      result.best_position = space_.decode(swarm_.best_position(best));
      result.best_value = swarm_.best_value(best);
      if (ranked_) gbest_violation_ = best_violations_[best];
    }
    result.best_violation = gbest_violation_;
    result.evaluations = evaluations_;
    result.iterations = iteration_;
    result.stop_reason = StopReason::Cancelled;
    return result;
  }

  // The result of the finished run, moved out: the run is spent.
  RunResult<Element> take_result() {
    complete_result();
    return std::move(result_);
  }

  // The result of the finished run, copied: the run stays as it is.
  RunResult<Element> result() {
    complete_result();
    return result_;
  }

  // Appends the whole state of the run to `out`. Not between the tell that completed a pass and
  // end_pass(): a run is saved at rest or with a pass under way.
  void save(StateWriter& out) const { (void)visit_state(*this, out); }

  // Replaces the state of this run, which must be freshly built with the settings, space, rule
  // and topology of the saved one, by the state `in` holds. Throws RunStateError, leaving this
  // run unusable, when the state does not fit.
  void restore(StateReader& in) {
    restore_fields(in);
    in.expect_end();
  }

  // restore() for a driver whose own fields follow the run's in the same state.
  void restore_fields(StateReader& in) {
    const std::uint64_t recorded = visit_state(*this, in);
    if (phase_ != detail::RunPhase::Starting) prepare_neighbourhoods();
    if (config_.record_history && phase_ != detail::RunPhase::Starting) {
      result_.history.particles = swarm_.size();
      result_.history.dim = dim_;
    }
    std::vector<double> history = std::move(result_.history.positions);
    result_.history.restore(std::move(history), static_cast<std::size_t>(recorded));
  }

 private:
  // Every field that decides the rest of the run, in the order of the saved state: written when
  // `archive` is a StateWriter (and `run` const), read and checked when it is a StateReader.
  // Returns the number of recorded iterations.
  template <typename Run, typename Archive>
  static std::uint64_t visit_state(Run& run, Archive& archive) {
    const std::size_t n = run.swarm_.size();
    archive.same(n, "number of particles");
    archive.same(run.dim_, "dimension");
    archive.same_flag(run.config_.record_history, "record_history");
    archive.index(run.phase_, detail::kRunPhaseCount, "phase");
    archive.index(run.stop_reason_, detail::kSavedStopReasonCount, "stop reason");
    // A run holds its initial reason until a stop test ends it.
    archive.require(
        run.phase_ == detail::RunPhase::Finished || run.stop_reason_ == StopReason::MaxIterations,
        "stop reason of an unfinished run");
    archive.word(run.iteration_);
    const bool local = run.phase_ == detail::RunPhase::Local;
    const bool local_possible = run.config_.local_search != LocalSearch::None;
    archive.require(!local || local_possible, "phase");
    // Every state saved outside a pass's end names a particle below n (n >= 1 once created), or
    // a point of the local phase's round (checked with the round below).
    archive.index(run.next_, local ? run.dim_ : n, "particle index");
    archive.flag(run.asked_);
    archive.generator(run.rng_);
    for (std::size_t i = 0; i < n; ++i) archive.block(run.swarm_.position(i), "positions");
    for (std::size_t i = 0; i < n; ++i) archive.block(run.swarm_.velocity(i), "velocities");
    for (std::size_t i = 0; i < n; ++i) {
      archive.block(run.swarm_.best_position(i), "best positions");
    }
    archive.block(run.swarm_.best_values(), "best values");
    archive.real(run.gbest_value_);
    archive.block(run.gbest_position_, "global best position");
    archive.word(run.evaluations_);
    archive.real(run.prev_best_);
    archive.word(run.stall_count_);
    archive.index(run.leader_, n, "leader");
    StallRestart::visit_state(run.restart_, archive);
    // A run ranked by feasibility keeps the violations beside the values.
    if (run.ranked_) {
      archive.block(std::span(run.best_violations_), "best violations");
      archive.real(run.gbest_violation_);
      archive.real(run.prev_violation_);
      StallRestart::visit_ranked_state(run.restart_, archive);
    }
    if (local_possible) {
      NelderMead::visit_state(run.local_, archive, run.ranked_);
      archive.require(!local || run.next_ < run.local_.round_size(), "particle index");
    }
    // The trace holds exactly what the phase and the iteration count imply, so its size is
    // bounded by the run's own budget (in the local phase, by its evaluations: each round has
    // at least one).
    const bool starting = run.phase_ == detail::RunPhase::Starting;
    const bool iterating = run.phase_ == detail::RunPhase::Iterating;
    const bool history_possible = run.config_.record_history && !starting;
    const bool within_local_budget = local_possible && run.iteration_ <= run.evaluations_;
    archive.require(starting    ? run.iteration_ == 0
                    : iterating ? run.iteration_ < run.config_.max_iter
                    : local     ? within_local_budget
                                : run.iteration_ <= run.config_.max_iter || within_local_budget,
                    "iteration count");
    const std::uint64_t recorded =
        history_possible ? run.iteration_ + (iterating || local ? 1 : 0) : 0;
    archive.count(run.result_.history.iterations(), recorded, "number of recorded iterations");
    const std::uint64_t per_iteration = static_cast<std::uint64_t>(n) * run.dim_;
    archive.require(per_iteration == 0 || recorded <= UINT64_MAX / per_iteration, "history");
    archive.values(run.result_.history.positions, recorded * per_iteration, "history");
    archive.values(run.result_.convergence, history_possible ? run.iteration_ : 0, "convergence");
    SwarmRng* topology_rng = run.topology_.own_generator();
    archive.same_flag(topology_rng != nullptr, "topology");
    if (topology_rng != nullptr) archive.generator(*topology_rng);
    return recorded;
  }

  // Creates (first pass) or moves (later passes) particle i.
  void place(std::size_t i) {
    if (phase_ == detail::RunPhase::Starting) {
      create_particle(i);
    } else {
      move(i);
    }
  }

  // Particle i's current position as the objective sees it.
  std::span<const Element> point_of(std::size_t i) {
    if constexpr (decode_is_identity<Space>()) {
      return std::span<const Element>(swarm_.position(i));
    } else {
      space_.decode_into(swarm_.position(i), point_);
      return std::span<const Element>(point_);
    }
  }

  // Counts the evaluation of particle i and updates the bests with its value.
  void record(std::size_t i, double value) {
    ++evaluations_;
    if (phase_ == detail::RunPhase::Starting) {
      swarm_.best_value(i) = value;
    } else {
      update_bests(i, value);
    }
  }
  void record(std::size_t i, ConstrainedValue value) {
    ++evaluations_;
    if (phase_ == detail::RunPhase::Starting) {
      take_first_value(i, value);
    } else {
      update_bests(i, value);
    }
  }

  // tell_batch for either kind of value (a plain value, or a value with its violation).
  template <typename Told>
  void tell_pass(std::span<const Told> values) {
    const std::size_t n = pass_size();
    if (phase_ == detail::RunPhase::Local) {
      require_eq(values.size(), n, "batched objective must return one value per particle");
      for (std::size_t k = 0; k < n; ++k) record_local(k, values[k]);
    } else if (phase_ == detail::RunPhase::Starting) {
      const std::size_t paired = values.size() < n ? values.size() : n;
      for (std::size_t i = 0; i < paired; ++i) take_first_value(i, values[i]);
      evaluations_ += values.size();
    } else {
      require_eq(values.size(), n, "batched objective must return one value per particle");
      for (std::size_t i = 0; i < n; ++i) update_bests(i, values[i]);
      evaluations_ += n;
    }
    asked_ = false;
    next_ = n;
  }

  // Particle i's first value becomes its personal best.
  void take_first_value(std::size_t i, double value) { swarm_.best_value(i) = value; }
  void take_first_value(std::size_t i, ConstrainedValue value) {
    swarm_.best_value(i) = value.value;
    best_violations_[i] = value.violation;
  }

  // The minimum rule's choice over the whole swarm, by rank when ranked.
  std::size_t swarm_best() const {
    return ranked_ ? best_ranked_of_swarm(swarm_, best_violations_) : best_of_swarm(swarm_);
  }

  // The restart policy's test after an iteration, on the swarm's best.
  bool restart_due() {
    if (!ranked_) return restart_.due(swarm_);
    return restart_.due_ranked(ranked_best(swarm_, best_violations_, swarm_best()));
  }

  // The local phase's point k as the objective sees it, valid until the next call on the run.
  std::span<const Element> local_point(std::size_t k) {
    const std::span<const double> raw = local_.round().position(k);
    if constexpr (decode_is_identity<Space>()) {
      return raw;
    } else {
      space_.decode_into(raw, point_);
      return std::span<const Element>(point_);
    }
  }

  // Counts the evaluation of the local phase's point k and updates the global best with it (by
  // rank when ranked, so the phase never replaces the best by a point of a worse rank).
  void record_local(std::size_t k, double value) {
    ++evaluations_;
    local_.take(k, {value, 0.0});
    if (is_better(value, gbest_value_)) {
      gbest_value_ = value;
      copy_values(local_.round().position(k), gbest_position_);
    }
  }
  void record_local(std::size_t k, ConstrainedValue value) {
    ++evaluations_;
    local_.take(k, value);
    if (ranks_better(value, {gbest_value_, gbest_violation_})) {
      gbest_value_ = value.value;
      gbest_violation_ = value.violation;
      copy_values(local_.round().position(k), gbest_position_);
    }
  }

  // The rest of the local phase's round with a native objective, as evaluate_pass.
  template <typename Objective>
  bool evaluate_local_pass(Objective& objective, StopToken& token) {
    const std::size_t points = local_.round_size();
    for (std::size_t k = next_; k < points; ++k) {
      record_local(k, objective.evaluate(local_point(k)));
      if (token.should_stop()) {
        next_ = k + 1;
        return false;
      }
    }
    next_ = points;
    return true;
  }

  // True at the end of a pass that hands the rest of the budget to the local phase.
  bool local_phase_due() const {
    return config_.local_search != LocalSearch::None && dim_ != 0 &&
           evaluations_ >= local_plan_.handover && evaluations_ < local_plan_.budget;
  }

  void begin_local_phase() {
    phase_ = detail::RunPhase::Local;
    local_.begin(gbest_position_, {gbest_value_, gbest_violation_}, local_widths_, clip_to_box(),
                 local_limit());
  }

  // The most points the next round may ask: what is left of the budget.
  std::size_t local_limit() const {
    const std::uint64_t left = local_plan_.budget - evaluations_;
    return left < dim_ ? static_cast<std::size_t>(left) : dim_;
  }

  // Brings a point of the local phase into the box by the "clamp" policy, which draws nothing.
  auto clip_to_box() {
    return [this](std::span<double> point) {
      space_.enforce_bounds(point, local_velocity_, BoundsHandling::Clamp, rng_);
    };
  }

  // The box's width per coordinate, for the local phase's first simplex.
  static std::vector<double> box_widths(const Space& space) {
    std::vector<double> widths(space.dim(), 1.0);
    const auto& bounds = space.bounds();
    if (bounds.size() == widths.size()) {
      for (std::size_t d = 0; d < widths.size(); ++d) {
        widths[d] = bounds[d].second - bounds[d].first;
      }
    }
    return widths;
  }

  // Particle i's starting position and velocity, warm start included.
  void create_particle(std::size_t i) {
    start_particle(space_, rng_, swarm_, i, config_.initial_positions);
  }

  // Picks the initial global best by the minimum rule and prepares the iteration phase.
  void start_iterating() {
    if (swarm_.size() == 0) fail("swarm has at least one particle");
    const std::size_t best = swarm_best();
    gbest_value_ = swarm_.best_value(best);
    if (ranked_) gbest_violation_ = best_violations_[best];
    copy_values(swarm_.best_position(best), gbest_position_);
    leader_ = best;
    prepare_neighbourhoods();
    prev_best_ = gbest_value_;
    prev_violation_ = gbest_violation_;
    if (config_.v_max && dim_ != 0 && config_.max_iter > 0) {
      detail::check_velocity_limit(*config_.v_max);
    }
    if (config_.record_history) {
      result_.history.particles = swarm_.size();
      result_.history.dim = dim_;
      reserve_trace();
    }
  }

  // What the moves read of the topology and the rule, fixed for the run.
  void prepare_neighbourhoods() {
    lists_whole_swarm_ = topology_.lists_whole_swarm();
    uses_informants_ = rule_.uses_informants();
    all_bests_.clear();
    if (uses_informants_ && lists_whole_swarm_) {
      all_bests_.reserve(swarm_.size());
      for (std::size_t j = 0; j < swarm_.size(); ++j) all_bests_.push_back(swarm_.best_position(j));
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
      best_neighbour = ranked_ ? best_ranked(neighbour_list_, swarm_, best_violations_)
                               : best_by_minimum_rule(neighbour_list_, swarm_);
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
    copy_values(swarm_.position(i), swarm_.best_position(i));
    if (is_better(value, gbest_value_)) {
      gbest_value_ = value;
      copy_values(swarm_.position(i), gbest_position_);
    }
    // Keep the minimum-rule choice over the whole swarm current. Personal bests only improve, so
    // the choice is either the old one or i: i wins with a smaller value, with an equal value
    // at a lower index, or with a number against NaN.
    if (lists_whole_swarm_ && i != leader_) {
      const double current = swarm_.best_value(leader_);
      if (is_better(value, current) || (value == current && i < leader_)) leader_ = i;
    }
  }

  // The same update by rank, for a run ranked by feasibility; the leader's proof carries over with
  // "equal rank" for "equal value".
  void update_bests(std::size_t i, ConstrainedValue value) {
    if (!ranks_better(value, ranked_best(swarm_, best_violations_, i))) return;
    swarm_.best_value(i) = value.value;
    best_violations_[i] = value.violation;
    copy_values(swarm_.position(i), swarm_.best_position(i));
    if (ranks_better(value, {gbest_value_, gbest_violation_})) {
      gbest_value_ = value.value;
      gbest_violation_ = value.violation;
      copy_values(swarm_.position(i), gbest_position_);
    }
    if (lists_whole_swarm_ && i != leader_) {
      const ConstrainedValue current = ranked_best(swarm_, best_violations_, leader_);
      if (ranks_better(value, current) || (ranks_equal(value, current) && i < leader_)) {
        leader_ = i;
      }
    }
  }

  // Records the end of iteration t and applies the stop tests in their order. Returns the reason
  // to stop, if any.
  std::optional<StopReason> finish_iteration(std::uint64_t t, IterationCallback* callback) {
    if (config_.record_history) result_.convergence.push_back(gbest_value_);
    if (callback != nullptr) {
      const IterationInfo info{gbest_position_, t, gbest_value_, evaluations_, swarm_.positions()};
      if (!callback->on_iteration(info)) return StopReason::Callback;
    }
    if (config_.patience > 0) {
      if (improved_beyond({prev_best_, prev_violation_}, {gbest_value_, gbest_violation_},
                          config_.tol)) {
        stall_count_ = 0;
      } else {
        stall_count_ += 1;
      }
      prev_best_ = gbest_value_;
      prev_violation_ = gbest_violation_;
      if (stall_count_ >= config_.patience) return StopReason::Stagnation;
    }
    if (config_.target && *config_.target >= gbest_value_ && gbest_violation_ == 0.0) {
      return StopReason::Target;
    }
    if (config_.max_evals && evaluations_ >= *config_.max_evals) return StopReason::MaxEvaluations;
    if (config_.max_time &&
        duration_between(start_, std::chrono::steady_clock::now()) >= *config_.max_time) {
      return StopReason::MaxTime;
    }
    return std::nullopt;
  }

  StopReason finish_with(StopReason reason) {
    phase_ = detail::RunPhase::Finished;
    stop_reason_ = reason;
    return reason;
  }

  void complete_result() {
    result_.best_position = space_.decode(gbest_position_);
    result_.best_value = gbest_value_;
    result_.evaluations = evaluations_;
    result_.iterations = iteration_;
    result_.stop_reason = stop_reason_;
    result_.best_violation = gbest_violation_;
  }

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

  const SwarmConfig& config_;
  const Space& space_;
  const VelocityRule& rule_;
  Topology& topology_;
  const std::chrono::steady_clock::time_point start_;
  SwarmRng rng_;
  Swarm swarm_;
  const std::size_t dim_;
  StallRestart restart_;
  const bool ranked_;  // ranked by feasibility
  const LocalPhasePlan local_plan_;
  NelderMead local_;
  std::vector<double> local_widths_;    // empty without a local phase
  std::vector<double> local_velocity_;  // what clamping writes to, never read

  detail::RunPhase phase_ = detail::RunPhase::Starting;
  StopReason stop_reason_ = StopReason::MaxIterations;
  std::uint64_t iteration_ = 0;
  std::size_t next_ = 0;  // the particle asked or to be asked next (per-particle form)
  bool asked_ = false;

  double gbest_value_ = 0.0;
  std::vector<double> gbest_position_;
  std::uint64_t evaluations_ = 0;
  double prev_best_ = 0.0;
  std::uint64_t stall_count_ = 0;
  // Ranked runs only: each personal best's violation (empty otherwise), the global best's and
  // the previous one the stagnation test saw (0 otherwise).
  std::vector<double> best_violations_;
  double gbest_violation_ = 0.0;
  double prev_violation_ = 0.0;

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


// Per-particle run: each particle is evaluated right after it moves and updates the bests at
// once. `callback` may be null. `stop` (may be null) is asked after every evaluation; once it
// requests a stop the run ends at once, calls nothing more, and returns a result whose stop reason
// is Cancelled and which holds nothing else of use. A run never cancelled is the same run as
// without a token, bit for bit.
template <SearchSpace Space, typename Objective>
  requires ParticleObjective<Objective, typename Space::Element> ||
           RankedParticleObjective<Objective, typename Space::Element>
RunResult<typename Space::Element> run(const SwarmConfig& config, const Space& space,
                                       const VelocityRule& rule, Topology& topology,
                                       Objective& objective, IterationCallback* callback = nullptr,
                                       StopToken* stop = nullptr) {
  StopToken never_stopped;
  StopToken& token = stop != nullptr ? *stop : never_stopped;
  SwarmRun<Space> state(config, space, rule, topology);
  for (;;) {
    if (!state.evaluate_pass(objective, token)) return state.cancelled();
    if (state.end_pass(callback)) {
      if (token.stop_requested()) return state.cancelled();  // the callback asked for it
      return state.take_result();
    }
  }
}

// Batch run: the objective evaluates the whole swarm once at the start and once per iteration,
// after every particle has moved with the bests of the previous iteration. `callback` (may be
// null) is called at the end of every iteration, after the bests took the batch, as in run().
// `stop` (may be null) is asked after every batch and after the callback, with the same meaning
// as in run().
template <SearchSpace Space, typename Objective>
  requires BatchObjective<Objective, Space> || RankedBatchObjective<Objective, Space>
RunResult<typename Space::Element> run_batch(const SwarmConfig& config, const Space& space,
                                             const VelocityRule& rule, Topology& topology,
                                             Objective& objective,
                                             IterationCallback* callback = nullptr,
                                             StopToken* stop = nullptr) {
  StopToken never_stopped;
  StopToken& token = stop != nullptr ? *stop : never_stopped;
  SwarmRun<Space> state(config, space, rule, topology);
  std::vector<std::conditional_t<RankedBatchObjective<Objective, Space>, ConstrainedValue, double>>
      values;
  for (;;) {
    objective.evaluate_batch(space, state.ask_batch(), values);
    state.tell_batch(std::span<const typename decltype(values)::value_type>(values));
    if (token.should_stop()) return state.cancelled();
    if (state.end_pass(callback)) {
      if (token.stop_requested()) return state.cancelled();  // the callback asked for it
      return state.take_result();
    }
  }
}

}  // namespace corvalinth
