// The Pareto archive's objective vectors one array per objective (a column), in archive order,
// so that a candidate is compared with several members in a few vector instructions.
//
// Every column has room for `stride` values; the slots past the last member always hold NaN. A
// vector of NaN neither dominates nor equals nor is dominated by anything, so the comparison reads
// whole blocks of members, the last one padded, and decides as if the padding were not there.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace corvalinth {

class ObjectiveColumns {
 public:
  // What the members make of a candidate: a member dominating or equal to it refuses it;
  // otherwise the members dominate none of it and it dominates some or none of them.
  enum class Verdict { Refused, DominatesSome, DominatesNone };

  // Empties the columns for vectors of `objective_count` values.
  void clear(std::size_t objective_count);
  // Appends a vector of the columns' objective count after the last member.
  void append(std::span<const double> objectives);
  // Removes the members that a candidate of the columns' objective count dominates (as dominates
  // does: better somewhere, worse nowhere, a pair with a NaN neither), marking
  // them in `dominated` (one flag per member before); the others keep their order.
  void erase_dominated(std::span<const double> candidate, std::vector<bool>& dominated);

  // The outcome of dominates and same_objectives (archive.hpp) between a candidate of the
  // columns' objective count and every member: Refused when a member dominates or equals it.
  // Members that dominate none of each other, as the archive's, never hold one that both equals
  // the candidate and is dominated by it, so refusing an equal candidate before the dominated
  // members leave is the same as after; the first block holding a refusing member ends the pass.
  Verdict judge(std::span<const double> candidate) const;

  // Members compared between two refusal tests; a multiple of the two lanes of a vector.
  static constexpr std::size_t kBlock = 8;

 private:
  static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

  void grow();

  std::size_t objective_count_ = 0;
  std::size_t count_ = 0;
  std::size_t stride_ = 0;      // a multiple of kBlock
  std::vector<double> values_;  // column k holds values_[k * stride_ ...]
  // False only while no member holds a NaN: then each member is refused or dominated by a test of
  // one comparison per component. A member whose NaN left keeps it true until the next clear.
  bool may_hold_nan_ = false;
};

}  // namespace corvalinth
