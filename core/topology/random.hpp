// The random topology: each query draws k fresh informants from the topology's own generator.
#pragma once

#include "core/contracts.hpp"

namespace corvalinth {

// neighbours(i) = [i] followed by min(k, n - 1) distinct other particles in the order drawn with
// below(n). The generator is the topology's own, so the run's random numbers are unaffected.
class RandomTopology final : public Topology {
 public:
  // Fails with "Random topology needs k >= 1 informants" when k = 0.
  explicit RandomTopology(std::uint64_t k, std::uint64_t seed);

  void neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) override;
  SwarmRng* own_generator() override { return &rng_; }
  std::uint64_t k() const { return k_; }

 private:
  const std::uint64_t k_;
  // Advanced by every query: the graph is redrawn each time it is asked for.
  SwarmRng rng_;
};

}  // namespace corvalinth
