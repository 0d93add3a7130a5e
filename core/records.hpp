// The records of a single-objective run: its settings, the reasons it stops, what it keeps of
// its trajectory, what it returns, and what the iteration callback is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/duration.hpp"
#include "core/feasibility.hpp"
#include "core/spaces/bounds.hpp"
#include "core/swarm.hpp"

namespace corvalinth {

// The search that may end a single-objective run (core/local_search.hpp).
enum class LocalSearch : std::uint8_t { None = 0, NelderMead = 1 };

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
  // Warm start: k x dim raw positions, row after row, that replace the drawn starting positions
  // of particles 0..k-1 (k <= n_particles). Empty by default: every particle starts where drawn.
  std::vector<double> initial_positions;
  // Restarts of a stagnant swarm (core/restart.hpp); 0 never restarts.
  std::uint64_t restart_patience = 0;
  double restart_tol = 0.0;
  double restart_spread = 1.0;
  // How points compare (core/feasibility.hpp). A run ranked by feasibility is told a value and a
  // violation per point (ConstrainedValue); every other run is told plain values.
  ConstraintHandling constraint_handling = ConstraintHandling::Penalty;
  // The final local phase (core/local_search.hpp): off by default; `local_search_share` is the
  // fraction of the evaluation budget kept for it.
  LocalSearch local_search = LocalSearch::None;
  double local_search_share = 0.2;
};

enum class StopReason : std::uint8_t {
  MaxIterations = 0,
  Target = 1,
  MaxEvaluations = 2,
  Stagnation = 3,
  MaxTime = 4,
  Callback = 5,
  Cancelled =
      6,  // the host stopped the run through its StopToken; the result holds the best so far
  // Set by a host on a cancelled run's result when it reports why it cancelled: an interruption
  // (Ctrl-C, an exit) or an error of the caller's code.
  Interrupted = 7,
  Error = 8,
};

// The name under which the reason is reported: "max_iterations", "target", ...
std::string_view stop_reason_name(StopReason reason);
// True when the run ended by one of its own stopping rules (a budget, the target, stagnation or
// the callback's request), false when it was ended from outside (cancelled, interrupted, error).
bool stop_reason_is_success(StopReason reason);
// One sentence that says why the run ended, for people who read scipy's `message`.
std::string_view stop_reason_message(StopReason reason);

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
  // Replaces the record with `iterations` iterations held in `all` (a restored run's).
  void restore(std::vector<double> all, std::size_t iterations) {
    positions = std::move(all);
    recorded_ = iterations;
  }
  // A history rebuilt from its stored block; `positions` must hold exactly
  // iterations x particles x dim values.
  static History restored(std::size_t particles, std::size_t dim, std::size_t iterations,
                          std::vector<double> positions) {
    History history;
    history.particles = particles;
    history.dim = dim;
    history.restore(std::move(positions), iterations);
    return history;
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
  std::uint64_t iterations = 0;        // iterations completed, whatever record_history
  double best_violation = 0.0;         // of the best point in a run ranked by feasibility, else 0
};

// What the iteration callback sees after each iteration.
struct IterationInfo {
  std::span<const double> best_position;  // raw global best position
  std::uint64_t iteration = 0;            // zero-based index of the iteration just finished
  double best_value = 0.0;
  std::uint64_t evaluations = 0;
  std::span<const double> positions;  // raw positions of every particle, row after row
};

}  // namespace corvalinth
