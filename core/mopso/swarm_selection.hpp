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
#include <span>
#include <vector>

#include "core/mopso/archive.hpp"

namespace corvalinth {

// Which candidates of `vectors` (each with its total violation in `violations`, 0 without
// constraints) survive, `keep` of them (at most as many as there are), in ascending index order.
// Vectors of unequal length fail as crowding_distances does.
std::vector<std::size_t> select_nondominated(std::span<const ObjectiveView> vectors,
                                             std::span<const double> violations, std::size_t keep);

}  // namespace corvalinth
