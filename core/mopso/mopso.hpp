// The multi-objective run loop. Particles fly towards leaders drawn by a binary tournament from a
// bounded Pareto archive, a decaying turbulence spreads the front, and the final archive is the
// answer. Written once over the search space type; the instances differ only in the space and in
// the decoded point the objective sees. Two forms share every step:
//  - run_mopso():       per-particle objective; each particle is evaluated right after it moves,
//                       then updates its personal best and offers itself to the archive;
//  - run_mopso_batch(): batch objective; every particle moves (tournament, velocity, bounds,
//                       turbulence, in particle order), one call evaluates them all, then each
//                       particle in order updates its personal best and offers itself to the
//                       archive. The leaders of an iteration are fixed at its start in both forms,
//                       so the two differ only in when the personal-best coins are drawn.
// Without stop criteria a run makes exactly n_particles x (max_iter + 1) evaluations; an
// iteration callback, max_evals and max_time may end it earlier, and its host may cancel it
// through a StopToken.
#pragma once

#include <chrono>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/contracts.hpp"
#include "core/duration.hpp"
#include "core/failure.hpp"
#include "core/mopso/archive.hpp"
#include "core/mopso/constraint_levels.hpp"
#include "core/mopso/polynomial_mutation.hpp"
#include "core/motion.hpp"
#include "core/records.hpp"
#include "core/stop_token.hpp"

namespace corvalinth {

// How turbulence perturbs particles after they move: one coordinate redrawn in a window that
// shrinks over the run (the default), or polynomial mutation of every sixth particle
// (polynomial_mutation.hpp). `mutation_rate` <= 0 switches either off.
enum class Turbulence { Decaying, Polynomial };

struct MopsoConfig {
  std::optional<std::uint64_t> seed;
  DiversityStrategy strategy = Crowding{};
  std::optional<double> v_max;  // finite and >= 0 when present
  std::uint64_t n_particles = 100;
  std::uint64_t max_iter = 100;
  std::uint64_t archive_size = 100;
  double mutation_rate = 0.1;  // turbulence strength; <= 0 switches it off
  Turbulence turbulence = Turbulence::Decaying;
  bool record_history = true;
  BoundsHandling bounds_handling = BoundsHandling::Clamp;
  // Stop criteria, tested at the end of every iteration after the callback, in this order.
  std::optional<std::uint64_t> max_evals;
  std::optional<Duration> max_time;
  // Warm start, as SwarmConfig::initial_positions: k x dim raw positions for particles 0..k-1.
  std::vector<double> initial_positions;
};

// What the iteration callback of a multi-objective run sees after each iteration.
struct FrontIterationInfo {
  std::uint64_t iteration = 0;    // zero-based index of the iteration just finished
  std::size_t front_size = 0;     // members the front would have if the run ended here
  std::uint64_t evaluations = 0;  // objective vectors computed so far
};

// Called once at the end of every iteration; returning false stops the run with
// StopReason::Callback.
class FrontCallback {
 public:
  virtual ~FrontCallback() = default;
  virtual bool on_iteration(const FrontIterationInfo& info) = 0;
};

// A multi-objective objective: writes the objective vector of one decoded point into `values`,
// replacing its contents (the loop reuses the buffer). Every call of a run must give the same
// number of values. It never draws from the run's generator and always answers.
template <typename O, typename Element>
concept ObjectiveVector = requires(O& objective, std::span<const Element> point,
                                   std::vector<double>& values) {
  objective.evaluate(point, values);
};

// A batch multi-objective objective: decodes every particle's current position with the space
// and writes their objective vectors into `values`, replacing its contents: one row per particle
// in swarm order, back to back, every row as long as the others. It never draws from the run's
// generator and always answers.
template <typename O, typename Space>
concept ObjectiveMatrix = requires(O& objective, const Space& space, const Swarm& swarm,
                                   std::vector<double>& values) {
  objective.evaluate_batch(space, swarm, values);
};

// A search space that also reports its real (lo, hi) box, which turbulence mutates within.
template <typename S>
concept BoxedSearchSpace = SearchSpace<S> && requires(const S& space) {
  { space.bounds() } -> std::convertible_to<Bounds>;
};

// The archive members' objective vectors at the start of every iteration. Member counts vary from
// iteration to iteration; all vectors have `objectives` values.
struct FrontHistory {
  std::size_t objectives = 0;
  std::vector<double> values;       // every snapshot's vectors back to back
  std::vector<std::size_t> starts;  // first member of each iteration, plus the end

  std::size_t iterations() const { return starts.empty() ? 0 : starts.size() - 1; }
  std::size_t members(std::size_t iteration) const {
    return starts[iteration + 1] - starts[iteration];
  }
  std::span<const double> objective_vector(std::size_t iteration, std::size_t member) const {
    return {values.data() + (starts[iteration] + member) * objectives, objectives};
  }
  void record(const std::vector<ArchiveMember>& archive) {
    if (starts.empty()) starts.push_back(0);
    for (const ArchiveMember& member : archive) {
      values.insert(values.end(), member.objectives.begin(), member.objectives.end());
    }
    starts.push_back(starts.back() + archive.size());
  }
};

template <typename Element>
struct FrontMember {
  std::vector<Element> position;  // decoded
  std::vector<double> objectives;
  double violation = 0.0;  // total violation (constraint_levels.hpp); 0 without constraints
};

template <typename Element>
struct MopsoResult {
  std::vector<FrontMember<Element>> members;  // the final archive, in archive order
  History swarm_history;                      // undecoded positions at each iteration's start
  FrontHistory front_history;                 // archive objectives at each iteration's start
  std::uint64_t iterations = 0;               // iterations completed, whatever record_history
  std::uint64_t evaluations = 0;
  StopReason stop_reason = StopReason::MaxIterations;
};

namespace detail {

// The swarm, generator, archive and personal-best vectors of one multi-objective run.
template <BoxedSearchSpace Space>
class MopsoRun {
 public:
  using Element = typename Space::Element;

  MopsoRun(const MopsoConfig& config, const Space& space, const VelocityRule& rule)
      : config_(config),
        space_(space),
        rule_(rule),
        start_(std::chrono::steady_clock::now()),
        rng_(config.seed ? SwarmRng::seed_from_u64(*config.seed) : SwarmRng::from_entropy()),
        swarm_(static_cast<std::size_t>(config.n_particles), space.dim()),
        dim_(space.dim()),
        archive_(config.strategy, static_cast<std::size_t>(config.archive_size)),
        box_(space.bounds()),
        levels_(swarm_.size()) {
    if (swarm_.size() == 0) fail("swarm has at least one particle");
    // Turbulence indexes the position by the box, so the two must agree.
    require_eq(box_.size(), dim_, "the search space's bounds must have one pair per dimension");
    new_velocity_.resize(dim_);
  }

  // The per-particle form. Returns an empty, cancelled result as soon as `stop` asks for it.
  template <typename Objective>
  MopsoResult<Element> run(Objective& objective, FrontCallback* callback, StopToken& stop) {
    const std::size_t n = swarm_.size();
    // Initial swarm: every particle is drawn and evaluated before anything else happens.
    for (std::size_t i = 0; i < n; ++i) {
      create_particle(i);
      evaluate(objective, i);
      if (stop.should_stop()) return cancelled();
      take_first_vector(i, values_);
    }
    start_iterating();
    for (std::uint64_t t = 0; t < config_.max_iter; ++t) {
      const std::vector<double> weights = start_iteration(t);
      for (std::size_t i = 0; i < n; ++i) {
        fly(i, weights);
        evaluate(objective, i);
        if (stop.should_stop()) return cancelled();
        take_vector(i, values_);
      }
      if (const auto reason = finish_iteration(t, callback)) {
        if (stop.stop_requested()) return cancelled();  // the callback asked for it
        return finish(*reason);
      }
    }
    return finish(StopReason::MaxIterations);
  }

  // The batch form: one objective call per phase, then the vectors taken in particle order.
  template <typename Objective>
  MopsoResult<Element> run_batch(Objective& objective, FrontCallback* callback, StopToken& stop) {
    const std::size_t n = swarm_.size();
    for (std::size_t i = 0; i < n; ++i) create_particle(i);
    evaluate_batch(objective);
    if (stop.should_stop()) return cancelled();
    for (std::size_t i = 0; i < n; ++i) take_first_vector(i, row(i));
    start_iterating();
    for (std::uint64_t t = 0; t < config_.max_iter; ++t) {
      const std::vector<double> weights = start_iteration(t);
      for (std::size_t i = 0; i < n; ++i) fly(i, weights);
      evaluate_batch(objective);
      if (stop.should_stop()) return cancelled();
      for (std::size_t i = 0; i < n; ++i) take_vector(i, row(i));
      if (const auto reason = finish_iteration(t, callback)) {
        if (stop.stop_requested()) return cancelled();
        return finish(*reason);
      }
    }
    return finish(StopReason::MaxIterations);
  }

 private:
  // Evaluates particle i's current position into values_. Every vector must have as many values
  // as the run's first one: a different count is a CoreError here, before the personal best or
  // the archive reads it.
  template <typename Objective>
  void evaluate(Objective& objective, std::size_t i) {
    if constexpr (decode_is_identity<Space>()) {
      objective.evaluate(std::span<const Element>(swarm_.position(i)), values_);
    } else {
      space_.decode_into(swarm_.position(i), point_);
      objective.evaluate(std::span<const Element>(point_), values_);
    }
    if constexpr (ReportsViolation<Objective>) levels_.evaluated(i, objective.violation());
    ++evaluations_;
    if (evaluated_) require_objective_count(values_.size(), objective_count_);
    objective_count_ = values_.size();
    evaluated_ = true;
  }

  // Evaluates the whole swarm into batch_values_, n rows of the run's objective count (the first
  // batch sets it). A matrix of another shape is a CoreError here, before anything reads it.
  template <typename Objective>
  void evaluate_batch(Objective& objective) {
    const std::size_t n = swarm_.size();
    objective.evaluate_batch(space_, static_cast<const Swarm&>(swarm_), batch_values_);
    if constexpr (ReportsViolations<Objective>) levels_.evaluated_all(objective.violations());
    evaluations_ += n;
    if (!evaluated_) {
      require_eq(batch_values_.size() % n, std::size_t{0},
                 "a batch of objective vectors must have one row per particle");
      objective_count_ = batch_values_.size() / n;
      evaluated_ = true;
    }
    require_eq(batch_values_.size(), n * objective_count_,
               "a batch of objective vectors must have one row per particle");
  }

  std::span<const double> row(std::size_t i) const {
    return {batch_values_.data() + i * objective_count_, objective_count_};
  }

  // Particle i's starting position and velocity, warm start included.
  void create_particle(std::size_t i) {
    start_particle(space_, rng_, swarm_, i, config_.initial_positions);
  }

  // Particle i's first vector becomes its personal best.
  void take_first_vector(std::size_t i, std::span<const double> values) {
    if (i == 0) best_objectives_.reserve(swarm_.size() * objective_count_);
    best_objectives_.insert(best_objectives_.end(), values.begin(), values.end());
    levels_.took_personal_best(i);
  }

  // Offers a point to the archive under constrained domination (constraint_levels.hpp).
  void offer(std::span<const double> position, ObjectiveView objectives, double violation) {
    switch (levels_.admit(violation)) {
      case ConstraintLevels::Admission::TurnAway:
        return;
      case ConstraintLevels::Admission::EmptyThenOffer:
        archive_ = ParetoArchive(archive_.strategy(), archive_.archive_size());
        break;
      case ConstraintLevels::Admission::Offer:
        break;
    }
    archive_.insert(position, objectives);
  }

  // The initial archive, then the histories' layout.
  void start_iterating() {
    for (std::size_t i = 0; i < swarm_.size(); ++i) {
      offer(swarm_.position(i), best_objectives(i), levels_.of_personal_best(i));
    }
    archive_built_ = true;
    if (config_.record_history) {
      result_.swarm_history.particles = swarm_.size();
      result_.swarm_history.dim = dim_;
      result_.front_history.objectives = objective_count_;
      reserve_swarm_history();
    }
  }

  // Prunes the archive, fixes this iteration's leaders, records the histories and sets the
  // turbulence of iteration t. Returns the leaders' weights.
  std::vector<double> start_iteration(std::uint64_t t) {
    std::vector<double> weights = archive_.prune_and_weigh();
    copy_leader_pool();
    if (config_.record_history) {
      result_.swarm_history.record(swarm_);
      result_.front_history.record(archive_.members());
    }
    const std::uint64_t iterations = config_.max_iter;
    const double last = static_cast<double>(iterations > 0 ? iterations : 1);
    decay_ = 1.0 - static_cast<double>(t) / last;
    probability_ = config_.mutation_rate * decay_;
    return weights;
  }

  // Tournament, move and turbulence of particle i.
  void fly(std::size_t i, const std::vector<double>& weights) {
    move(i, leader_by_tournament(weights));
    if (!turbulence_enabled()) return;
    if (config_.turbulence == Turbulence::Decaying) {
      mutate(i, probability_, decay_);
    } else if (polynomial_mutation_applies(i)) {
      polynomial_mutation(swarm_.position(i), box_, rng_);
    }
  }

  // Particle i's new vector: its personal best, then the archive.
  void take_vector(std::size_t i, std::span<const double> values) {
    update_personal_best(i, values);
    offer(swarm_.position(i), values, levels_.of_evaluation(i));
  }

  // The callback, then max_evals and max_time. Returns the reason to stop, if any.
  std::optional<StopReason> finish_iteration(std::uint64_t t, FrontCallback* callback) {
    ++result_.iterations;
    if (callback != nullptr) {
      const std::size_t capacity = static_cast<std::size_t>(config_.archive_size);
      // Pruning leaves exactly the capacity when the archive is over it, so this is the size of
      // the front the run would return now.
      const std::size_t front_size = archive_.size() < capacity ? archive_.size() : capacity;
      if (!callback->on_iteration({t, front_size, evaluations_})) return StopReason::Callback;
    }
    if (config_.max_evals && evaluations_ >= *config_.max_evals) return StopReason::MaxEvaluations;
    if (config_.max_time &&
        duration_between(start_, std::chrono::steady_clock::now()) >= *config_.max_time) {
      return StopReason::MaxTime;
    }
    return std::nullopt;
  }

  // The result of a run its host cancelled: the front of every vector taken so far (the
  // creation's included when the archive was not built yet), the histories so far and the reason
  // Cancelled. A vector whose evaluation was cancelled is never taken.
  MopsoResult<Element> cancelled() {
    if (!archive_built_ && objective_count_ != 0) {
      const std::size_t taken = best_objectives_.size() / objective_count_;
      for (std::size_t i = 0; i < taken; ++i)
        offer(swarm_.position(i), best_objectives(i), levels_.of_personal_best(i));
    }
    return finish(StopReason::Cancelled);
  }

  MopsoResult<Element> finish(StopReason reason) {
    archive_.prune_and_weigh();  // the final front respects the capacity; weights unused
    result_.members.reserve(archive_.size());
    for (const ArchiveMember& member : archive_.members()) {
      result_.members.push_back(
          {space_.decode(member.position), member.objectives, levels_.level()});
    }
    result_.evaluations = evaluations_;
    result_.stop_reason = reason;
    return std::move(result_);
  }

  std::span<double> best_objectives(std::size_t i) {
    return {best_objectives_.data() + i * objective_count_, objective_count_};
  }

  // The leaders of this iteration: a copy of the members' positions, since insertions during the
  // iteration may remove members.
  void copy_leader_pool() {
    const auto& members = archive_.members();
    leaders_ = members.size();
    leader_pool_.resize(leaders_ * dim_);
    for (std::size_t j = 0; j < leaders_; ++j) {
      copy_values(members[j].position, std::span<double>(leader_pool_.data() + j * dim_, dim_));
    }
  }

  // Binary tournament: two draws, the first wins ties and unordered (NaN) comparisons lose.
  std::size_t leader_by_tournament(const std::vector<double>& weights) {
    const std::size_t a = static_cast<std::size_t>(rng_.below(leaders_));
    const std::size_t b = static_cast<std::size_t>(rng_.below(leaders_));
    return weights[a] >= weights[b] ? a : b;
  }

  void move(std::size_t i, std::size_t leader) {
    const std::span<const double> leader_position(leader_pool_.data() + leader * dim_, dim_);
    const VelocityContext context{swarm_.position(i), swarm_.velocity(i),
                                  swarm_.best_position(i), leader_position, {}};
    rule_.update(context, rng_, new_velocity_);
    take_step(new_velocity_, config_.v_max, swarm_.position(i), swarm_.velocity(i));
    space_.enforce_bounds(swarm_.position(i), swarm_.velocity(i), config_.bounds_handling, rng_);
  }

  bool turbulence_enabled() const { return config_.mutation_rate > 0.0 && dim_ > 0; }

  // Turbulence: with probability p one coordinate is redrawn within a window around it that
  // shrinks with the decay, clipped to the box. The velocity is left alone.
  void mutate(std::size_t i, double probability, double decay) {
    const double u = rng_.unit();
    if (probability <= u) return;
    const std::size_t k = static_cast<std::size_t>(rng_.below(dim_));
    const auto [lo, hi] = box_[k];
    const double radius = (hi - lo) * decay * 0.5;
    if (radius <= 0.0) return;
    double& x = swarm_.position(i)[k];
    const double lower = max_ignoring_nan(x - radius, lo);
    const double upper = min_ignoring_nan(x + radius, hi);
    if (upper <= lower) return;
    x = rng_.uniform_closed(lower, upper);
  }

  // Constrained domination decides: a different violation alone, else Pareto dominance; when
  // neither vector dominates (equal ones included) a fair coin does.
  void update_personal_best(std::size_t i, std::span<const double> values) {
    const std::span<double> best = best_objectives(i);
    bool replace;
    if (const int by_violation = levels_.against_personal_best(i); by_violation != 0) {
      replace = by_violation > 0;
    } else if (dominates(values, best)) {
      replace = true;
    } else if (dominates(best, values)) {
      replace = false;
    } else {
      replace = (rng_.next_u32() >> 31) != 0;
    }
    if (!replace) return;
    copy_values(swarm_.position(i), swarm_.best_position(i));
    copy_values(values, best);
    levels_.took_personal_best(i);
  }

  // Reserves the swarm history for the whole run up front (capped, like the single-objective
  // trace), so recording never copies what it already holds.
  void reserve_swarm_history() {
    constexpr std::uint64_t kMaxReservedValues = std::uint64_t{1} << 24;
    const std::uint64_t per_iteration = static_cast<std::uint64_t>(swarm_.size()) * dim_;
    if (per_iteration == 0 || config_.max_iter > kMaxReservedValues / per_iteration) return;
    result_.swarm_history.positions.reserve(
        static_cast<std::size_t>(config_.max_iter * per_iteration));
  }

  const MopsoConfig& config_;
  const Space& space_;
  const VelocityRule& rule_;
  const std::chrono::steady_clock::time_point start_;
  SwarmRng rng_;
  Swarm swarm_;
  const std::size_t dim_;
  ParetoArchive archive_;
  const Bounds box_;  // the turbulence box
  ConstraintLevels levels_;  // violations: all 0 without constraints

  std::size_t objective_count_ = 0;
  bool evaluated_ = false;
  bool archive_built_ = false;  // start_iterating() filled the archive with the creation
  std::uint64_t evaluations_ = 0;
  double decay_ = 1.0;        // turbulence of the current iteration
  double probability_ = 0.0;
  std::vector<double> best_objectives_;  // n x objective_count_, the personal-best vectors

  // Buffers reused from move to move and from iteration to iteration.
  std::vector<double> values_;
  std::vector<double> batch_values_;
  std::vector<Element> point_;
  std::vector<double> new_velocity_;
  std::vector<double> leader_pool_;
  std::size_t leaders_ = 0;

  MopsoResult<Element> result_;
};

}  // namespace detail

// Runs a multi-objective swarm over `space` with the single-leader velocity `rule` (its
// informants are never filled) and returns the final Pareto archive, decoded, with the optional
// per-iteration histories. `callback` (may be null) is called at the end of every iteration.
// `stop` (may be null) is asked after every evaluation and after the callback; once it requests
// a stop the run ends at once, calls nothing more and returns an empty result whose stop reason
// is Cancelled. A run never cancelled is the same run as without a token, bit for bit.
template <BoxedSearchSpace Space, typename Objective>
  requires ObjectiveVector<Objective, typename Space::Element>
MopsoResult<typename Space::Element> run_mopso(const MopsoConfig& config, const Space& space,
                                               const VelocityRule& rule, Objective& objective,
                                               FrontCallback* callback = nullptr,
                                               StopToken* stop = nullptr) {
  StopToken never_stopped;
  detail::MopsoRun<Space> state(config, space, rule);
  return state.run(objective, callback, stop != nullptr ? *stop : never_stopped);
}

// The batch form of run_mopso (see the top of this file); `stop` is asked after every batch.
template <BoxedSearchSpace Space, typename Objective>
  requires ObjectiveMatrix<Objective, Space>
MopsoResult<typename Space::Element> run_mopso_batch(const MopsoConfig& config, const Space& space,
                                                     const VelocityRule& rule,
                                                     Objective& objective,
                                                     FrontCallback* callback = nullptr,
                                                     StopToken* stop = nullptr) {
  StopToken never_stopped;
  detail::MopsoRun<Space> state(config, space, rule);
  return state.run_batch(objective, callback, stop != nullptr ? *stop : never_stopped);
}

}  // namespace corvalinth
