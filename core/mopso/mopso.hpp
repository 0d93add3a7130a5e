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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "core/contracts.hpp"
#include "core/duration.hpp"
#include "core/failure.hpp"
#include "core/mopso/archive.hpp"
#include "core/mopso/archive_crossover.hpp"
#include "core/mopso/constraint_levels.hpp"
#include "core/mopso/differential_child.hpp"
#include "core/mopso/polynomial_mutation.hpp"
#include "core/mopso/swarm_selection.hpp"
#include "core/motion.hpp"
#include "core/records.hpp"
#include "core/run_state.hpp"
#include "core/stop_token.hpp"

namespace corvalinth {

// How turbulence perturbs particles after they move: one coordinate redrawn in a window that
// shrinks over the run (the default), or polynomial mutation of every sixth particle
// (polynomial_mutation.hpp). `mutation_rate` <= 0 switches either off.
enum class Turbulence { Decaying, Polynomial };

// How the next swarm is formed at the end of an iteration: each particle keeps its own personal
// best by dominance (the default), or the population step of swarm_selection.hpp chooses the swarm
// from the personal bests and the new points (no personal-best coin is drawn then).
enum class SwarmSelection { None, Nondominated };

// The child the archive's crossover makes: simulated binary crossover of two leaders
// (archive_crossover.hpp, the default), or a leader moved by half the difference of two personal
// bests (differential_child.hpp).
enum class ArchiveCrossover { Sbx, Differential };

// With four or more objectives nearly every candidate is non-dominated and crowding ranks them
// poorly (measured: far worse fronts), so the population step applies with at most three.
inline constexpr std::size_t kMaxSelectionObjectives = 3;

struct MopsoConfig;
bool selection_applies(const MopsoConfig& config, std::size_t objectives);

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
  // The share in [0, 1] of particle moves that are the archive's crossover instead of a flight
  // (archive_crossover.hpp); 0 draws nothing for it.
  double crossover_share = 0.0;
  SwarmSelection swarm_selection = SwarmSelection::None;
  ArchiveCrossover crossover = ArchiveCrossover::Sbx;
};

// True when the population step runs in a run of this many objectives.
inline bool selection_applies(const MopsoConfig& config, std::size_t objectives) {
  return config.swarm_selection == SwarmSelection::Nondominated &&
         objectives <= kMaxSelectionObjectives;
}

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

// Where a multi-objective run stands between two calls from its driver (as RunPhase).
enum class MopsoPhase : std::uint8_t {
  Starting = 0,   // particles are being created and evaluated for the first time
  Iterating = 1,  // particles are being moved and evaluated, iteration after iteration
  Finished = 2,   // a stop criterion ended the run
};
inline constexpr std::uint64_t kMopsoPhaseCount = 3;

// The first word of a saved multi-objective state, which tells it from a single-objective one
// ("MOPSO" as a little-endian word).
inline constexpr std::uint64_t kMopsoStateTag = 0x4F53504F4DULL;

// One multi-objective run as a state machine that whoever holds the objective drives from
// outside, as SwarmRun is: it hands out the next point(s) to evaluate and takes their objective
// vectors back. A pass is the creation of the swarm or one iteration; the driver ends every
// completed pass with end_pass(), which builds the archive (after the creation), applies the stop
// criteria (after an iteration) and starts the next iteration: the prune, the leaders, the
// history snapshots and the turbulence of that iteration. The swarm, generator, personal bests,
// archive, leaders and histories live here, and save()/restore() carry all of it (with the phase)
// in the format of core/run_state.hpp.
//
// Per-particle form: ask() creates (first pass) or flies (later passes) the next particle and
// returns its decoded position; tell(values) takes its vector at once. Batch form: ask_batch()
// creates or flies every particle; tell_batch(values) takes one row per particle in order. A run
// is driven in one form only. Asking again before telling returns the same point(s) and draws
// nothing. run() and run_batch() below are the native drivers.
//
// The settings, space and rule are referenced, not copied: they outlive the run.
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

  const Swarm& swarm() const { return swarm_; }
  std::size_t size() const { return swarm_.size(); }
  // True once the swarm was created and evaluated: the archive exists.
  bool created() const { return phase_ != MopsoPhase::Starting; }
  // True once a stop criterion ended the run.
  bool finished() const { return phase_ == MopsoPhase::Finished; }
  // Completed iterations, which is the index of the iteration under way while iterating.
  std::uint64_t iteration() const { return result_.iterations; }
  std::uint64_t evaluations() const { return evaluations_; }
  // True between an ask and the tell that answers it.
  bool asked() const { return asked_; }
  // The number of objectives, set by the first vector told; 0 before it.
  std::size_t objective_count() const { return objective_count_; }
  // True once a vector was told, which fixed objective_count().
  bool evaluated() const { return evaluated_; }
  // The reason the run finished; meaningful once finished().
  StopReason stop_reason() const { return stop_reason_; }

  // The next point to evaluate, valid until the next call on the run. Not while finished.
  std::span<const Element> ask() {
    if (!asked_) {
      place(next_);
      asked_ = true;
    }
    return point_of(next_);
  }

  // The objective vector of the point asked last; it must have the run's objective count (a
  // CoreError otherwise, before anything reads it). Returns true when it completed a pass.
  bool tell(std::span<const double> values) {
    count_vector(values.size());
    take(next_, values);
    asked_ = false;
    return ++next_ == swarm_.size();
  }

  // The swarm whose current positions are to be evaluated next. Not while finished.
  const Swarm& ask_batch() {
    if (!asked_) {
      for (std::size_t i = 0; i < swarm_.size(); ++i) place(i);
      asked_ = true;
    }
    return swarm_;
  }

  // The vectors of the swarm asked last, one row per particle back to back; always completes a
  // pass. A matrix of another shape is a CoreError, before anything reads it.
  void tell_batch(std::span<const double> values) {
    count_batch(values.size());
    take_batch(values);
  }

  // The steps of ask() and tell() for one particle named by the driver, for drivers that hand out
  // several particles at once (core/async_run.hpp), as SwarmRun's: place_particle creates (first
  // pass) or flies particle i; point is its position as the objective sees it, valid until the
  // next call on the run; record_value counts its evaluation (a vector of another count is a
  // CoreError first) and takes it at once. While the swarm is created the vectors may come in any
  // order: the first one sizes every row, and the archive is built from them when the pass ends.
  void place_particle(std::size_t i) { place(i); }
  std::span<const Element> point(std::size_t i) { return point_of(i); }
  void record_value(std::size_t i, std::span<const double> values) {
    count_vector(values.size());
    if (phase_ != MopsoPhase::Starting) return take_vector(i, values);
    best_objectives_.resize(swarm_.size() * objective_count_);
    copy_values(values, best_objectives(i));
    levels_.took_personal_best(i);
  }

  // The rest of the current pass, asked and told in a loop with a native `objective`; `stop` is
  // asked after every evaluation, before its vector is taken. Returns true when the pass is
  // complete, false when the token stopped it.
  template <typename Objective>
  bool evaluate_pass(Objective& objective, StopToken& stop) {
    const std::size_t n = swarm_.size();
    for (std::size_t i = next_; i < n; ++i) {
      place(i);
      evaluate(objective, i);
      if (stop.should_stop()) return false;
      take(i, values_);
    }
    next_ = n;
    return true;
  }

  // Ends the pass just completed: after the creation, builds the archive; after an iteration,
  // applies the stop tests in their order (`callback` may be null). Returns the reason to stop,
  // if any, and then the run is finished with its archive cut to capacity; otherwise the next
  // iteration begins.
  std::optional<StopReason> end_pass(FrontCallback* callback) {
    next_ = 0;
    if (phase_ == MopsoPhase::Starting) {
      start_iterating();
      if (config_.max_iter == 0) return finish_with(StopReason::MaxIterations);
      phase_ = MopsoPhase::Iterating;
    } else {
      if (selecting()) select_swarm();
      if (const auto reason = finish_iteration(result_.iterations, callback)) {
        return finish_with(*reason);
      }
      if (result_.iterations >= config_.max_iter) return finish_with(StopReason::MaxIterations);
    }
    start_iteration(result_.iterations);
    return std::nullopt;
  }

  // The per-particle form. Returns an empty, cancelled result as soon as `stop` asks for it.
  template <typename Objective>
  MopsoResult<Element> run(Objective& objective, FrontCallback* callback, StopToken& stop) {
    for (;;) {
      if (!evaluate_pass(objective, stop)) return cancelled();
      if (end_pass(callback)) {
        if (stop.stop_requested()) return cancelled();  // the callback asked for it
        return take_result();
      }
    }
  }

  // The batch form: one objective call per pass, then the vectors taken in particle order.
  template <typename Objective>
  MopsoResult<Element> run_batch(Objective& objective, FrontCallback* callback, StopToken& stop) {
    for (;;) {
      objective.evaluate_batch(space_, ask_batch(), batch_values_);
      if constexpr (ReportsViolations<Objective>) levels_.evaluated_all(objective.violations());
      count_batch(batch_values_.size());
      if (stop.should_stop()) return cancelled();
      take_batch(batch_values_);
      if (end_pass(callback)) {
        if (stop.stop_requested()) return cancelled();
        return take_result();
      }
    }
  }

  // The result of the finished run, moved out: the run is spent.
  MopsoResult<Element> take_result() {
    MopsoResult<Element> result = std::move(result_);
    complete_result(result);
    return result;
  }

  // The result of the finished run, copied: the run stays as it is.
  MopsoResult<Element> result() const {
    MopsoResult<Element> result = result_;
    complete_result(result);
    return result;
  }

  // Appends the whole state of the run to `out`. Not between the tell that completed a pass and
  // end_pass(): a run is saved at rest or with a pass under way.
  void save(StateWriter& out) const { visit_state(*this, out); }

  // Replaces the state of this run, which must be freshly built with the settings, space and rule
  // of the saved one, by the state `in` holds. Throws RunStateError, leaving this run unusable,
  // when the state does not fit.
  void restore(StateReader& in) {
    restore_fields(in);
    in.expect_end();
  }

  // restore() without the end of `in`, for a driver that saves its own fields after the run's.
  void restore_fields(StateReader& in) { visit_state(*this, in); }

 private:
  // Every field that decides the rest of the run, in the order of the saved state: written when
  // `archive` is a StateWriter (and `run` const), read and checked when it is a StateReader. The
  // turbulence box, grid and crowding are derived from the settings and the archive, so they are
  // not saved.
  template <typename Run, typename Archive>
  static void visit_state(Run& run, Archive& archive) {
    constexpr bool reading = std::is_same_v<Archive, StateReader>;
    const std::size_t n = run.swarm_.size();
    const std::uint64_t capacity = run.config_.archive_size;
    archive.same(kMopsoStateTag, "kind of run (a multi-objective one)");
    archive.same(n, "number of particles");
    archive.same(run.dim_, "dimension");
    archive.same_flag(run.config_.record_history, "record_history");
    archive.index(run.phase_, kMopsoPhaseCount, "phase");
    // A cancellation is never saved: it is the last enumerator.
    archive.index(run.stop_reason_, static_cast<std::uint64_t>(StopReason::Cancelled),
                  "stop reason");
    const bool starting = run.phase_ == MopsoPhase::Starting;
    const bool iterating = run.phase_ == MopsoPhase::Iterating;
    archive.require(
        run.phase_ == MopsoPhase::Finished || run.stop_reason_ == StopReason::MaxIterations,
        "stop reason of an unfinished run");
    archive.word(run.result_.iterations);
    archive.require(starting    ? run.result_.iterations == 0
                    : iterating ? run.result_.iterations < run.config_.max_iter
                                : run.result_.iterations <= run.config_.max_iter,
                    "iteration count");
    archive.index(run.next_, n, "particle index");
    archive.flag(run.asked_);
    archive.require(run.phase_ != MopsoPhase::Finished || !run.asked_, "pending ask");
    archive.generator(run.rng_);
    for (std::size_t i = 0; i < n; ++i) archive.block(run.swarm_.position(i), "positions");
    for (std::size_t i = 0; i < n; ++i) archive.block(run.swarm_.velocity(i), "velocities");
    for (std::size_t i = 0; i < n; ++i) {
      archive.block(run.swarm_.best_position(i), "best positions");
    }
    archive.word(run.evaluations_);
    archive.flag(run.evaluated_);
    std::uint64_t m = run.objective_count_;
    archive.word(m);
    // Every count below is bounded by the bytes left before it is multiplied or allocated.
    constexpr std::uint64_t kMaxObjectives = std::uint64_t{1} << 20;
    archive.require(m <= kMaxObjectives && (run.evaluated_ || m == 0), "number of objectives");
    // A vector was told once a particle of the creation was (a batch completes the creation at
    // once; the asynchronous form tells them in any order, next_ staying 0), and the creation
    // evaluated every particle before the run iterates.
    archive.require(run.evaluated_ || (starting && run.next_ == 0), "number of objectives");
    // The rows told so far, or in the asynchronous creation every row once one was told.
    const std::uint64_t taken = starting ? run.next_ : n;
    archive.values_up_to(run.best_objectives_, n * m, "personal-best vectors");
    const std::uint64_t rows = run.best_objectives_.size();
    archive.require(rows == taken * m || (starting && run.next_ == 0 && rows == n * m),
                    "personal-best vectors");
    // The population step's vectors of the points this iteration took so far.
    const std::uint64_t waiting =
        iterating && selection_applies(run.config_, m) ? run.next_ * m : 0;
    if constexpr (reading) {
      archive.values(run.new_objectives_, waiting, "new vectors");
    } else {
      archive.values(std::span<const double>(run.new_objectives_.data(), waiting), waiting,
                     "new vectors");
    }
    archive.flag(run.archive_built_);
    archive.require(run.archive_built_ == !starting, "archive");

    std::uint64_t members = run.archive_.size();
    archive.index(members, capacity + n + 1, "archive size");
    archive.require(starting ? members == 0 : members >= 1, "archive size");
    std::vector<ArchiveMember> read_members;
    for (std::uint64_t j = 0; j < members; ++j) {
      if constexpr (reading) {
        ArchiveMember member;
        archive.values(member.position, run.dim_, "archive positions");
        archive.values(member.objectives, m, "archive vectors");
        read_members.push_back(std::move(member));
      } else {
        const ArchiveMember& member = run.archive_.members()[j];
        archive.values(member.position, run.dim_, "archive positions");
        archive.values(member.objectives, m, "archive vectors");
      }
    }
    if constexpr (reading) run.archive_.restore_members(std::move(read_members));

    archive.index(run.leaders_, capacity + n + 1, "number of leaders");
    archive.require(starting ? run.leaders_ == 0 : !iterating || run.leaders_ >= 1, "leaders");
    archive.values(run.leader_pool_, run.leaders_ * run.dim_, "leader positions");
    archive.values(run.weights_, run.leaders_, "leader weights");
    archive.real(run.decay_);
    archive.real(run.probability_);

    // The histories hold exactly what the phase and the iteration count imply.
    const bool history_possible = run.config_.record_history && !starting;
    const std::uint64_t recorded =
        history_possible ? run.result_.iterations + (iterating ? 1 : 0) : 0;
    const std::uint64_t per_iteration = static_cast<std::uint64_t>(n) * run.dim_;
    archive.require(per_iteration == 0 || recorded <= UINT64_MAX / per_iteration, "history");
    archive.count(run.result_.swarm_history.iterations(), recorded, "swarm history");
    archive.values(run.result_.swarm_history.positions, recorded * per_iteration, "swarm history");
    auto& front = run.result_.front_history;
    archive.count(front.starts.size(), recorded == 0 ? 0 : recorded + 1, "front history");
    if constexpr (reading) {
      front.starts.resize(recorded == 0 ? 0 : static_cast<std::size_t>(recorded + 1));
    }
    for (std::size_t k = 0; k < front.starts.size(); ++k) {
      std::uint64_t start = front.starts[k];
      archive.word(start);
      const std::uint64_t before = k == 0 ? 0 : front.starts[k - 1];
      archive.require(start >= before && start - before <= (k == 0 ? 0 : capacity),
                      "front history");
      if constexpr (reading) front.starts[k] = static_cast<std::size_t>(start);
    }
    const std::uint64_t front_values = front.starts.empty() ? 0 : front.starts.back();
    archive.require(m == 0 || front_values <= UINT64_MAX / m, "front history");
    archive.values(front.values, front_values * m, "front history");
    if constexpr (reading) {
      run.result_.swarm_history.restore(std::move(run.result_.swarm_history.positions),
                                        static_cast<std::size_t>(recorded));
      if (history_possible) {
        run.result_.swarm_history.particles = n;
        run.result_.swarm_history.dim = run.dim_;
        front.objectives = static_cast<std::size_t>(m);
      }
      run.objective_count_ = static_cast<std::size_t>(m);
    }
  }

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
    count_vector(values_.size());
  }

  // Counts one evaluation whose vector has `count` values (the first sets the run's count).
  void count_vector(std::size_t count) {
    if (evaluated_) require_objective_count(count, objective_count_);
    ++evaluations_;
    objective_count_ = count;
    evaluated_ = true;
  }

  // Counts the evaluation of the whole swarm whose vectors hold `size` values: n rows of the
  // run's objective count (the first batch sets it). A matrix of another shape is a CoreError
  // here, before anything reads it.
  void count_batch(std::size_t size) {
    const std::size_t n = swarm_.size();
    evaluations_ += n;
    if (!evaluated_) {
      require_eq(size % n, std::size_t{0},
                 "a batch of objective vectors must have one row per particle");
      objective_count_ = size / n;
      evaluated_ = true;
    }
    require_eq(size, n * objective_count_,
               "a batch of objective vectors must have one row per particle");
  }

  // Takes the counted batch's rows in particle order and ends the asked pass.
  void take_batch(std::span<const double> values) {
    for (std::size_t i = 0; i < swarm_.size(); ++i) {
      take(i, values.subspan(i * objective_count_, objective_count_));
    }
    asked_ = false;
    next_ = swarm_.size();
  }

  // Creates (first pass) or flies (later passes) particle i.
  void place(std::size_t i) {
    if (phase_ == MopsoPhase::Starting) {
      create_particle(i);
    } else {
      fly(i);
    }
  }

  // Particle i's vector: its first (first pass), or a new one for its best and the archive.
  void take(std::size_t i, std::span<const double> values) {
    if (phase_ == MopsoPhase::Starting) {
      take_first_vector(i, values);
    } else {
      take_vector(i, values);
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

  // Particle i's starting position and velocity, warm start included.
  void create_particle(std::size_t i) {
    start_particle(space_, rng_, swarm_, i, config_.initial_positions);
  }

  // Particle i's first vector becomes its personal best.
  void take_first_vector(std::size_t i, std::span<const double> values) {
    if (i == 0) best_objectives_.reserve(swarm_.size() * objective_count_);
    // Row i whatever came before (a no-op when the rows came in order, as every driver tells
    // them), so a state restored into the other form still writes inside the swarm's rows.
    best_objectives_.resize(i * objective_count_);
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
  // turbulence of iteration t.
  void start_iteration(std::uint64_t t) {
    weights_ = archive_.prune_and_weigh();
    copy_leader_pool();
    if (config_.record_history) {
      result_.swarm_history.record(swarm_);
      result_.front_history.record(archive_.members());
    }
    const std::uint64_t iterations = config_.max_iter;
    const double last = static_cast<double>(iterations > 0 ? iterations : 1);
    decay_ = 1.0 - static_cast<double>(t) / last;
    probability_ = config_.mutation_rate * decay_;
  }

  // Tournament, move and turbulence of particle i; or, with a crossover share, first a draw
  // u = unit(), and when u < share a child of two leaders instead: the first by tournament,
  // the second by one draw below the leader count. The differential child takes the leader by
  // tournament and the personal bests of two particles, each one draw below the particle count,
  // as they stand now.
  void fly(std::size_t i) {
    if (config_.crossover_share > 0.0 && rng_.unit() < config_.crossover_share) {
      const std::size_t first = leader_by_tournament(weights_);
      if (config_.crossover == ArchiveCrossover::Differential) {
        const std::size_t r1 = static_cast<std::size_t>(rng_.below(swarm_.size()));
        const std::size_t r2 = static_cast<std::size_t>(rng_.below(swarm_.size()));
        differential_child(leader(first), swarm_.best_position(r1), swarm_.best_position(r2),
                           swarm_.position(i), box_, rng_);
        return;
      }
      const std::size_t second = static_cast<std::size_t>(rng_.below(leaders_));
      archive_crossover(leader(first), leader(second), swarm_.position(i), box_, rng_);
      return;
    }
    move(i, leader_by_tournament(weights_));
    if (!turbulence_enabled()) return;
    if (config_.turbulence == Turbulence::Decaying) {
      mutate(i, probability_, decay_);
    } else if (polynomial_mutation_applies(i)) {
      polynomial_mutation(swarm_.position(i), box_, rng_);
    }
  }

  // Particle i's new vector: its personal best, then the archive.
  // With the population step the vector waits for it instead (row i, whatever came before, as in
  // take_first_vector).
  void take_vector(std::size_t i, std::span<const double> values) {
    if (selecting()) {
      new_objectives_.resize(i * objective_count_);
      new_objectives_.insert(new_objectives_.end(), values.begin(), values.end());
    } else {
      update_personal_best(i, values);
    }
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
    finish_with(StopReason::Cancelled);
    return take_result();
  }

  // Ends the run: the final front respects the capacity (the weights are unused).
  StopReason finish_with(StopReason reason) {
    archive_.prune_and_weigh();
    phase_ = MopsoPhase::Finished;
    stop_reason_ = reason;
    return reason;
  }

  // The decoded front, the counts and the reason, added to the histories in `result`.
  void complete_result(MopsoResult<Element>& result) const {
    result.members.reserve(archive_.size());
    for (const ArchiveMember& member : archive_.members()) {
      result.members.push_back(
          {space_.decode(member.position), member.objectives, levels_.level()});
    }
    result.evaluations = evaluations_;
    result.stop_reason = stop_reason_;
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

  std::span<const double> leader(std::size_t j) const {
    return {leader_pool_.data() + j * dim_, dim_};
  }

  void move(std::size_t i, std::size_t j) {
    const VelocityContext context{
        swarm_.position(i), swarm_.velocity(i), swarm_.best_position(i), leader(j), {}};
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

  bool selecting() const { return selection_applies(config_, objective_count_); }

  // The population step (swarm_selection.hpp): candidates 0..n-1 are the personal bests,
  // n..2n-1 the points just evaluated; the survivors fill the particles in candidate order. A
  // new point keeps the velocity that brought it there; a personal best starts at rest, since
  // the particle's velocity led away from it (measured: better than carrying it along).
  //
  // The particles are rewritten in place. With P personal bests among the ascending survivors,
  // particle s < P takes the personal best of a particle at or after s, and particle s >= P the
  // new point of a particle at or before s (the k-th of the n - P new points comes from one of
  // particles k..P + k). So the new points move first, from the last down, while every personal
  // best is still in place; then the personal bests, from the first up; then the new points
  // become personal bests.
  void select_swarm() {
    const std::size_t n = swarm_.size();
    const std::size_t m = objective_count_;
    candidate_views_.clear();
    candidate_violations_.clear();
    for (std::size_t i = 0; i < n; ++i) {
      candidate_views_.push_back(ObjectiveView(best_objectives_.data() + i * m, m));
      candidate_violations_.push_back(levels_.of_personal_best(i));
    }
    for (std::size_t i = 0; i < n; ++i) {
      candidate_views_.push_back(ObjectiveView(new_objectives_.data() + i * m, m));
      candidate_violations_.push_back(levels_.of_evaluation(i));
    }
    const std::span<const std::size_t> survivors =
        selection_.select(candidate_views_, candidate_violations_, n);
    const std::size_t personal_bests = static_cast<std::size_t>(
        std::lower_bound(survivors.begin(), survivors.end(), n) - survivors.begin());
    for (std::size_t s = n; s-- > personal_bests;) {
      const std::size_t from = survivors[s] - n;
      copy_values(swarm_.position(from), swarm_.position(s));
      copy_values(swarm_.velocity(from), swarm_.velocity(s));
    }
    for (std::size_t s = 0; s < personal_bests; ++s) {
      const std::size_t from = survivors[s];
      copy_values(swarm_.best_position(from), swarm_.position(s));
      copy_values(swarm_.best_position(from), swarm_.best_position(s));
      std::fill(swarm_.velocity(s).begin(), swarm_.velocity(s).end(), 0.0);
      copy_values(candidate_views_[from], best_objectives(s));
      levels_.set_personal_best(s, candidate_violations_[from]);
    }
    for (std::size_t s = personal_bests; s < n; ++s) {
      const std::size_t c = survivors[s];
      copy_values(swarm_.position(s), swarm_.best_position(s));
      copy_values(candidate_views_[c], best_objectives(s));
      levels_.set_personal_best(s, candidate_violations_[c]);
    }
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

  MopsoPhase phase_ = MopsoPhase::Starting;
  StopReason stop_reason_ = StopReason::MaxIterations;
  std::size_t next_ = 0;  // the particle asked or to be asked next (per-particle form)
  bool asked_ = false;
  std::size_t objective_count_ = 0;
  bool evaluated_ = false;
  bool archive_built_ = false;  // start_iterating() filled the archive with the creation
  std::uint64_t evaluations_ = 0;
  double decay_ = 1.0;        // turbulence of the current iteration
  double probability_ = 0.0;
  std::vector<double> best_objectives_;  // n x objective_count_, the personal-best vectors
  // With the population step: the vectors of this iteration's points, n x objective_count_.
  std::vector<double> new_objectives_;

  // Buffers reused from move to move and from iteration to iteration.
  std::vector<double> values_;
  std::vector<double> batch_values_;
  std::vector<Element> point_;
  std::vector<double> new_velocity_;
  std::vector<double> leader_pool_;  // the leaders' positions and weights, fixed per iteration
  std::size_t leaders_ = 0;
  std::vector<double> weights_;
  // The population step's candidates and its working memory.
  std::vector<ObjectiveView> candidate_views_;
  std::vector<double> candidate_violations_;
  NondominatedSelection selection_;

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
