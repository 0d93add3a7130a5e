// The hypervolume indicator: the volume of objective space (all objectives minimised) that a
// front dominates, bounded by a reference point, exact up to rounding. The algorithm follows the
// number of objectives m: a length for m = 1, a sort and sweep for m = 2, a dimension sweep over a
// balanced staircase for m = 3, a sweep over three-dimensional contributions for m = 4 (O(n^2)),
// and for m >= 5 the exclusive-volume recursion over points sorted by the last objective, whose
// limit sets then lie in one slice, down to the m = 4 sweep. Every order is a sort of the values,
// so a given front always gives the same bits. No recursion deepens with the number of points.
#pragma once

#include <span>
#include <stdexcept>
#include <vector>

#include "core/mopso/archive.hpp"
#include "core/stop_token.hpp"

namespace corvalinth {

// Thrown by a computation whose stop token asked it to stop; it leaves nothing behind.
class HypervolumeCancelled : public std::runtime_error {
 public:
  HypervolumeCancelled() : std::runtime_error("hypervolume computation cancelled") {}
};

// Hypervolume of `front` against `reference` (m = its length). Never fails: only points of length
// m that are strictly better than the reference in every objective count; the rest (NaN, other
// lengths, on or beyond the reference) are ignored. With nothing left the result is -0.0; with
// something left and an infinite reference component, or a point with an objective at -inf, it is
// +inf. `stop`, when given, is asked
// between steps of the long loops; once it answers that the call must stop, the call throws
// HypervolumeCancelled.
double hypervolume(std::span<const ObjectiveView> front, ObjectiveView reference,
                   StopToken* stop = nullptr);
double hypervolume(const std::vector<std::vector<double>>& front, ObjectiveView reference);

// The exclusive contribution of every point of `front`, in input order: what the hypervolume
// loses when that point alone is removed. 0.0 for points the filter of `hypervolume` drops, for
// dominated points and for points that appear more than once. O(n log n) for m <= 3; for m >= 4
// one hypervolume of a limit set per point. With an infinite reference
// component, a point whose exclusive region is unbounded gets +inf; so does a point with an
// objective at -inf that no other point weakly dominates.
std::vector<double> hypervolume_contributions(std::span<const ObjectiveView> front,
                                              ObjectiveView reference,
                                              StopToken* stop = nullptr);

// The worst value per objective plus a tenth of its spread, or plus 1.0 where all points agree
// (NaN values ignored). Empty for an empty front. The first point's length m sets the number of
// objectives; a shorter point fails with CoreError rather than being read past its end.
std::vector<double> default_reference(std::span<const ObjectiveView> front);
std::vector<double> default_reference(const std::vector<std::vector<double>>& front);
// One coordinate of default_reference from the worst and the best value of that objective.
double default_reference_coordinate(double lowest, double highest);

}  // namespace corvalinth
