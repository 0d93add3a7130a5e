#include "core/topology/global.hpp"

namespace corvalinth {

void GlobalTopology::neighbours(std::size_t /*i*/, std::size_t n,
                                std::vector<std::size_t>& out) {
  out.resize(n);
  for (std::size_t j = 0; j < n; ++j) out[j] = j;
}

}  // namespace corvalinth
