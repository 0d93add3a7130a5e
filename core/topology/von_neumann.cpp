#include "core/topology/von_neumann.hpp"

#include <algorithm>
#include <cmath>

#include "core/failure.hpp"

namespace corvalinth {

VonNeumannTopology VonNeumannTopology::from_size(std::uint64_t n) {
  std::uint64_t rows = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
  if (rows == 0) rows = 1;
  const std::uint64_t cols = n / rows + (n % rows != 0 ? 1 : 0);
  return VonNeumannTopology(rows, cols);
}

VonNeumannTopology::VonNeumannTopology(std::uint64_t rows, std::uint64_t cols)
    : rows_(rows), cols_(cols) {
  if (rows_ == 0 || cols_ == 0) fail("the grid needs rows, cols >= 1");
}

void VonNeumannTopology::neighbours(std::size_t i, std::size_t n,
                                    std::vector<std::size_t>& out) {
  out.clear();
  out.push_back(i);
  const std::uint64_t r = i / cols_;
  const std::uint64_t c = i % cols_;
  const std::uint64_t candidates[4][2] = {
      {(r + rows_ - 1) % rows_, c},                 // up
      {(r + 1) % rows_, c},                         // down
      {r, (c + cols_ - 1) % cols_},                 // left
      {r, c + 1 == cols_ ? 0 : c + 1},              // right
  };
  for (const auto& cell : candidates) {
    const std::uint64_t j = cell[0] * cols_ + cell[1];
    if (j >= n) continue;  // an empty cell of the last row
    if (std::find(out.begin(), out.end(), j) == out.end()) out.push_back(j);
  }
}

}  // namespace corvalinth
