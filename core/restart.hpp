// Restarts of a swarm that has stagnated: the policy that decides when, and the restart itself.
//
// After every iteration that did not end the run, the swarm's best b is the lowest personal best
// value (the minimum rule over the whole swarm). With restart_patience = K > 0 and
// restart_tol = e: when previous - b > e the swarm improved and the count of stalled iterations
// goes back to 0, otherwise it grows by one; b becomes the previous value. When the count
// reaches K the swarm restarts: every particle, in index order, draws a new position and then a
// new velocity from the space (as at the start of the run, without the warm start), takes the
// position as its personal best position and +inf as its personal best value; the count goes
// back to 0 and the previous value to +inf. With restart_spread = s (0 < s <= 1) the drawn
// position x and velocity v become g + (x - g) * s and v * s, where g is the run's global best
// position: s = 1 searches the whole box again, a smaller s searches around the best (a convex
// combination of two points of the box stays in the box). The run's global best, its convergence
// trace and every stop test keep the best ever seen; only the particles forget it, so a restarted
// swarm searches the box afresh. The new positions are evaluated after the next move.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "core/feasibility.hpp"
#include "core/motion.hpp"
#include "core/swarm.hpp"

namespace corvalinth {

class StallRestart {
 public:
  StallRestart(std::uint64_t patience, double tol) : patience_(patience), tol_(tol) {}

  bool enabled() const { return patience_ > 0; }

  // Takes the swarm's best after an iteration; true when the swarm is to restart now.
  bool due(const Swarm& swarm) {
    const double best = swarm.best_value(best_of_swarm(swarm));
    if (previous_ - best > tol_) {
      stalled_ = 0;
    } else {
      stalled_ += 1;
    }
    previous_ = best;
    if (stalled_ < patience_) return false;
    stalled_ = 0;
    previous_ = std::numeric_limits<double>::infinity();
    return true;
  }

  // due() for a run ranked by feasibility (core/feasibility.hpp), on the swarm's best rank: the
  // swarm improved when improved_beyond says so; a restart forgets the previous rank as +inf.
  bool due_ranked(ConstrainedValue best) {
    if (improved_beyond({previous_, previous_violation_}, best, tol_)) {
      stalled_ = 0;
    } else {
      stalled_ += 1;
    }
    previous_ = best.value;
    previous_violation_ = best.violation;
    if (stalled_ < patience_) return false;
    stalled_ = 0;
    previous_ = std::numeric_limits<double>::infinity();
    previous_violation_ = std::numeric_limits<double>::infinity();
    return true;
  }

  // Draws every particle afresh, around `best` by `spread`, and forgets its personal best.
  template <typename Space>
  static void restart(const Space& space, SwarmRng& rng, Swarm& swarm, std::span<const double> best,
                      double spread) {
    for (std::size_t i = 0; i < swarm.size(); ++i) {
      const std::span<double> x = swarm.position(i);
      const std::span<double> v = swarm.velocity(i);
      space.init_position(rng, x);
      space.init_velocity(rng, v);
      if (spread != 1.0) {
        for (std::size_t d = 0; d < x.size(); ++d) x[d] = best[d] + (x[d] - best[d]) * spread;
        for (std::size_t d = 0; d < v.size(); ++d) v[d] = v[d] * spread;
      }
      copy_values(x, swarm.best_position(i));
      swarm.best_value(i) = std::numeric_limits<double>::infinity();
    }
  }

  // What a saved run keeps of the policy, visited as SwarmRun's fields are (run_state.hpp): the
  // previous best and the stall count, which stays below the patience (0 when disabled).
  template <typename Policy, typename Archive>
  static void visit_state(Policy& policy, Archive& archive) {
    archive.real(policy.previous_);
    archive.index(policy.stalled_, policy.patience_ > 0 ? policy.patience_ : 1,
                  "restart stall count");
  }

  // What a ranked run keeps beside that: the previous best's violation.
  template <typename Policy, typename Archive>
  static void visit_ranked_state(Policy& policy, Archive& archive) {
    archive.real(policy.previous_violation_);
  }

 private:
  const std::uint64_t patience_;
  const double tol_;
  double previous_ = std::numeric_limits<double>::infinity();
  std::uint64_t stalled_ = 0;
  double previous_violation_ = std::numeric_limits<double>::infinity();  // ranked runs only
};

}  // namespace corvalinth
