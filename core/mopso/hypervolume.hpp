// The hypervolume indicator: the volume of objective space (all objectives minimised) that a
// front dominates, bounded by a reference point. Computed exactly, up to rounding, by the
// exclusive-volume recursion: every point contributes the volume it dominates that no later
// point dominates. There is no special path for two objectives, so every front is summed in the
// same order and a given front always gives the same bits.
#pragma once

#include <span>
#include <vector>

#include "core/mopso/archive.hpp"

namespace corvalinth {

// Hypervolume of `front` against `reference` (m = its length). Never fails: only points of length
// m that are strictly better than the reference in every objective count; the rest (NaN, other
// lengths, on or beyond the reference) are ignored. With nothing left the result is -0.0.
double hypervolume(std::span<const ObjectiveView> front, ObjectiveView reference);
double hypervolume(const std::vector<std::vector<double>>& front, ObjectiveView reference);

// The worst value per objective plus a tenth of its spread, or plus 1.0 where all points agree
// (NaN values ignored). Empty for an empty front. The first point's length m sets the number of
// objectives; a shorter point fails with CoreError rather than being read past its end.
std::vector<double> default_reference(std::span<const ObjectiveView> front);
std::vector<double> default_reference(const std::vector<std::vector<double>>& front);

// The points that no other point of the list dominates, in input order, each value only once
// (the first of equal points stays).
std::vector<std::vector<double>> nondominated_unique(const std::vector<std::vector<double>>& points);

}  // namespace corvalinth
