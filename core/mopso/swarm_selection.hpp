// The population step of a multi-objective run (`swarm_selection="nondominated"`): at the end of
// every iteration the next swarm is chosen from the 2N candidates of the N particles, their
// personal bests (candidates 0..N-1) and the points they just evaluated (candidates N..2N-1), by
// non-dominated sorting with crowding distance, so the swarm itself carries the front. It
// applies to runs of up to three objectives (kMaxSelectionObjectives in mopso.hpp).
//
// The rule, deterministic by candidate index:
//  - Domination is constrained domination (constraint_levels.hpp): a smaller violation first,
//    between equal violations Pareto dominance. Front 1 holds the candidates no candidate
//    dominates, front 2 those only front 1 dominates, and so on; every front lists its
//    candidates in ascending index order. Pareto dominance ignores components with a NaN, which
//    can make it cyclic: the candidates left on no front then form one last front.
//  - Whole fronts are kept while they fit. In the first front that does not fit, the crowding
//    distances of that front's vectors (crowding_distances, in the front's order) decide: larger
//    distances first, a NaN distance after every number, equal distances by ascending index.
//  - The survivors, in ascending candidate index, fill the particles 0..N-1: each particle's
//    position and personal best become the survivor's point (its vector and violation the
//    personal best's). A new point keeps the velocity of the particle that reached it (particle
//    c - N after this iteration's move); a personal best starts at rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/mopso/archive.hpp"

namespace corvalinth {

// Which candidates of `vectors` (each with its total violation in `violations`, 0 without
// constraints) survive, `keep` of them (at most as many as there are), in ascending index order.
// Vectors of unequal length fail as crowding_distances does.
std::vector<std::size_t> select_nondominated(std::span<const ObjectiveView> vectors,
                                             std::span<const double> violations, std::size_t keep);

// The same rule with its working memory kept from call to call: a run makes one step per
// iteration, and after the first none allocates but for the crowding distances of the front
// that does not fit.
class NondominatedSelection {
 public:
  // As select_nondominated; the survivors stay valid until the next call.
  std::span<const std::size_t> select(std::span<const ObjectiveView> vectors,
                                      std::span<const double> violations, std::size_t keep);

 private:
  struct PairStep {
    double second;
    double third;
  };
  using PairStaircase = std::vector<PairStep>;  // strictly ascending second, descending third
  // A candidate's sort key: copied out of the views so the sort reads one contiguous array.
  struct SortKey {
    double objective[3];  // those compared; the rest 0
    double violation;
    std::size_t index;
  };

  // A candidate's first component as ordered bits (the sort by bytes), and its place in keys_.
  struct Ranked {
    std::uint64_t bits;
    std::size_t position;
  };

  // Each fills front_of_ with every candidate's front (0 first) and returns the front count.
  std::size_t fronts_of_two(std::span<const ObjectiveView> vectors,
                            std::span<const double> violations);
  // Three objectives may lump the candidates beyond the fronts that hold `keep` into one front.
  std::size_t fronts_of_three(std::span<const ObjectiveView> vectors,
                              std::span<const double> violations, std::size_t keep);
  // The fronts of the sorted keys_, up to `most` of them and the rest lumped in one after them.
  std::size_t fronts_of_sorted_three(std::size_t most);
  std::size_t fronts_by_pairs(std::span<const ObjectiveView> vectors,
                              std::span<const double> violations);
  void sort_candidates(std::span<const ObjectiveView> vectors, std::span<const double> violations,
                       std::size_t objectives);
  // Leaves the `room` members of `front` that crowding ranks first on it and moves the others to
  // the front after it.
  void cut_front(std::span<const ObjectiveView> vectors, std::size_t front, std::size_t room);

  std::vector<SortKey> keys_;  // candidates in sorted order
  // The sort by bytes: its two buffers of ranks, and the keys permuted into their order.
  std::vector<Ranked> ranked_;
  std::vector<Ranked> ranked_spare_;
  std::vector<SortKey> sorted_keys_;
  std::vector<std::size_t> front_of_;      // each candidate's front
  std::vector<std::size_t> front_sizes_;   // each front's member count
  std::vector<std::size_t> front_last_;    // two objectives: each front's latest member
  std::vector<PairStaircase> staircases_;  // three objectives: one per front, capacity kept
  std::vector<std::size_t> cut_members_;   // the front that does not fit, ascending
  std::vector<ObjectiveView> cut_views_;
  std::vector<std::size_t> cut_rank_;
  std::vector<std::size_t> survivors_;
};

}  // namespace corvalinth
