// The global topology, the default: everybody hears everybody.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// neighbours(i) = 0, 1, ..., n-1 in increasing order (i at its own place, not first).
class GlobalTopology final : public Topology {
 public:
  GlobalTopology() = default;
  void neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) override;
  bool lists_whole_swarm() const override { return true; }
};

}  // namespace corvalinth
