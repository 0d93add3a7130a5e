// The ring topology: each particle hears the k nearest indices on either side.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// neighbours(i) = [i], then for h = 1..k the candidates (i + h) mod n and (i - h) mod n, each
// appended when not yet listed. With k = 1 and n >= 3: [i, i+1, i-1].
class RingTopology final : public Topology {
 public:
  explicit RingTopology(std::uint64_t radius) : radius_(radius) {}
  void neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) override;
  std::uint64_t radius() const { return radius_; }

 private:
  const std::uint64_t radius_;
};

}  // namespace corvalinth
