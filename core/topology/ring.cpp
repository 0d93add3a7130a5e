#include "core/topology/ring.hpp"

#include <algorithm>

namespace corvalinth {
namespace {

void append_new(std::vector<std::size_t>& list, std::size_t j) {
  if (std::find(list.begin(), list.end(), j) == list.end()) list.push_back(j);
}

}  // namespace

void RingTopology::neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) {
  out.clear();
  out.push_back(i);
  if (n == 0) return;
  // Offsets h >= n repeat offsets h mod n < n already offered (h = n itself offers nothing),
  // so the list is complete after h = min(k, n - 1).
  const std::uint64_t last = std::min<std::uint64_t>(radius_, n - 1);
  for (std::uint64_t h = 1; h <= last; ++h) {
    const std::size_t e = static_cast<std::size_t>(h);
    append_new(out, (i + e) % n);
    append_new(out, (i + n - e) % n);
  }
}

}  // namespace corvalinth
