#include "core/mopso/archive.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "core/failure.hpp"
#include "core/mopso/grid.hpp"
#include "core/mopso/hypervolume.hpp"
#include "core/mopso/three_objective_cut.hpp"
#include "core/mopso/value_order.hpp"

namespace corvalinth {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

void ParetoArchive::erase_marked(const std::vector<bool>& cut) {
  std::size_t kept = 0;
  for (std::size_t j = 0; j < members_.size(); ++j) {
    if (cut[j]) {
      spare_.push_back(std::move(members_[j]));
      continue;
    }
    // Slot `kept` was moved from already, so the assignment frees nothing.
    if (kept != j) members_[kept] = std::move(members_[j]);
    ++kept;
  }
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(kept), members_.end());
}

void require_objective_count(std::size_t actual, std::size_t expected) {
  require_eq(actual, expected,
             "every objective vector of a run must have as many values as the first");
}

std::vector<double> crowding_distances(std::span<const ObjectiveView> vectors) {
  const std::size_t n = vectors.size();
  if (n <= 2) return std::vector<double>(n, kInfinity);
  const std::size_t m = vectors[0].size();
  for (const ObjectiveView v : vectors) require_objective_count(v.size(), m);

  // Each objective's values in the order of a stable sort by value, NaN last.
  std::vector<double> distance(n, 0.0);
  std::vector<double> values(n);
  std::vector<OrderedValue> order;
  std::vector<OrderedValue> room;
  for (std::size_t k = 0; k < m; ++k) {
    for (std::size_t j = 0; j < n; ++j) values[j] = vectors[j][k];
    ascending_order(values, order, room);
    const std::size_t lowest = order.front().index;
    const std::size_t highest = order.back().index;
    distance[lowest] = kInfinity;
    distance[highest] = kInfinity;
    const double range = values[highest] - values[lowest];
    if (!(range > 0.0)) continue;
    for (std::size_t j = 1; j + 1 < n; ++j) {
      double& d = distance[order[j].index];
      // An infinite distance stays infinite, even if a term would be NaN.
      if (d == kInfinity) continue;
      d = d + (values[order[j + 1].index] - values[order[j - 1].index]) / range;
    }
  }
  return distance;
}

std::vector<double> crowding_distances(const std::vector<std::vector<double>>& vectors) {
  const std::vector<ObjectiveView> views(vectors.begin(), vectors.end());
  return crowding_distances(std::span<const ObjectiveView>(views));
}

ParetoArchive::ParetoArchive(DiversityStrategy strategy, std::size_t archive_size)
    : strategy_(strategy), archive_size_(archive_size) {
  if (archive_size == 0) fail("archive_size must be >= 1");
}

void ParetoArchive::insert(std::span<const double> position, ObjectiveView objectives) {
  if (!members_.empty()) {
    require_objective_count(objectives.size(), members_.front().objectives.size());
  }
  if (!columns_current_) {
    columns_.clear(objectives.size());
    for (const ArchiveMember& member : members_) columns_.append(member.objectives);
    columns_current_ = true;
  }
  const ObjectiveColumns::Verdict verdict = columns_.judge(objectives);
  if (verdict == ObjectiveColumns::Verdict::Refused) return;
  columns_current_ = false;  // until both hold the candidate (an allocation may fail on the way)
  if (verdict == ObjectiveColumns::Verdict::DominatesSome) {
    columns_.erase_dominated(objectives, dominated_);
    erase_marked(dominated_);
  }
  if (spare_.empty()) {
    members_.push_back(
        ArchiveMember{{position.begin(), position.end()}, {objectives.begin(), objectives.end()}});
  } else {
    ArchiveMember& member = spare_.back();
    member.position.assign(position.begin(), position.end());
    member.objectives.assign(objectives.begin(), objectives.end());
    members_.push_back(std::move(member));
    spare_.pop_back();
  }
  columns_.append(objectives);
  columns_current_ = true;
}

std::vector<double> ParetoArchive::prune_and_weigh() {
  columns_current_ = false;
  if (const Grid* grid = std::get_if<Grid>(&strategy_)) {
    return prune_and_weigh_by_grid(grid->divisions);
  }
  if (std::holds_alternative<LeastContribution>(strategy_)) {
    return prune_by_contribution_and_weigh();
  }
  return prune_and_weigh_by_crowding();
}

std::span<const ObjectiveView> ParetoArchive::objective_views() {
  views_.clear();
  for (const ArchiveMember& member : members_) views_.push_back(member.objectives);
  return views_;
}

std::vector<double> ParetoArchive::prune_and_weigh_by_crowding() {
  std::vector<double> distance = crowding_distances(objective_views());
  if (members_.size() <= archive_size_) return distance;

  // One cut on distances computed once: the largest distances stay, ties keep archive order,
  // and the survivors keep their former archive order. Negated, the distances ascend in the
  // order of descending ones, NaN still last.
  std::vector<double> negated(distance.size());
  for (std::size_t j = 0; j < distance.size(); ++j) negated[j] = -distance[j];
  std::vector<OrderedValue> order;
  std::vector<OrderedValue> room;
  ascending_order(negated, order, room);
  std::vector<bool> cut(members_.size(), true);
  for (std::size_t j = 0; j < archive_size_; ++j) cut[order[j].index] = false;
  erase_marked(cut);
  return crowding_distances(objective_views());
}

std::vector<double> ParetoArchive::prune_and_weigh_by_grid(std::uint64_t divisions) {
  AdaptiveGrid grid;
  prune_by_grid(members_, archive_size_, divisions, grid, views_);
  return grid_weights(objective_views(), divisions, grid);
}

// The cut of two-objective members whose values are all finite. Sorted by the first objective
// they form a strict staircase (no member dominates or repeats another), so while the reference
// lies beyond both ends every member's contribution is (right neighbour's x - x) * (left
// neighbour's y - y), the reference standing in past the ends: the one product
// hypervolume_contributions forms for such a front, bit for bit. A cut then changes only its
// neighbours' products, and the ends' when the reference moves. Members are marked cut and erased
// at the end. Stops early, leaving the rest to the general cut, when the values do not qualify
// (a value not finite, or a reference that no longer lies beyond an end).
void ParetoArchive::cut_two_objectives_incrementally() {
  const std::size_t n = members_.size();
  for (const ArchiveMember& member : members_) {
    if (!std::isfinite(member.objectives[0]) || !std::isfinite(member.objectives[1])) return;
  }
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return members_[a].objectives[0] < members_[b].objectives[0];
  });
  // Neighbours along the staircase by archive index; n stands for "none".
  std::vector<std::size_t> left(n, n);
  std::vector<std::size_t> right(n, n);
  for (std::size_t k = 0; k + 1 < n; ++k) {
    right[order[k]] = order[k + 1];
    left[order[k + 1]] = order[k];
  }
  std::size_t first = order.front();
  std::size_t last = order.back();
  std::vector<double> reference;
  const auto reference_holds = [&] {
    const ObjectiveView ends[] = {members_[first].objectives, members_[last].objectives};
    reference = default_reference(std::span<const ObjectiveView>(ends));
    return std::isfinite(reference[0]) && std::isfinite(reference[1]) &&
           reference[0] > members_[last].objectives[0] &&
           reference[1] > members_[first].objectives[1];
  };
  if (!reference_holds()) return;
  std::vector<double> share(n, 0.0);
  const auto update = [&](std::size_t i) {
    if (i == n) return;
    const double x = members_[i].objectives[0];
    const double y = members_[i].objectives[1];
    const double to = right[i] != n ? members_[right[i]].objectives[0] : reference[0];
    const double above = left[i] != n ? members_[left[i]].objectives[1] : reference[1];
    share[i] = (to - x) * (above - y);
  };
  for (std::size_t i = 0; i < n; ++i) update(i);
  std::vector<bool> cut(n, false);
  for (std::size_t remaining = n; remaining > archive_size_; --remaining) {
    std::size_t victim = n;
    for (std::size_t j = 0; j < n; ++j) {
      if (!cut[j] && (victim == n || share[j] < share[victim])) victim = j;
    }
    cut[victim] = true;
    const std::size_t before = left[victim];
    const std::size_t after = right[victim];
    if (before != n) right[before] = after;
    if (after != n) left[after] = before;
    if (victim == first) first = after;
    if (victim == last) last = before;
    const std::vector<double> old_reference = reference;
    if (!reference_holds()) break;
    update(before);
    update(after);
    if (reference != old_reference) {
      update(first);
      update(last);
    }
  }
  erase_marked(cut);
}

std::vector<double> ParetoArchive::prune_by_contribution_and_weigh() {
  if (!members_.empty() && members_.front().objectives.size() > LeastContribution::kMaxObjectives) {
    return prune_and_weigh_by_crowding();
  }
  if (members_.size() > archive_size_ && members_.front().objectives.size() == 2) {
    cut_two_objectives_incrementally();
  }
  if (members_.size() > archive_size_ && members_.front().objectives.size() == 3) {
    erase_marked(mark_three_objective_cut(members_, archive_size_, cut_lists_));
  }
  while (members_.size() > archive_size_) {
    const std::span<const ObjectiveView> views = objective_views();
    const std::vector<double> reference = default_reference(views);
    const std::vector<double> contribution = hypervolume_contributions(views, reference);
    std::size_t victim = 0;
    for (std::size_t j = 1; j < contribution.size(); ++j) {
      const double c = contribution[j];
      const double least = contribution[victim];
      if ((std::isnan(c) && !std::isnan(least)) || c < least) victim = j;
    }
    members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(victim));
  }
  return crowding_distances(objective_views());
}

}  // namespace corvalinth
