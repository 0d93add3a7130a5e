// The adaptive hypercube grid: objective space cut into d intervals per objective between the
// current extremes of the archive. Members sharing a cell count as crowded; the grid picks which
// member leaves an over-full archive and weighs leaders by 1 / occupancy. It is rebuilt from the
// members every time it is needed and keeps no state between uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/mopso/archive.hpp"

namespace corvalinth {

using CellCoordinates = std::vector<std::uint64_t>;

// One coordinate vector per input vector, in input order, each component in [0, max(d,1) - 1].
// Fails when the vectors differ in length.
std::vector<CellCoordinates> cell_coordinates(std::span<const ObjectiveView> vectors,
                                              std::uint64_t divisions);
std::vector<CellCoordinates> cell_coordinates(const std::vector<std::vector<double>>& vectors,
                                              std::uint64_t divisions);

// The cell of value v in an objective spanning [lower, upper], cut into max(divisions, 1)
// intervals.
std::uint64_t cell_coordinate(double v, double lower, double upper, std::uint64_t divisions);

// One grid over a list of objective vectors: extremes, cells and occupancies, in flat buffers
// that a rebuild reuses, so the repeated passes of a pruning allocate nothing after the first.
class AdaptiveGrid {
 public:
  // Rebuilds over `vectors` (all of one length) with max(divisions, 1) intervals per objective.
  void build(std::span<const ObjectiveView> vectors, std::uint64_t divisions);

  std::size_t size() const { return count_; }
  std::size_t objectives() const { return m_; }
  std::span<const double> lower() const { return lower_; }
  std::span<const double> upper() const { return upper_; }
  std::span<const std::uint64_t> cell(std::size_t j) const {
    return {cells_.data() + j * m_, m_};
  }
  std::span<const std::size_t> occupancy() const { return occupancy_; }

 private:
  std::size_t count_ = 0;
  std::size_t m_ = 0;
  std::vector<double> lower_;
  std::vector<double> upper_;
  std::vector<std::uint64_t> cells_;  // count x m, row-major
  std::vector<std::size_t> order_;
  std::vector<std::size_t> occupancy_;
};

// Removes members one at a time (the last of the most crowded cell, on a freshly built grid
// each pass) until at most `archive_size` remain.
void prune_by_grid(std::vector<ArchiveMember>& members, std::size_t archive_size,
                   std::uint64_t divisions, AdaptiveGrid& grid,
                   std::vector<ObjectiveView>& views);

// weight_j = 1 / occupancy_j on a grid over the members.
std::vector<double> grid_weights(std::span<const ObjectiveView> vectors, std::uint64_t divisions,
                                 AdaptiveGrid& grid);

}  // namespace corvalinth
