#include "core/mopso/grid.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvalinth {
namespace {

std::uint64_t effective_divisions(std::uint64_t divisions) { return divisions == 0 ? 1 : divisions; }

// Counts, for every row index 0..n-1, the rows equal to it: sorts the indices by `less` and
// gives every run of equal rows its length. `order` and `counts` are caller buffers.
template <typename Less, typename Equal>
void count_equal_rows(std::size_t n, Less less, Equal equal, std::vector<std::size_t>& order,
                      std::vector<std::size_t>& counts) {
  order.resize(n);
  for (std::size_t j = 0; j < n; ++j) order[j] = j;
  std::sort(order.begin(), order.end(), less);
  counts.resize(n);
  std::size_t start = 0;
  while (start < n) {
    std::size_t end = start + 1;
    while (end < n && equal(order[start], order[end])) ++end;
    for (std::size_t k = start; k < end; ++k) counts[order[k]] = end - start;
    start = end;
  }
}

template <typename Row>
bool rows_less(const Row& a, const Row& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

template <typename Row>
bool rows_equal(const Row& a, const Row& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::vector<ObjectiveView> views_of(const std::vector<std::vector<double>>& vectors) {
  return {vectors.begin(), vectors.end()};
}

}  // namespace

std::uint64_t cell_coordinate(double v, double lower, double upper, std::uint64_t divisions) {
  const std::uint64_t d = effective_divisions(divisions);
  const double range = upper - lower;
  if (!(range > 0.0)) return 0;
  const double t = static_cast<double>(d) * ((v - lower) / range);
  // Truncating, saturating conversion: negative or NaN gives 0, beyond 2^64 - 1 the maximum.
  std::uint64_t q;
  if (!(t > 0.0)) {
    q = 0;
  } else if (t >= 18446744073709551616.0) {
    q = std::numeric_limits<std::uint64_t>::max();
  } else {
    q = static_cast<std::uint64_t>(t);
  }
  // The upper extreme (t = d) belongs to the last cell.
  return q < d - 1 ? q : d - 1;
}

void AdaptiveGrid::build(std::span<const ObjectiveView> vectors, std::uint64_t divisions) {
  const std::uint64_t d = effective_divisions(divisions);
  count_ = vectors.size();
  m_ = count_ == 0 ? 0 : vectors[0].size();
  for (const ObjectiveView v : vectors) require_objective_count(v.size(), m_);

  // Extremes per objective, NaN ignored; an all-NaN objective keeps (+inf, -inf), range NaN.
  lower_.assign(m_, std::numeric_limits<double>::infinity());
  upper_.assign(m_, -std::numeric_limits<double>::infinity());
  for (const ObjectiveView v : vectors) {
    for (std::size_t k = 0; k < m_; ++k) {
      if (v[k] < lower_[k]) lower_[k] = v[k];
      if (v[k] > upper_[k]) upper_[k] = v[k];
    }
  }

  cells_.resize(count_ * m_);
  for (std::size_t j = 0; j < count_; ++j) {
    for (std::size_t k = 0; k < m_; ++k) {
      cells_[j * m_ + k] = cell_coordinate(vectors[j][k], lower_[k], upper_[k], d);
    }
  }
  count_equal_rows(
      count_, [this](std::size_t a, std::size_t b) { return rows_less(cell(a), cell(b)); },
      [this](std::size_t a, std::size_t b) { return rows_equal(cell(a), cell(b)); }, order_,
      occupancy_);
}

std::vector<CellCoordinates> cell_coordinates(std::span<const ObjectiveView> vectors,
                                              std::uint64_t divisions) {
  AdaptiveGrid grid;
  grid.build(vectors, divisions);
  std::vector<CellCoordinates> cells;
  cells.reserve(grid.size());
  for (std::size_t j = 0; j < grid.size(); ++j) {
    const auto row = grid.cell(j);
    cells.emplace_back(row.begin(), row.end());
  }
  return cells;
}

std::vector<CellCoordinates> cell_coordinates(const std::vector<std::vector<double>>& vectors,
                                              std::uint64_t divisions) {
  const auto views = views_of(vectors);
  return cell_coordinates(std::span<const ObjectiveView>(views), divisions);
}

void prune_by_grid(std::vector<ArchiveMember>& members, std::size_t archive_size,
                   std::uint64_t divisions, AdaptiveGrid& grid,
                   std::vector<ObjectiveView>& views) {
  while (members.size() > archive_size) {
    views.clear();
    for (const ArchiveMember& member : members) views.push_back(member.objectives);
    grid.build(views, divisions);
    // The most crowded cell loses its last member in archive order.
    const auto occupancy = grid.occupancy();
    std::size_t victim = 0;
    for (std::size_t j = 1; j < occupancy.size(); ++j) {
      if (occupancy[j] >= occupancy[victim]) victim = j;
    }
    members.erase(members.begin() + static_cast<std::ptrdiff_t>(victim));
  }
}

std::vector<double> grid_weights(std::span<const ObjectiveView> vectors, std::uint64_t divisions,
                                 AdaptiveGrid& grid) {
  grid.build(vectors, divisions);
  const auto occupancy = grid.occupancy();
  std::vector<double> weights(occupancy.size());
  for (std::size_t j = 0; j < occupancy.size(); ++j) {
    weights[j] = 1.0 / static_cast<double>(occupancy[j]);
  }
  return weights;
}

}  // namespace corvalinth
