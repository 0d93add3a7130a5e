// The bounded Pareto archive of a multi-objective run: Pareto dominance, insertion that keeps the
// archive mutually non-dominated and free of duplicates, and the diversity strategy that cuts it
// back to capacity and weighs its members as leaders (crowding distance, or the adaptive grid of
// grid.hpp). All objectives are minimised.
//
// Objective vectors of unequal length. Dominance compares the common prefix, but crowding
// distance and the grid read m components of every vector, m being the first's length. A run
// whose objective returns vectors of different lengths is therefore an error, never an
// out-of-bounds read: the archive refuses a candidate whose length differs from its members', and
// crowding_distances and the grid refuse lists of unequal lengths, all with the same CoreError
// (see require_objective_count). The run loop checks every evaluation against the first one
// before the archive sees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "core/mopso/objective_columns.hpp"

namespace corvalinth {

// A read-only view of one objective vector.
using ObjectiveView = std::span<const double>;

// True when a dominates b: no component of the common prefix worse, at least one better.
// A component pair with a NaN counts as neither; equal vectors and empty prefixes never dominate.
inline bool dominates(ObjectiveView a, ObjectiveView b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  bool better = false;
  for (std::size_t k = 0; k < n; ++k) {
    if (a[k] > b[k]) return false;
    if (a[k] < b[k]) better = true;
  }
  return better;
}

// Same length and every component equal (so a vector holding NaN equals nothing).
inline bool same_objectives(ObjectiveView a, ObjectiveView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (!(a[k] == b[k])) return false;
  }
  return true;
}

// Fails with an equality assertion unless an objective vector has the run's objective count.
void require_objective_count(std::size_t actual, std::size_t expected);

struct ArchiveMember {
  std::vector<double> position;    // the undecoded search position
  std::vector<double> objectives;  // measured at that position
};

// Diversity strategies: crowding distance (the default), the adaptive hypercube grid with
// `divisions` intervals per objective (0 acts as 1), or least hypervolume contribution.
struct Crowding {};
struct Grid {
  std::uint64_t divisions;
};
// For up to three objectives: cuts one member at a time, the one whose exclusive hypervolume
// contribution is smallest (hypervolume_contributions under default_reference of the members
// left; a NaN contribution counts as smallest, ties go to the lowest index), until the archive
// fits; each cut costs O(n log n), and with finite values less: O(n) with two objectives (only the
// cut member's neighbours and the ends change, see cut_two_objectives_incrementally), and with
// three O(n) per member whose contribution rested on the cut one (three_objective_cut.hpp), after
// O(n^2) once per pruning. With four or more objectives a cut would cost one hypervolume
// per member, too slow inside a run, so the archive is cut as by Crowding. Either way the members
// are weighed by crowding distance.
struct LeastContribution {
  static constexpr std::size_t kMaxObjectives = 3;
};
using DiversityStrategy = std::variant<Crowding, Grid, LeastContribution>;

// Crowding distance of every vector, in input order. Two or fewer vectors are all +infinity.
// Fails when the vectors differ in length. NaN components sort after every number, which makes
// the range of that objective NaN, so it adds nothing to interior vectors.
std::vector<double> crowding_distances(std::span<const ObjectiveView> vectors);
std::vector<double> crowding_distances(const std::vector<std::vector<double>>& vectors);

class ParetoArchive {
 public:
  // Fails with "archive_size must be >= 1" for a zero capacity, which would leave no leader.
  ParetoArchive(DiversityStrategy strategy, std::size_t archive_size);

  // Offers a candidate. A member dominating it rejects it; members it dominates leave; an equal
  // member rejects it; otherwise copies of both vectors are appended. No capacity check here.
  // Fails when the candidate's objective count differs from the members'.
  void insert(std::span<const double> position, ObjectiveView objectives);

  // Cuts the archive to archive_size members (keeping archive order) and returns one leader
  // weight per member, larger meaning a more likely leader.
  std::vector<double> prune_and_weigh();

  const std::vector<ArchiveMember>& members() const { return members_; }
  // Replaces the members by a saved run's (core/mopso/mopso.hpp restores its archive).
  void restore_members(std::vector<ArchiveMember> members) {
    members_ = std::move(members);
    spare_.clear();
    columns_current_ = false;
  }
  std::size_t size() const { return members_.size(); }
  std::size_t archive_size() const { return archive_size_; }
  const DiversityStrategy& strategy() const { return strategy_; }

 private:
  std::vector<double> prune_and_weigh_by_crowding();
  std::vector<double> prune_and_weigh_by_grid(std::uint64_t divisions);
  std::vector<double> prune_by_contribution_and_weigh();
  void cut_two_objectives_incrementally();
  // Refreshes views_ to the members' objective vectors, in archive order.
  std::span<const ObjectiveView> objective_views();
  // Erases the members marked in `cut`, the others keeping their order, and keeps the erased
  // ones' storage for later members.
  void erase_marked(const std::vector<bool>& cut);

  DiversityStrategy strategy_;
  std::size_t archive_size_;
  std::vector<ArchiveMember> members_;
  std::vector<ObjectiveView> views_;  // reused across prunings
  // The members' objective vectors by objective, which insertion compares a candidate with;
  // rebuilt by the first insertion after anything else changed the members.
  ObjectiveColumns columns_;
  bool columns_current_ = false;
  // The members a candidate dominates, reused across insertions.
  std::vector<bool> dominated_;
  // Erased members, whose vectors a new member reuses instead of allocating its own.
  std::vector<ArchiveMember> spare_;
  std::vector<std::vector<std::size_t>> cut_lists_;  // the three-objective cut's room, reused
};

}  // namespace corvalinth
