#include "core/topology/random.hpp"

#include <algorithm>

#include "core/failure.hpp"

namespace corvalinth {
namespace {

std::uint64_t checked_k(std::uint64_t k) {
  if (k == 0) fail("Random topology needs k >= 1 informants");
  return k;
}

}  // namespace

RandomTopology::RandomTopology(std::uint64_t k, std::uint64_t seed)
    : k_(checked_k(k)), rng_(SwarmRng::seed_from_u64(seed)) {}

void RandomTopology::neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) {
  out.clear();
  out.push_back(i);
  if (n == 0) return;
  const std::uint64_t wanted = std::min<std::uint64_t>(k_, n - 1);
  while (out.size() <= wanted) {
    const auto j = static_cast<std::size_t>(rng_.below(n));
    if (std::find(out.begin(), out.end(), j) == out.end()) out.push_back(j);
  }
}

}  // namespace corvalinth
