// The multi-objective run loop. Particles fly towards leaders drawn by a binary tournament from a
// bounded Pareto archive, a decaying turbulence spreads the front, and the final archive is the
// answer. Written once over the search space type; the instances differ only in the space and in
// the decoded point the objective sees. No stop criteria: every run makes exactly
// n_particles x (max_iter + 1) evaluations, unless its host cancels it through a StopToken.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/failure.hpp"
#include "core/motion.hpp"
#include "core/contracts.hpp"
#include "core/mopso/archive.hpp"
#include "core/stop_token.hpp"

namespace corvalinth {

struct MopsoConfig {
  std::optional<std::uint64_t> seed;
  DiversityStrategy strategy = Crowding{};
  std::optional<double> v_max;  // finite and >= 0 when present
  std::uint64_t n_particles = 100;
  std::uint64_t max_iter = 100;
  std::uint64_t archive_size = 100;
  double mutation_rate = 0.1;  // turbulence strength; <= 0 switches it off
  bool record_history = true;
  BoundsHandling bounds_handling = BoundsHandling::Clamp;
};

// A multi-objective objective: writes the objective vector of one decoded point into `values`,
// replacing its contents (the loop reuses the buffer). Every call of a run must give the same
// number of values. It never draws from the run's generator and always answers.
template <typename O, typename Element>
concept ObjectiveVector = requires(O& objective, std::span<const Element> point,
                                   std::vector<double>& values) {
  objective.evaluate(point, values);
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
};

template <typename Element>
struct MopsoResult {
  std::vector<FrontMember<Element>> members;  // the final archive, in archive order
  History swarm_history;                      // undecoded positions at each iteration's start
  FrontHistory front_history;                 // archive objectives at each iteration's start
  std::uint64_t iterations = 0;               // iterations completed, whatever record_history
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
        rng_(config.seed ? SwarmRng::seed_from_u64(*config.seed) : SwarmRng::from_entropy()),
        swarm_(static_cast<std::size_t>(config.n_particles), space.dim()),
        dim_(space.dim()),
        archive_(config.strategy, static_cast<std::size_t>(config.archive_size)),
        box_(space.bounds()) {
    if (swarm_.size() == 0) fail("swarm has at least one particle");
    // Turbulence indexes the position by the box, so the two must agree.
    require_eq(box_.size(), dim_, "the search space's bounds must have one pair per dimension");
    new_velocity_.resize(dim_);
  }

  // Returns an empty result as soon as `stop` asks for it.
  template <typename Objective>
  MopsoResult<Element> run(Objective& objective, StopToken& stop) {
    const std::size_t n = swarm_.size();
    // Initial swarm: every particle is drawn and evaluated before anything else happens.
    for (std::size_t i = 0; i < n; ++i) {
      space_.init_position(rng_, swarm_.position(i));
      space_.init_velocity(rng_, swarm_.velocity(i));
      copy(swarm_.position(i), swarm_.best_position(i));
      evaluate(objective, i);
      if (stop.should_stop()) return {};
      if (i == 0) {
        objective_count_ = values_.size();
        best_objectives_.reserve(n * objective_count_);
      }
      best_objectives_.insert(best_objectives_.end(), values_.begin(), values_.end());
    }
    for (std::size_t i = 0; i < n; ++i) archive_.insert(swarm_.position(i), best_objectives(i));

    if (config_.record_history) {
      result_.swarm_history.particles = n;
      result_.swarm_history.dim = dim_;
      result_.front_history.objectives = objective_count_;
      reserve_swarm_history();
    }
    const std::uint64_t iterations = config_.max_iter;
    const double last = static_cast<double>(iterations > 0 ? iterations : 1);
    for (std::uint64_t t = 0; t < iterations; ++t) {
      const std::vector<double> weights = archive_.prune_and_weigh();
      copy_leader_pool();
      if (config_.record_history) {
        result_.swarm_history.record(swarm_);
        result_.front_history.record(archive_.members());
      }
      const double decay = 1.0 - static_cast<double>(t) / last;
      const double probability = config_.mutation_rate * decay;
      for (std::size_t i = 0; i < n; ++i) {
        move(i, leader_by_tournament(weights));
        if (turbulence_enabled()) mutate(i, probability, decay);
        evaluate(objective, i);
        if (stop.should_stop()) return {};
        update_personal_best(i);
        archive_.insert(swarm_.position(i), values_);
      }
      ++result_.iterations;
    }
    archive_.prune_and_weigh();  // the final front respects the capacity; weights unused

    result_.members.reserve(archive_.size());
    for (const ArchiveMember& member : archive_.members()) {
      result_.members.push_back({space_.decode(member.position), member.objectives});
    }
    return std::move(result_);
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
    if (evaluated_) require_objective_count(values_.size(), objective_count_);
    evaluated_ = true;
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
      copy(members[j].position, std::span<double>(leader_pool_.data() + j * dim_, dim_));
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

  // Dominance decides; when neither vector dominates (equal ones included) a fair coin does.
  void update_personal_best(std::size_t i) {
    const std::span<double> best = best_objectives(i);
    bool replace;
    if (dominates(values_, best)) {
      replace = true;
    } else if (dominates(best, values_)) {
      replace = false;
    } else {
      replace = (rng_.next_u32() >> 31) != 0;
    }
    if (!replace) return;
    copy(swarm_.position(i), swarm_.best_position(i));
    copy(values_, best);
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

  static void copy(std::span<const double> from, std::span<double> to) {
    for (std::size_t d = 0; d < from.size(); ++d) to[d] = from[d];
  }

  const MopsoConfig& config_;
  const Space& space_;
  const VelocityRule& rule_;
  SwarmRng rng_;
  Swarm swarm_;
  const std::size_t dim_;
  ParetoArchive archive_;
  const Bounds box_;  // the turbulence box

  std::size_t objective_count_ = 0;
  bool evaluated_ = false;
  std::vector<double> best_objectives_;  // n x objective_count_, the personal-best vectors

  // Buffers reused from move to move and from iteration to iteration.
  std::vector<double> values_;
  std::vector<Element> point_;
  std::vector<double> new_velocity_;
  std::vector<double> leader_pool_;
  std::size_t leaders_ = 0;

  MopsoResult<Element> result_;
};

}  // namespace detail

// Runs a multi-objective swarm over `space` with the single-leader velocity `rule` (its
// informants are never filled) and returns the final Pareto archive, decoded, with the optional
// per-iteration histories. `stop` (may be null) is asked after every evaluation; once it requests
// a stop the run ends at once, calls nothing more and returns an empty result. A run never
// cancelled is the same run as without a token, bit for bit.
template <BoxedSearchSpace Space, typename Objective>
  requires ObjectiveVector<Objective, typename Space::Element>
MopsoResult<typename Space::Element> run_mopso(const MopsoConfig& config, const Space& space,
                                               const VelocityRule& rule, Objective& objective,
                                               StopToken* stop = nullptr) {
  StopToken never_stopped;
  detail::MopsoRun<Space> state(config, space, rule);
  return state.run(objective, stop != nullptr ? *stop : never_stopped);
}

}  // namespace corvalinth
