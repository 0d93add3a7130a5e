// What the hypervolume and its contributions share: the filtered points, the stop flag, the box
// volume, the non-dominated filter and the volume of a filtered front.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
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

// Copies of the points of `front` that are strictly better than `reference` in every objective;
// the rest (NaN, other lengths, on or beyond the reference) are left out.
Inside points_inside(std::span<const ObjectiveView> front, ObjectiveView reference);

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

// Volume of the box between p and the reference in the first d objectives, multiplied in index
// order from 1.0.
inline double box(const double* p, const double* reference, std::size_t d) {
  double product = 1.0;
  for (std::size_t k = 0; k < d; ++k) product = product * (reference[k] - p[k]);
  return product;
}

// How many points the sweeps handle between two reads of the stop flag.
constexpr std::size_t kRowsPerStopCheck = 1 << 14;

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
