// The shared vocabulary of the core: records (swarm, settings, results, stop reasons) and the
// contracts through which a run reaches what varies (search space, objective, velocity rule,
// topology, iteration callback).
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "duration.hpp"
#include "rng.hpp"
#include "spaces/bounds.hpp"

namespace corvalinth {

// ---------------------------------------------------------------------------------------------
// Comparing objective values

// True when `candidate` improves on `incumbent`: strictly smaller, or a number where the
// incumbent is NaN. Equal values never improve; NaN never improves on anything.
inline bool is_better(double candidate, double incumbent) {
  return candidate < incumbent || (std::isnan(incumbent) && !std::isnan(candidate));
}

// The minimum rule's step: does `challenger` replace the current choice `current`?
// Only a strictly smaller number, or a number against NaN, wins; so ties keep the earlier entry
// and NaN ranks after every number.
inline bool replaces_minimum(double challenger, double current) {
  return is_better(challenger, current);
}

// ---------------------------------------------------------------------------------------------
// Swarm

// The particles of one run, in index order, stored contiguously: particle i's position, velocity
// and personal best position are rows of three n x dim matrices. A particle's vectors are
// updated in place and never reallocated, so views of them stay valid for the whole run.
class Swarm {
 public:
  Swarm(std::size_t n, std::size_t dim) : n_(n), dim_(dim) {
    // A swarm that cannot be stored is out of memory, whatever the container would call it.
    const std::size_t most = std::vector<double>().max_size();
    if (n > most || (dim != 0 && n > most / dim)) throw std::bad_alloc();
    positions_.resize(n * dim);
    velocities_.resize(n * dim);
    best_positions_.resize(n * dim);
    best_values_.assign(n, std::numeric_limits<double>::infinity());
  }

  std::size_t size() const { return n_; }
  std::size_t dim() const { return dim_; }

  std::span<double> position(std::size_t i) { return {positions_.data() + i * dim_, dim_}; }
  std::span<const double> position(std::size_t i) const {
    return {positions_.data() + i * dim_, dim_};
  }
  std::span<double> velocity(std::size_t i) { return {velocities_.data() + i * dim_, dim_}; }
  std::span<const double> velocity(std::size_t i) const {
    return {velocities_.data() + i * dim_, dim_};
  }
  std::span<double> best_position(std::size_t i) {
    return {best_positions_.data() + i * dim_, dim_};
  }
  std::span<const double> best_position(std::size_t i) const {
    return {best_positions_.data() + i * dim_, dim_};
  }
  double& best_value(std::size_t i) { return best_values_[i]; }
  double best_value(std::size_t i) const { return best_values_[i]; }
  std::span<const double> best_values() const { return best_values_; }

  // All positions, particle after particle (n x dim, row-major).
  std::span<const double> positions() const { return positions_; }

 private:
  std::size_t n_;
  std::size_t dim_;
  std::vector<double> positions_;
  std::vector<double> velocities_;
  std::vector<double> best_positions_;
  std::vector<double> best_values_;
};

// Index chosen from `indices` by the minimum rule over the personal best values: the first listed
// index with the lowest value, NaN after every number. `indices` must not be empty.
inline std::size_t best_by_minimum_rule(std::span<const std::size_t> indices, const Swarm& swarm) {
  std::size_t choice = indices[0];
  for (std::size_t k = 1; k < indices.size(); ++k) {
    const std::size_t j = indices[k];
    if (replaces_minimum(swarm.best_value(j), swarm.best_value(choice))) choice = j;
  }
  return choice;
}

// The same rule over every particle, in index order. The swarm must not be empty.
inline std::size_t best_of_swarm(const Swarm& swarm) {
  std::size_t choice = 0;
  for (std::size_t j = 1; j < swarm.size(); ++j) {
    if (replaces_minimum(swarm.best_value(j), swarm.best_value(choice))) choice = j;
  }
  return choice;
}

// ---------------------------------------------------------------------------------------------
// Settings and results of a single-objective run

struct SwarmConfig {
  std::uint64_t n_particles = 30;
  std::uint64_t max_iter = 100;
  // Kept as given by the caller; the run reads the velocity rule's own coefficients instead.
  double w = 0.729;
  double c1 = 1.49445;
  double c2 = 1.49445;
  std::optional<std::uint64_t> seed;
  bool record_history = true;
  std::optional<double> v_max;
  std::uint64_t patience = 0;
  double tol = 0.0;
  std::optional<std::uint64_t> max_evals;
  std::optional<double> target;
  std::optional<Duration> max_time;
  BoundsHandling bounds_handling = BoundsHandling::Clamp;
};

enum class StopReason : std::uint8_t {
  MaxIterations = 0,
  Target = 1,
  MaxEvaluations = 2,
  Stagnation = 3,
  MaxTime = 4,
  Callback = 5,
};

// The name under which the reason is reported: "max_iterations", "target", ...
std::string_view stop_reason_name(StopReason reason);

// The raw positions of all particles at the start of every iteration, stored as one
// iterations x particles x dim block.
struct History {
  std::size_t particles = 0;
  std::size_t dim = 0;
  std::vector<double> positions;

  std::size_t iterations() const { return recorded_; }
  std::span<const double> position(std::size_t iteration, std::size_t particle) const {
    return {positions.data() + (iteration * particles + particle) * dim, dim};
  }
  void record(const Swarm& swarm) {
    const auto all = swarm.positions();
    positions.insert(positions.end(), all.begin(), all.end());
    ++recorded_;
  }

 private:
  std::size_t recorded_ = 0;
};

template <typename Element>
struct RunResult {
  std::vector<Element> best_position;  // decoded
  double best_value = 0.0;
  History history;                     // empty unless record_history
  std::vector<double> convergence;     // global best at the end of each iteration
  std::uint64_t evaluations = 0;
  StopReason stop_reason = StopReason::MaxIterations;
};

// What the iteration callback sees after each iteration.
struct IterationInfo {
  std::span<const double> best_position;  // raw global best position
  std::uint64_t iteration = 0;            // zero-based index of the iteration just finished
  double best_value = 0.0;
  std::uint64_t evaluations = 0;
};

// Called once at the end of every iteration of a per-particle run; returning false stops the
// run with StopReason::Callback.
class IterationCallback {
 public:
  virtual ~IterationCallback() = default;
  virtual bool on_iteration(const IterationInfo& info) = 0;
};

// ---------------------------------------------------------------------------------------------
// Velocity rules

// What a velocity rule sees of one particle in one step. Every vector has the particle's
// dimension. `informants` is empty unless the rule uses informants.
struct VelocityContext {
  std::span<const double> position;
  std::span<const double> velocity;
  std::span<const double> personal_best;
  std::span<const double> neighbourhood_best;
  std::span<const std::span<const double>> informants;
};

// The velocity update. `update` writes one new component per dimension of context.position into
// `new_velocity`, drawing only from `rng`, and changes neither the context nor the rule.
class VelocityRule {
 public:
  virtual ~VelocityRule() = default;
  virtual void update(const VelocityContext& context, SwarmRng& rng,
                      std::span<double> new_velocity) const = 0;
  // True when `update` reads context.informants; otherwise the loop passes none.
  virtual bool uses_informants() const = 0;

  // Convenience for callers off the hot path: the new velocity as a fresh vector.
  std::vector<double> new_velocity(const VelocityContext& context, SwarmRng& rng) const {
    std::vector<double> out(context.position.size());
    update(context, rng, out);
    return out;
  }
};

// ---------------------------------------------------------------------------------------------
// Topologies

// The social structure. `neighbours` lists the neighbourhood of particle i among n particles:
// indices below n, none repeated, i always included; the order breaks ties in the best neighbour
// and orders the informants. A topology may advance private state on every query, so a run asks
// exactly once per particle and iteration.
class Topology {
 public:
  virtual ~Topology() = default;
  // Replaces the contents of `out` with the neighbourhood of i.
  virtual void neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) const = 0;
  // True when every neighbourhood is 0, 1, ..., n-1 in order, which lets a run skip building it.
  virtual bool lists_whole_swarm() const { return false; }

  std::vector<std::size_t> neighbour_list(std::size_t i, std::size_t n) const {
    std::vector<std::size_t> out;
    neighbours(i, n, out);
    return out;
  }
  // The neighbour with the lowest personal best, by the minimum rule over `neighbours`.
  std::size_t best_neighbour(std::size_t i, const Swarm& swarm) const {
    const auto list = neighbour_list(i, swarm.size());
    return best_by_minimum_rule(list, swarm);
  }
};

// ---------------------------------------------------------------------------------------------
// Search spaces and objectives

// A search space: where particles start, how they are brought back after a move, and what point
// the objective sees. Every position and velocity is a vector of dim() doubles; a space draws
// random numbers only from the generator it is handed.
template <typename S>
concept SearchSpace = requires(const S& space, SwarmRng& rng, std::span<double> vector,
                               std::span<const double> position, BoundsHandling mode,
                               std::vector<typename S::Element>& point) {
  typename S::Element;
  { space.dim() } -> std::convertible_to<std::size_t>;
  space.init_position(rng, vector);
  space.init_velocity(rng, vector);
  space.enforce_bounds(vector, vector, mode, rng);
  space.decode_into(position, point);
  { space.decode(position) } -> std::same_as<std::vector<typename S::Element>>;
};

template <typename S>
constexpr bool decode_is_identity() {
  if constexpr (requires { S::kDecodeIsIdentity; }) {
    return S::kDecodeIsIdentity;
  } else {
    return false;
  }
}

// Per-particle objective: one decoded point in, one value out. It never draws from the run's
// generator; a failure inside (a Python exception) is kept by the objective itself, which still
// returns a value.
template <typename O, typename Element>
concept ParticleObjective = requires(O& objective, std::span<const Element> point) {
  { objective.evaluate(point) } -> std::convertible_to<double>;
};

// Batch objective: decodes every particle's current position with the space and writes one value
// per particle, in swarm order, into `values` (replacing its contents).
template <typename O, typename Space>
concept BatchObjective = requires(O& objective, const Space& space, const Swarm& swarm,
                                  std::vector<double>& values) {
  objective.evaluate_batch(space, swarm, values);
};

}  // namespace corvalinth
