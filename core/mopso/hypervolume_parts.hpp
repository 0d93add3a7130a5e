// What the hypervolume and its contributions share: the filtered points, the stop flag, the box
// volume, the non-dominated filter and the volume of a filtered front.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>
#include <span>
#include <vector>

#include "core/mopso/hypervolume.hpp"

namespace corvalinth::hypervolume_parts {

// The points that pass the filter, row after row, with their positions in the input.
struct Inside {
  std::size_t m = 0;
  std::vector<double> values;
  std::vector<std::size_t> positions;

  std::size_t count() const { return positions.size(); }
  const double* row(std::size_t i) const { return values.data() + i * m; }
};


// True when a reference component is infinite.
inline bool unbounded(ObjectiveView reference) {
  return std::any_of(reference.begin(), reference.end(), [](double r) { return std::isinf(r); });
}

// True when a point has an objective at -inf: it dominates a box of infinite volume.
inline bool reaches_minus_infinity(const Inside& inside) {
  return std::any_of(inside.values.begin(), inside.values.end(),
                     [](double v) { return v == -std::numeric_limits<double>::infinity(); });
}

// Asks the caller's stop token; the long loops call it once per outer step.
class StopCheck {
 public:
  explicit StopCheck(StopToken* stop) : stop_(stop) {}
  void operator()() const {
    if (stop_ != nullptr && stop_->should_stop()) throw HypervolumeCancelled();
  }

 private:
  StopToken* stop_;
};

// Copies of the points of `front` that are strictly better than `reference` in every objective;
// the rest (NaN, other lengths, on or beyond the reference) are left out.
Inside points_inside(std::span<const ObjectiveView> front, ObjectiveView reference, StopCheck stop);

// Volume of the box between p and the reference in the first d objectives, multiplied in index
// order from 1.0.
inline double box(const double* p, const double* reference, std::size_t d) {
  double product = 1.0;
  for (std::size_t k = 0; k < d; ++k) product = product * (reference[k] - p[k]);
  return product;
}

// How many points the sweeps handle between two reads of the stop flag.
constexpr std::size_t kRowsPerStopCheck = 1 << 14;

// Sorts [first, last) by `less` as std::sort does, asking `stop` every kRowsPerStopCheck steps of
// the partitions of long ranges, so that sorting millions of rows (through indices, a cache miss
// per comparison) stops within milliseconds. Ranges of up to kRowsPerStopCheck elements, and a
// range still unsplit after twice the logarithm of its length in partitions, go to std::sort.
// Whatever the order among equal elements, every caller sorts by the full value of its rows.
template <typename Iterator, typename Less>
void sort_checking(Iterator first, Iterator last, Less less, StopCheck stop);

// The partitions of a long range, kept out of line: inlined, they cost sorts of a few thousand
// rows several per cent.
template <typename Iterator, typename Less>
[[gnu::noinline]] void sort_long_range(Iterator first, Iterator last, Less less, StopCheck stop) {
  using Distance = typename std::iterator_traits<Iterator>::difference_type;
  constexpr auto kShortRange = static_cast<Distance>(kRowsPerStopCheck);
  int depth_left = 2 * static_cast<int>(std::bit_width(static_cast<std::size_t>(last - first)));
  while (last - first > kShortRange && depth_left-- > 0) {
    stop();
    // Hoare's partition around the median of three, moved to the front: both parts are
    // non-empty, and elements equal to the pivot fall on both sides, so equal keys split evenly.
    const Iterator middle = first + (last - first) / 2;
    const Iterator final_element = last - 1;
    if (less(*middle, *first)) std::iter_swap(middle, first);
    if (less(*final_element, *first)) std::iter_swap(final_element, first);
    if (less(*final_element, *middle)) std::iter_swap(final_element, middle);
    std::iter_swap(first, middle);
    const auto pivot = *first;
    Distance i = -1;
    Distance j = last - first;
    std::size_t steps = 0;
    for (;;) {
      do {
        ++i;
        if (++steps % kRowsPerStopCheck == 0) stop();
      } while (less(first[i], pivot));
      do {
        --j;
        if (++steps % kRowsPerStopCheck == 0) stop();
      } while (less(pivot, first[j]));
      if (i >= j) break;
      std::iter_swap(first + i, first + j);
    }
    // [first, first + j] and (first + j, last): the shorter part first keeps the depth at log n.
    const Iterator split = first + j + 1;
    if (split - first < last - split) {
      sort_checking(first, split, less, stop);
      first = split;
    } else {
      sort_checking(split, last, less, stop);
      last = split;
    }
  }
  std::sort(first, last, less);
}

template <typename Iterator, typename Less>
void sort_checking(Iterator first, Iterator last, Less less, StopCheck stop) {
  if (static_cast<std::size_t>(last - first) <= kRowsPerStopCheck) {
    std::sort(first, last, less);
  } else {
    sort_long_range(first, last, less, stop);
  }
}

// Three objectives as one sortable value.
using Triple = std::array<double, 3>;

// The rows (width d) that no other row weakly dominates, one of each group of equal rows,
// written to `out` (in no particular order); returns how many. `order` is scratch space.
std::size_t nondominated(const std::vector<double>& rows, std::size_t n, std::size_t d,
                         std::vector<double>& out, std::vector<std::size_t>& order);

// Volume of the n >= 1 rows of width m in `values`, all strictly inside a finite reference.
double volume(const std::vector<double>& values, std::size_t n, std::size_t m,
              const double* reference, StopCheck stop);

}  // namespace corvalinth::hypervolume_parts
