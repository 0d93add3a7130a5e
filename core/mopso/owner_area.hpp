// The open area of one owner of a three-objective contribution sweep, and what it loses when a
// new neighbour narrows its rectangle. An owner at (x, y) on the slice's staircase owns the
// rectangle [x, right) x [y, top) between its neighbours, less its inner staircase `inner` (the
// points only it dominates, by ascending x). Both the whole-front sweep and the incremental
// archive cut form these sums, so every contribution they compute has the same bits.
#pragma once

#include <iterator>

#include "core/mopso/staircase.hpp"

namespace corvalinth {

// The area of the rectangle that the inner staircase leaves open, summed left to right in strips.
template <typename Store>
double open_area(const Store& inner, double x, double y, double right, double top) {
  double open = 0.0;
  double from = x;
  double height = top;
  for (const Step& step : inner) {
    open = open + (step.x - from) * (height - y);
    from = step.x;
    height = step.y;
  }
  return open + (right - from) * (height - y);
}

// The rectangle now ends at `x` instead of `old_end`: returns the open strips between, and drops
// the inner steps from x on.
template <typename Store>
double cut_right_side(Store& inner, double y, double top, double x, double old_end) {
  auto it = first_step_from(inner, x);
  double height = it != inner.begin() ? std::prev(it)->y : top;
  double from = x;
  double lost = 0.0;
  const auto cut = it;
  for (; it != inner.end(); ++it) {
    lost = lost + (it->x - from) * (height - y);
    from = it->x;
    height = it->y;
  }
  lost = lost + (old_end - from) * (height - y);
  inner.erase(cut, inner.end());
  return lost;
}

// The rectangle now ends at height `new_top` instead of `old_top`: returns the open band between,
// and drops the inner steps at or above new_top.
template <typename Store>
double cut_top_side(Store& inner, double x, double right, double new_top, double old_top) {
  double height = old_top;
  double from = x;
  double lost = 0.0;
  auto it = inner.begin();
  for (; it != inner.end() && it->y >= new_top; ++it) {
    lost = lost + (it->x - from) * (height - new_top);
    from = it->x;
    height = it->y;
  }
  const double to = it != inner.end() ? it->x : right;
  lost = lost + (to - from) * (height - new_top);
  inner.erase(inner.begin(), it);
  return lost;
}

}  // namespace corvalinth
