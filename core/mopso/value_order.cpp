#include "core/mopso/value_order.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace corvalinth {
namespace {

// Sign-magnitude doubles as unsigned integers of the same order: negative values have every bit
// flipped, the others their sign bit set. Adding 0.0 turns -0.0 into 0.0; every NaN is the largest
// key.
std::uint64_t key_of(double value) {
  if (std::isnan(value)) return UINT64_MAX;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value + 0.0);
  return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

constexpr int kSortedBytes = 4;  // the upper 32 bits
constexpr int kFirstSortedBit = 64 - 8 * kSortedBytes;

std::size_t digit(std::uint64_t key, int byte) {
  return static_cast<std::size_t>((key >> (kFirstSortedBit + 8 * byte)) & 0xff);
}

bool before(const OrderedValue& a, const OrderedValue& b) {
  return a.key < b.key || (a.key == b.key && a.index < b.index);
}

}  // namespace

void ascending_order(std::span<const double> values, std::vector<OrderedValue>& order,
                     std::vector<OrderedValue>& room) {
  const std::size_t n = values.size();
  order.resize(n);
  room.resize(n);
  std::array<std::array<std::size_t, 256>, kSortedBytes> counts{};
  for (std::size_t j = 0; j < n; ++j) {
    const std::uint64_t key = key_of(values[j]);
    order[j] = OrderedValue{key, j};
    for (int byte = 0; byte < kSortedBytes; ++byte) ++counts[byte][digit(key, byte)];
  }
  if (n < 2) return;
  for (int byte = 0; byte < kSortedBytes; ++byte) {
    std::array<std::size_t, 256>& start = counts[byte];
    if (start[digit(order[0].key, byte)] == n) continue;  // one digit for all: nothing moves
    std::size_t sum = 0;
    for (std::size_t& count : start) {
      const std::size_t here = count;
      count = sum;
      sum += here;
    }
    for (const OrderedValue& value : order) room[start[digit(value.key, byte)]++] = value;
    order.swap(room);
  }
  // Runs that share the sorted bits, in index order so far.
  const auto upper = [](const OrderedValue& value) { return value.key >> kFirstSortedBit; };
  for (std::size_t first = 0; first < n;) {
    std::size_t last = first + 1;
    while (last < n && upper(order[last]) == upper(order[first])) ++last;
    if (last - first > 1) {
      std::sort(order.begin() + static_cast<std::ptrdiff_t>(first),
                order.begin() + static_cast<std::ptrdiff_t>(last), before);
    }
    first = last;
  }
}

}  // namespace corvalinth
