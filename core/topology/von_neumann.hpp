// The von Neumann topology: particles on a torus grid hear their four grid neighbours.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// Particle i sits at row i / cols, column i mod cols. neighbours(i) = [i], then up, down, left,
// right (wrapping around), each appended when its cell holds a particle and is not yet listed.
class VonNeumannTopology final : public Topology {
 public:
  // rows = floor(sqrt(n)) (at least 1), cols = ceil(n / rows). Fails with
  // "the grid needs rows, cols >= 1" when either comes out 0 (n = 0).
  static VonNeumannTopology from_size(std::uint64_t n);
  explicit VonNeumannTopology(std::uint64_t rows, std::uint64_t cols);

  void neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) override;
  std::uint64_t rows() const { return rows_; }
  std::uint64_t cols() const { return cols_; }

 private:
  const std::uint64_t rows_;
  const std::uint64_t cols_;
};

}  // namespace corvalinth
