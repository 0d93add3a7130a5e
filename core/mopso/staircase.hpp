// The region that a growing set of points of the plane dominates (minimisation), bounded above by
// a corner (right, top): the union of the rectangles [x, right) x [y, top). It is kept as its
// staircase, the points by ascending x with strictly descending y, so that adding a point costs a
// search plus the steps it removes. The store is a sorted vector (cheap for the short staircases
// inside one point's box) or a balanced tree (logarithmic for whole fronts).
#pragma once

#include <algorithm>
#include <iterator>
#include <memory_resource>
#include <set>
#include <utility>
#include <vector>

namespace corvalinth {

struct Step {
  double x;
  double y;
};

struct StepByX {
  bool operator()(const Step& a, const Step& b) const { return a.x < b.x; }
};

using StepTree = std::pmr::set<Step, StepByX>;
using StepVector = std::vector<Step>;

inline StepTree::iterator first_step_from(StepTree& steps, double x) {
  return steps.lower_bound(Step{x, 0.0});
}
inline StepVector::iterator first_step_from(StepVector& steps, double x) {
  return std::lower_bound(steps.begin(), steps.end(), Step{x, 0.0}, StepByX{});
}
inline void place_step(StepTree& steps, StepTree::iterator at, Step step) {
  steps.emplace_hint(at, step);
}
inline void place_step(StepVector& steps, StepVector::iterator at, Step step) {
  steps.insert(at, step);
}

// Adds (x, y), below the corner (right, top), to the staircase `steps` and returns the area it
// newly covers (0.0 when a step already covers it). The area is summed over the vertical strips
// between the steps it hides, left to right, each one width times height.
template <typename Store>
double cover(Store& steps, double right, double top, double x, double y) {
  auto first = first_step_from(steps, x);
  double height = top;
  if (first != steps.begin()) {
    const Step& left = *std::prev(first);
    if (left.y <= y) return 0.0;
    height = left.y;
  }
  if (first != steps.end() && first->x == x && first->y <= y) return 0.0;
  double added = 0.0;
  double from = x;
  auto last = first;
  for (; last != steps.end() && last->y >= y; ++last) {
    added = added + (last->x - from) * (height - y);
    from = last->x;
    height = last->y;
  }
  const double to = last != steps.end() ? last->x : right;
  added = added + (to - from) * (height - y);
  place_step(steps, steps.erase(first, last), Step{x, y});
  return added;
}

template <typename Store>
class Staircase {
 public:
  Staircase(double right, double top, Store steps)
      : right_(right), top_(top), steps_(std::move(steps)) {}

  // Adds (x, y), both below the corner, and returns the area it newly covers.
  double insert(double x, double y) { return cover(steps_, right_, top_, x, y); }

  // Adds (x, y) with x at or right of every step, in constant time (sorted store only).
  double extend(double x, double y) {
    const double height = steps_.empty() ? top_ : steps_.back().y;
    if (height <= y) return 0.0;
    if (!steps_.empty() && steps_.back().x == x) steps_.pop_back();
    steps_.push_back(Step{x, y});
    return (right_ - x) * (height - y);
  }

  // Empties the staircase and sets a new corner; the store keeps its memory.
  void reset(double right, double top) {
    right_ = right;
    top_ = top;
    steps_.clear();
  }

 private:
  double right_;
  double top_;
  Store steps_;
};

}  // namespace corvalinth
