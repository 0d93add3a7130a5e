#include "core/mopso/hypervolume.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <memory_resource>
#include <numeric>
#include <set>

#include "core/mopso/hypervolume_parts.hpp"
#include "core/mopso/owner_area.hpp"
#include "core/mopso/staircase.hpp"

namespace corvalinth {
namespace {

using namespace hypervolume_parts;

// A width times a height, where an empty side gives 0.0 even against an infinite one.
double rectangle(double width, double height) {
  return width > 0.0 && height > 0.0 ? width * height : 0.0;
}

// m = 2 contributions. The staircase points (by ascending first objective, each lowering the
// best second objective) own the rectangles between their neighbours; what the dominated points
// sorted between two staircase points leave uncovered of that rectangle is the contribution.
// Summed as strips under the inner staircase, so no large area is subtracted.
void contributions2(const Inside& inside, const double* reference, std::vector<double>& out,
                    StopCheck stop) {
  const std::size_t n = inside.count();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto by_first = [&](std::size_t a, std::size_t b) {
    const double* p = inside.row(a);
    const double* q = inside.row(b);
    return p[0] != q[0] ? p[0] < q[0] : p[1] < q[1];
  };
  sort_checking(order.begin(), order.end(), by_first, stop);
  double above = reference[1];  // the second objective of the previous staircase point
  std::size_t i = 0;
  while (i < n) {
    if (i % kRowsPerStopCheck == 0) stop();
    const double* s = inside.row(order[i]);
    std::size_t next = i + 1;
    while (next < n && !(inside.row(order[next])[1] < s[1])) ++next;
    const double right = next < n ? inside.row(order[next])[0] : reference[0];
    double uncovered = 0.0;
    double from = s[0];
    double height = above;
    for (std::size_t j = i + 1; j < next; ++j) {
      const double* q = inside.row(order[j]);
      if (!(q[1] < height)) continue;
      uncovered = uncovered + rectangle(q[0] - from, height - s[1]);
      from = q[0];
      height = q[1];
    }
    uncovered = uncovered + rectangle(right - from, height - s[1]);
    out[inside.positions[order[i]]] = uncovered;
    above = s[1];
    i = next;
  }
}

// m = 3 contributions in one sweep by the third objective, O(n log n). The slice's staircase
// holds the points that no other point of the slice dominates in the first two objectives; each
// owns the rectangle between its neighbours, less what the points that only it dominates cover
// (its inner staircase). That open area, times the thickness over which it holds, is added to the
// owner's contribution whenever it changes. A point that two slice points dominate stays so for
// good and is forgotten, so every point enters an inner staircase at most once.
class ContributionSweep3 {
 public:
  ContributionSweep3(const Inside& inside, const double* reference)
      : inside_(inside), reference_(reference), open_(inside.count(), 0.0),
        since_(inside.count(), 0.0), sum_(inside.count(), 0.0) {
    inner_.reserve(inside.count());
    for (std::size_t i = 0; i < inside.count(); ++i) inner_.emplace_back(&nodes_);
  }

  // The contribution of every kept point, by kept index.
  std::vector<double> run(StopCheck stop) {
    const std::size_t n = inside_.count();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto by_level = [&](std::size_t a, std::size_t b) {
      const double* p = inside_.row(a);
      const double* q = inside_.row(b);
      return Triple{p[2], p[0], p[1]} < Triple{q[2], q[0], q[1]};
    };
    sort_checking(order.begin(), order.end(), by_level, stop);
    for (std::size_t k = 0; k < n; ++k) {
      if (k % kRowsPerStopCheck == 0) stop();
      arrive(order[k]);
    }
    for (const Owner& owner : stairs_) settle(owner.id, reference_[2]);
    return sum_;
  }

 private:
  struct Owner {
    double x;
    double y;
    std::size_t id;
  };
  struct OwnerByX {
    bool operator()(const Owner& a, const Owner& b) const { return a.x < b.x; }
  };
  using Owners = std::pmr::set<Owner, OwnerByX>;

  void settle(std::size_t id, double level) {
    sum_[id] = sum_[id] + open_[id] * (level - since_[id]);
    since_[id] = level;
  }
  double right_of(Owners::iterator owner) {
    const auto next = std::next(owner);
    return next != stairs_.end() ? next->x : reference_[0];
  }
  double top_of(Owners::iterator owner) {
    return owner != stairs_.begin() ? std::prev(owner)->y : reference_[1];
  }

  void arrive(std::size_t id) {
    const double x = inside_.row(id)[0];
    const double y = inside_.row(id)[1];
    const double z = inside_.row(id)[2];
    auto first = stairs_.lower_bound(Owner{x, 0.0, 0});
    const auto after = (first != stairs_.end() && first->x == x) ? std::next(first) : first;
    if (after != stairs_.begin()) {
      const auto owner = std::prev(after);
      if (owner->y <= y) {  // dominated in the first two objectives
        const bool alone = owner == stairs_.begin() || std::prev(owner)->y > y;
        if (!alone) return;
        settle(owner->id, z);
        const double covered = cover(inner_[owner->id], right_of(owner), top_of(owner), x, y);
        // A repeated point covers the whole rectangle: exactly nothing stays open.
        open_[owner->id] = owner->x == x && owner->y == y ? 0.0 : open_[owner->id] - covered;
        return;
      }
    }
    // p joins the staircase; the points it dominates become its inner staircase.
    auto last = first;
    while (last != stairs_.end() && last->y >= y) ++last;
    const double right = last != stairs_.end() ? last->x : reference_[0];
    const double top = first != stairs_.begin() ? std::prev(first)->y : reference_[1];
    const double left_end = first != last ? first->x : right;   // the left neighbour's old end
    const double right_top = first != last ? std::prev(last)->y : top;  // the right one's old top
    StepTree& mine = inner_[id];
    for (auto it = first; it != last; ++it) {
      settle(it->id, z);
      open_[it->id] = 0.0;
      mine.emplace_hint(mine.end(), Step{it->x, it->y});
    }
    open_[id] = open_area(mine, x, y, right, top);
    since_[id] = z;
    const auto placed = stairs_.emplace_hint(stairs_.erase(first, last), Owner{x, y, id});
    if (placed != stairs_.begin()) cut_right(std::prev(placed), x, left_end, z);
    const auto next = std::next(placed);
    if (next != stairs_.end()) cut_top(next, y, right_top, z);
  }

  // The owner's rectangle now ends at x instead of `old_end`: it loses the open strips between.
  void cut_right(Owners::iterator owner, double x, double old_end, double z) {
    settle(owner->id, z);
    open_[owner->id] -= cut_right_side(inner_[owner->id], owner->y, top_of(owner), x, old_end);
  }

  // The owner's rectangle now ends at height y instead of `old_top`: it loses the open band.
  void cut_top(Owners::iterator owner, double y, double old_top, double z) {
    settle(owner->id, z);
    open_[owner->id] -= cut_top_side(inner_[owner->id], owner->x, right_of(owner), y, old_top);
  }

  const Inside& inside_;
  const double* reference_;
  std::pmr::monotonic_buffer_resource nodes_;
  Owners stairs_{&nodes_};
  std::vector<StepTree> inner_;
  std::vector<double> open_;
  std::vector<double> since_;
  std::vector<double> sum_;
};

// Contributions of the n >= 1 points of `inside` against a reference with infinite components,
// by kept index. A point's exclusive region reaches infinitely far along such an objective
// exactly when the point still contributes once that objective is dropped; every other exclusive
// region ends at the front's largest value in that objective, which then stands in for the
// reference there.
std::vector<double> unbounded_contributions(const Inside& inside, ObjectiveView reference,
                                            StopToken* stop) {
  const std::size_t n = inside.count();
  const std::size_t m = inside.m;
  std::vector<ObjectiveView> rows(n);
  for (std::size_t i = 0; i < n; ++i) rows[i] = ObjectiveView(inside.row(i), m);
  std::vector<double> bounded(reference.begin(), reference.end());
  for (std::size_t k = 0; k < m; ++k) {
    if (!std::isinf(reference[k])) continue;
    bounded[k] = inside.row(0)[k];
    for (std::size_t i = 1; i < n; ++i) bounded[k] = std::max(bounded[k], inside.row(i)[k]);
  }
  std::vector<double> out = hypervolume_contributions(rows, bounded, stop);
  std::vector<double> dropped;
  std::vector<double> dropped_reference;
  for (std::size_t k = 0; k < m; ++k) {
    if (!std::isinf(reference[k])) continue;
    dropped.clear();
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t c = 0; c < m; ++c) {
        if (c != k) dropped.push_back(inside.row(i)[c]);
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      rows[i] = ObjectiveView(dropped.data() + i * (m - 1), m - 1);
    }
    dropped_reference.assign(reference.begin(), reference.end());
    dropped_reference.erase(dropped_reference.begin() + static_cast<std::ptrdiff_t>(k));
    const std::vector<double> reach = hypervolume_contributions(rows, dropped_reference, stop);
    for (std::size_t i = 0; i < n; ++i) {
      if (reach[i] > 0.0) out[i] = std::numeric_limits<double>::infinity();
    }
  }
  return out;
}

// Contributions of the n >= 1 points of `inside` when some objective values are -inf, by kept
// index. Near its corner, a point's exclusive region is open unless another point weakly
// dominates it; a point at -inf in an objective then owns a box of positive area times an
// infinite length, +inf. The region of a point without -inf lies at or above its own values, where
// a value at -inf covers exactly what the smallest finite value of its objective covers, which
// then stands in for it.
std::vector<double> minus_infinity_contributions(const Inside& inside, ObjectiveView reference,
                                                 StopToken* stop) {
  const std::size_t n = inside.count();
  const std::size_t m = inside.m;
  const StopCheck check(stop);
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  std::vector<double> lowest_finite(m, kInfinity);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < m; ++k) {
      const double v = inside.row(i)[k];
      if (v != -kInfinity) lowest_finite[k] = std::min(lowest_finite[k], v);
    }
  }
  // An objective without a finite value leaves no point without -inf: nothing to stand in for.
  std::vector<double> out(n, 0.0);
  if (std::find(lowest_finite.begin(), lowest_finite.end(), kInfinity) == lowest_finite.end()) {
    std::vector<double> stood_in(inside.values);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t k = 0; k < m; ++k) {
        double& v = stood_in[i * m + k];
        if (v == -kInfinity) v = lowest_finite[k];
      }
    }
    std::vector<ObjectiveView> rows(n);
    for (std::size_t i = 0; i < n; ++i) rows[i] = ObjectiveView(stood_in.data() + i * m, m);
    out = hypervolume_contributions(rows, reference, stop);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double* p = inside.row(i);
    if (std::find(p, p + m, -kInfinity) == p + m) continue;
    check();
    bool covered = false;
    for (std::size_t j = 0; j < n && !covered; ++j) {
      const double* q = inside.row(j);
      covered = j != i && std::equal(q, q + m, p, [](double a, double b) { return a <= b; });
    }
    out[i] = covered ? 0.0 : kInfinity;
  }
  return out;
}

}  // namespace

std::vector<double> hypervolume_contributions(std::span<const ObjectiveView> front,
                                              ObjectiveView reference,
                                              StopToken* stop) {
  std::vector<double> out(front.size(), 0.0);
  const StopCheck check(stop);
  const Inside inside = points_inside(front, reference, check);
  const std::size_t n = inside.count();
  const std::size_t m = inside.m;
  const double* r = reference.data();
  if (n == 0) return out;
  if (m == 0) {
    if (n == 1) out[inside.positions[0]] = 1.0;
    return out;
  }
  if (reaches_minus_infinity(inside)) {
    const std::vector<double> by_kept = minus_infinity_contributions(inside, reference, stop);
    for (std::size_t i = 0; i < n; ++i) out[inside.positions[i]] = by_kept[i];
    return out;
  }
  if (m >= 3 && unbounded(reference)) {
    const std::vector<double> by_kept = unbounded_contributions(inside, reference, stop);
    for (std::size_t i = 0; i < n; ++i) out[inside.positions[i]] = by_kept[i];
    return out;
  }
  if (m == 1) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < n; ++i) {
      if (inside.row(i)[0] < inside.row(best)[0]) best = i;
    }
    double runner_up = r[0];
    for (std::size_t i = 0; i < n; ++i) {
      if (i != best) runner_up = std::min(runner_up, inside.row(i)[0]);
    }
    out[inside.positions[best]] = runner_up - inside.row(best)[0];
    return out;
  }
  if (m == 2) {
    contributions2(inside, r, out, check);
    return out;
  }
  if (m == 3) {
    const std::vector<double> by_kept = ContributionSweep3(inside, r).run(check);
    for (std::size_t i = 0; i < n; ++i) out[inside.positions[i]] = by_kept[i];
    return out;
  }
  // m >= 4: the box of each point less the volume of its limit set against all the others.
  std::vector<double> limit;
  std::vector<double> kept;
  std::vector<std::size_t> scratch;
  for (std::size_t i = 0; i < n; ++i) {
    check();
    const double* p = inside.row(i);
    limit.clear();
    bool covered = false;
    for (std::size_t j = 0; j < n && !covered; ++j) {
      if (j == i) continue;
      const double* q = inside.row(j);
      covered = std::equal(q, q + m, p, [](double a, double b) { return a <= b; });
      for (std::size_t k = 0; k < m; ++k) limit.push_back(std::max(p[k], q[k]));
    }
    if (covered) continue;
    const std::size_t rows = nondominated(limit, n - 1, m, kept, scratch);
    const double shadow = rows == 0 ? 0.0 : volume(kept, rows, m, r, check);
    out[inside.positions[i]] = box(p, r, m) - shadow;
  }
  return out;
}

}  // namespace corvalinth
