// The order of numbers by value, as crowding distances read them: ascending, NaN after every
// number, equal values (-0.0 and 0.0 among them, and every NaN) in index order. So it is the
// order a stable sort by that comparison gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvalinth {

// A value's place in the order, with its index.
struct OrderedValue {
  std::uint64_t key;  // ascending in the order above; equal exactly for equal values
  std::size_t index;
};

// Writes into `order` every index of `values`, in the order above. `room` is scratch space that a
// caller may reuse between calls.
//
// Each value becomes a 64-bit key whose unsigned order is the order above. The keys are sorted by
// their upper 32 bits (sign, exponent, upper mantissa) in stable counting passes, one per byte that
// is not the same for all, which leaves runs sharing those bits in index order; each such run,
// rare unless values agree to about one part in a million, is then sorted by (key, index).
void ascending_order(std::span<const double> values, std::vector<OrderedValue>& order,
                     std::vector<OrderedValue>& room);

}  // namespace corvalinth
