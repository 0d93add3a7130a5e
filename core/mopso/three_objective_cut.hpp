// The least-contribution cut of a three-objective archive, one member at a time, recomputing after
// each cut only the contributions that the cut can change, and those only when they may be least.
//
// hypervolume_contributions sweeps the members by ascending (z, x, y). In an archive (mutually
// non-dominated, no two equal) every member joins the slice's staircase when the sweep reaches
// it, and its contribution is a sum that only its own history writes: the rectangle between its
// neighbours and its inner staircase when it arrives (owner_area.hpp), then one term per later
// member whose arrival narrows that rectangle or removes it from the staircase. So a member's
// contribution depends on the member that provides its right end, the one that provides its top,
// the points of its inner staircase and the later arrivals that narrowed or removed it, and on
// nothing else. Removing any other member leaves its bits unchanged; after a cut only the members
// that depended on the cut one need recomputing, each in one pass over the others, with the
// sweep's arithmetic in the sweep's order. Since a cut only adds to the others' exact
// contributions, they wait under a lower bound until it is the least (three_objective_cut.cpp).
#pragma once

#include <cstddef>
#include <vector>

#include "core/mopso/archive.hpp"

namespace corvalinth {

// Marks members to cut, exactly as repeatedly cutting the member of least contribution under the
// default reference of the members left would (a NaN contribution counts as smallest, ties go to
// the lowest index), until `capacity` are left. Every member must have three objectives. Cuts
// nothing while a value is not finite or the default reference does not lie strictly beyond every
// member, and stops as soon as a cut makes it so: the caller cuts the rest one at a time.
// `lists` is scratch room that the caller keeps from one call to the next (its contents do not
// matter), so that the lists of the members each one rests on keep their memory.
std::vector<bool> mark_three_objective_cut(const std::vector<ArchiveMember>& members,
                                           std::size_t capacity,
                                           std::vector<std::vector<std::size_t>>& lists);

}  // namespace corvalinth
