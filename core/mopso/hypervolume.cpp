#include "core/mopso/hypervolume.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "core/failure.hpp"
#include "core/mopso/staircase.hpp"

namespace corvalinth {
namespace {

// The points that pass the filter, row after row, with their positions in the input.
struct Inside {
  std::size_t m = 0;
  std::vector<double> values;
  std::vector<std::size_t> positions;

  std::size_t count() const { return positions.size(); }
  const double* row(std::size_t i) const { return values.data() + i * m; }
};

bool strictly_inside(ObjectiveView point, ObjectiveView reference) {
  if (point.size() != reference.size()) return false;
  for (std::size_t k = 0; k < point.size(); ++k) {
    if (!(reference[k] > point[k])) return false;  // also false for NaN on either side
  }
  return true;
}

Inside points_inside(std::span<const ObjectiveView> front, ObjectiveView reference) {
  Inside inside;
  inside.m = reference.size();
  for (std::size_t i = 0; i < front.size(); ++i) {
    if (!strictly_inside(front[i], reference)) continue;
    inside.values.insert(inside.values.end(), front[i].begin(), front[i].end());
    inside.positions.push_back(i);
  }
  return inside;
}

bool unbounded(ObjectiveView reference) {
  return std::any_of(reference.begin(), reference.end(), [](double r) { return std::isinf(r); });
}

// Reads the caller's stop flag; the long loops call it once per outer step.
class StopCheck {
 public:
  explicit StopCheck(const std::atomic<bool>* stop) : stop_(stop) {}
  void operator()() const {
    if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) throw HypervolumeCancelled();
  }

 private:
  const std::atomic<bool>* stop_;
};

// Volume of the box between p and the reference in the first d objectives, multiplied in index
// order from 1.0.
double box(const double* p, const double* reference, std::size_t d) {
  double product = 1.0;
  for (std::size_t k = 0; k < d; ++k) product = product * (reference[k] - p[k]);
  return product;
}

// A width times a height, where an empty side gives 0.0 even against an infinite one.
double rectangle(double width, double height) {
  return width > 0.0 && height > 0.0 ? width * height : 0.0;
}

// Copies of the rows with their columns in the order `columns`, sorted lexicographically (the
// first listed column leads). Equal keys are equal rows, so the order depends only on the values.
template <std::size_t D>
void sort_copies(const double* rows, std::size_t n, std::size_t m,
                 const std::array<std::size_t, D>& columns, std::vector<std::array<double, D>>& out) {
  out.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < D; ++k) out[i][k] = rows[i * m + columns[k]];
  }
  std::sort(out.begin(), out.end());
}

template <std::size_t D>
std::vector<std::array<double, D>> sorted_copies(const double* rows, std::size_t n, std::size_t m,
                                                 const std::array<std::size_t, D>& columns) {
  std::vector<std::array<double, D>> out;
  sort_copies(rows, n, m, columns, out);
  return out;
}

constexpr std::size_t kRowsPerStopCheck = 1 << 14;

// m = 2: by ascending first objective, each point that lowers the best second objective so far
// adds the horizontal strip between the two levels.
double volume2(const double* rows, std::size_t n, std::size_t m, const double* reference,
               StopCheck stop) {
  const auto points = sorted_copies<2>(rows, n, m, {0, 1});
  double total = 0.0;
  double level = reference[1];
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kRowsPerStopCheck == 0) stop();
    const auto& [x, y] = points[i];
    if (!(y < level)) continue;
    total = total + (reference[0] - x) * (level - y);
    level = y;
  }
  return total;
}

// m = 3: by ascending third objective, the covered area of the first two grows point by point
// on a balanced staircase; each slab between two levels adds area times thickness.
double volume3(const double* rows, std::size_t n, std::size_t m, const double* reference,
               StopCheck stop) {
  const auto points = sorted_copies<3>(rows, n, m, {2, 0, 1});
  std::pmr::monotonic_buffer_resource nodes;
  Staircase<StepTree> stairs(reference[0], reference[1], StepTree(&nodes));
  double total = 0.0;
  double area = 0.0;
  double level = points[0][0];
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kRowsPerStopCheck == 0) stop();
    const auto& [z, x, y] = points[i];
    total = total + area * (z - level);
    level = z;
    area = area + stairs.insert(x, y);
  }
  return total + area * (reference[2] - level);
}

// Three-dimensional points kept in two sorted orders: by level, as (third, first, second)
// objective, and from left to right, as (first, second, third).
using Triple = std::array<double, 3>;

struct ThreeObjectivePoints {
  std::vector<Triple> by_level;
  std::vector<Triple> by_x;

  void add(double x, double y, double z) {
    const Triple level{z, x, y};
    const Triple left{x, y, z};
    by_level.insert(std::upper_bound(by_level.begin(), by_level.end(), level), level);
    by_x.insert(std::upper_bound(by_x.begin(), by_x.end(), left), left);
  }

  // Drops the points that (x, y, z) weakly dominates.
  void clear() {
    by_level.clear();
    by_x.clear();
  }

  void drop_covered_by(double x, double y, double z) {
    std::erase_if(by_level, [&](const Triple& q) { return z <= q[0] && x <= q[1] && y <= q[2]; });
    std::erase_if(by_x, [&](const Triple& q) { return x <= q[0] && y <= q[1] && z <= q[2]; });
  }
};

// The volume that (x, y, z) dominates in three objectives and no point of `others` does. The
// points at or below its level
// shape its rectangle from the start: taken left to right, each step of that staircase is
// appended in constant time. The points above then shrink the rectangle level by level. The
// uncovered area is tracked directly, so an exactly covered rectangle ends the sweep.
double exclusive3(double px, double py, double pz, const ThreeObjectivePoints& others,
                  const double* reference, Staircase<StepVector>& stairs) {
  stairs.reset(reference[0], reference[1]);
  double open = (reference[0] - px) * (reference[1] - py);
  // Points left of p clip onto its left edge; only the lowest of them matters.
  double edge = std::numeric_limits<double>::infinity();
  bool edge_placed = false;
  for (const auto& [qx, qy, qz] : others.by_x) {
    if (qz > pz) continue;
    if (qx <= px) {
      if (qy <= py) return 0.0;
      edge = std::min(edge, qy);
      continue;
    }
    if (!edge_placed) {
      edge_placed = true;
      if (edge < reference[1]) open = open - stairs.extend(px, edge);
    }
    open = open - stairs.extend(qx, std::max(py, qy));
  }
  if (!edge_placed && edge < reference[1]) open = open - stairs.extend(px, edge);

  double volume = 0.0;
  double level = pz;
  const auto above = std::upper_bound(
      others.by_level.begin(), others.by_level.end(), pz,
      [](double z, const Triple& q) { return z < q[0]; });
  for (auto q = above; q != others.by_level.end(); ++q) {
    const auto& [qz, qx, qy] = *q;
    volume = volume + open * (qz - level);
    level = qz;
    if (qx <= px && qy <= py) return volume;
    open = open - stairs.insert(std::max(px, qx), std::max(py, qy));
  }
  return volume + open * (reference[2] - level);
}

// m = 4: by ascending fourth objective, each point's three-objective contribution against the
// points before it lasts from its level to the reference. Only the three-objective front of the
// points so far is kept for the later sweeps: a point that adds nothing is covered for good, and
// one that a newcomer dominates in the first three objectives no longer matters.
// The buffers are kept from one call to the next: the recursion for m >= 5 calls it once per
// limit set.
class FourObjectiveSweep {
 public:
  double volume(const double* rows, std::size_t n, std::size_t m, const double* reference,
                StopCheck stop) {
    sort_copies<4>(rows, n, m, {3, 2, 0, 1}, points_);
    seen_.clear();
    double total = 0.0;
    for (const auto& [w, z, x, y] : points_) {
      stop();
      const double contribution = exclusive3(x, y, z, seen_, reference, stairs_);
      if (!(contribution > 0.0)) continue;
      total = total + contribution * (reference[3] - w);
      seen_.drop_covered_by(x, y, z);
      seen_.add(x, y, z);
    }
    return total;
  }

 private:
  std::vector<std::array<double, 4>> points_;
  ThreeObjectivePoints seen_;
  Staircase<StepVector> stairs_{0.0, 0.0, StepVector{}};
};

// The rows (width d) that no other row weakly dominates, one of each group of equal rows,
// written to `out` in lexicographic order; returns how many. `order` is scratch space.
std::size_t nondominated(const std::vector<double>& rows, std::size_t n, std::size_t d,
                         std::vector<double>& out, std::vector<std::size_t>& order) {
  order.resize(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const double* p = rows.data() + a * d;
    const double* q = rows.data() + b * d;
    if (p[0] != q[0]) return p[0] < q[0];
    return std::lexicographical_compare(p + 1, p + d, q + 1, q + d);
  });
  // A row can only be weakly dominated by one at or before it in this (lexicographic) order.
  out.clear();
  std::size_t kept = 0;
  for (const std::size_t i : order) {
    const double* q = rows.data() + i * d;
    bool covered = false;
    for (std::size_t j = 0; j < kept && !covered; ++j) {
      const double* k = out.data() + j * d;
      std::size_t c = 0;
      while (c < d && k[c] <= q[c]) ++c;
      covered = c == d;
    }
    if (covered) continue;
    out.insert(out.end(), q, q + d);
    ++kept;
  }
  return kept;
}

// m >= 5: the exclusive-volume recursion. Points sorted by descending last objective clip every
// later point to their own last value, so each limit set lies in one slice and its volume is the
// slice's thickness times a volume with one objective less, down to the m = 4 sweep. Each depth
// keeps its own buffers, sized up front, and the depth is m - 4 whatever the number of points.
class SlicedRecursion {
 public:
  SlicedRecursion(const double* reference, std::size_t m, StopCheck stop)
      : reference_(reference), stop_(stop), sorted_(m + 1), limit_(m + 1), kept_(m + 1),
        order_(m + 1) {}

  // Volume of the n rows of width d in `rows` (d >= 4).
  double volume(const std::vector<double>& rows, std::size_t n, std::size_t d) {
    if (d == 4) return sweep_.volume(rows.data(), n, 4, reference_, stop_);
    std::vector<double>& sorted = sorted_[d];
    std::vector<std::size_t>& order = order_[d];
    order.resize(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const double* p = rows.data() + a * d;
      const double* q = rows.data() + b * d;
      if (p[d - 1] != q[d - 1]) return p[d - 1] > q[d - 1];
      return std::lexicographical_compare(p, p + d - 1, q, q + d - 1);
    });
    sorted.clear();
    for (const std::size_t i : order) sorted.insert(sorted.end(), &rows[i * d], &rows[i * d] + d);

    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      if (d == reference_size()) stop_();
      const double* p = sorted.data() + i * d;
      const double sliced = slice_exclusive(p, sorted.data() + (i + 1) * d, n - i - 1, d);
      total = total + (reference_[d - 1] - p[d - 1]) * sliced;
    }
    return total;
  }

  // The volume that p dominates and none of the `count` rows at `later` do, in the first d - 1
  // objectives; those rows are no worse than p in objective d - 1.
  double slice_exclusive(const double* p, const double* later, std::size_t count, std::size_t d) {
    const std::size_t w = d - 1;
    std::vector<double>& limit = limit_[d];
    limit.clear();
    for (std::size_t j = 0; j < count; ++j) {
      const double* q = later + j * d;
      bool covers = true;
      for (std::size_t k = 0; k < w; ++k) {
        limit.push_back(std::max(p[k], q[k]));
        covers = covers && q[k] <= p[k];
      }
      if (covers) return 0.0;
    }
    if (count == 0) return box(p, reference_, w);
    // The four-objective sweep passes over covered points by itself, cheaper than filtering.
    if (w == 4) return box(p, reference_, w) - sweep_.volume(limit.data(), count, 4, reference_, stop_);
    const std::size_t kept = nondominated(limit, count, w, kept_[d], order_[d]);
    const double covered = volume(kept_[d], kept, w);
    return box(p, reference_, w) - covered;
  }

 private:
  std::size_t reference_size() const { return sorted_.size() - 1; }

  const double* reference_;
  StopCheck stop_;
  FourObjectiveSweep sweep_;
  std::vector<std::vector<double>> sorted_;
  std::vector<std::vector<double>> limit_;
  std::vector<std::vector<double>> kept_;
  std::vector<std::vector<std::size_t>> order_;
};

// Volume of n >= 1 points of width m, all strictly inside a finite reference.
double volume(const Inside& inside, const double* reference, StopCheck stop) {
  const std::size_t n = inside.count();
  const std::size_t m = inside.m;
  const double* rows = inside.values.data();
  switch (m) {
    case 0:
      return 1.0;  // the empty product: the one point is the whole space
    case 1: {
      double lowest = rows[0];
      for (std::size_t i = 1; i < n; ++i) lowest = std::min(lowest, rows[i]);
      return reference[0] - lowest;
    }
    case 2:
      return volume2(rows, n, m, reference, stop);
    case 3:
      return volume3(rows, n, m, reference, stop);
    case 4:
      return FourObjectiveSweep().volume(rows, n, m, reference, stop);
    default:
      return SlicedRecursion(reference, m, stop).volume(inside.values, n, m);
  }
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
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const double* p = inside.row(a);
    const double* q = inside.row(b);
    return p[0] != q[0] ? p[0] < q[0] : p[1] < q[1];
  });
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
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const double* p = inside_.row(a);
      const double* q = inside_.row(b);
      return Triple{p[2], p[0], p[1]} < Triple{q[2], q[0], q[1]};
    });
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
    double open = 0.0;
    double from = x;
    double height = top;
    for (const Step& step : mine) {
      open = open + (step.x - from) * (height - y);
      from = step.x;
      height = step.y;
    }
    open_[id] = open + (right - from) * (height - y);
    since_[id] = z;
    const auto placed = stairs_.emplace_hint(stairs_.erase(first, last), Owner{x, y, id});
    if (placed != stairs_.begin()) cut_right(std::prev(placed), x, left_end, z);
    const auto next = std::next(placed);
    if (next != stairs_.end()) cut_top(next, y, right_top, z);
  }

  // The owner's rectangle now ends at x instead of `old_end`: it loses the open strips between.
  void cut_right(Owners::iterator owner, double x, double old_end, double z) {
    settle(owner->id, z);
    StepTree& steps = inner_[owner->id];
    auto it = first_step_from(steps, x);
    double height = it != steps.begin() ? std::prev(it)->y : top_of(owner);
    double from = x;
    double lost = 0.0;
    const auto cut = it;
    for (; it != steps.end(); ++it) {
      lost = lost + (it->x - from) * (height - owner->y);
      from = it->x;
      height = it->y;
    }
    lost = lost + (old_end - from) * (height - owner->y);
    steps.erase(cut, steps.end());
    open_[owner->id] -= lost;
  }

  // The owner's rectangle now ends at height y instead of `old_top`: it loses the open band.
  void cut_top(Owners::iterator owner, double y, double old_top, double z) {
    settle(owner->id, z);
    StepTree& steps = inner_[owner->id];
    double height = old_top;
    double from = owner->x;
    double lost = 0.0;
    auto it = steps.begin();
    for (; it != steps.end() && it->y >= y; ++it) {
      lost = lost + (it->x - from) * (height - y);
      from = it->x;
      height = it->y;
    }
    const double to = it != steps.end() ? it->x : right_of(owner);
    lost = lost + (to - from) * (height - y);
    steps.erase(steps.begin(), it);
    open_[owner->id] -= lost;
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
                                            const std::atomic<bool>* stop) {
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
    for (std::size_t i = 0; i < n; ++i) rows[i] = ObjectiveView(dropped.data() + i * (m - 1), m - 1);
    dropped_reference.assign(reference.begin(), reference.end());
    dropped_reference.erase(dropped_reference.begin() + static_cast<std::ptrdiff_t>(k));
    const std::vector<double> reach = hypervolume_contributions(rows, dropped_reference, stop);
    for (std::size_t i = 0; i < n; ++i) {
      if (reach[i] > 0.0) out[i] = std::numeric_limits<double>::infinity();
    }
  }
  return out;
}

}  // namespace

double hypervolume(std::span<const ObjectiveView> front, ObjectiveView reference,
                   const std::atomic<bool>* stop) {
  const Inside inside = points_inside(front, reference);
  if (inside.count() == 0) return -0.0;
  // Every remaining point then dominates a box of infinite volume.
  if (unbounded(reference)) return std::numeric_limits<double>::infinity();
  return volume(inside, reference.data(), StopCheck(stop));
}

double hypervolume(const std::vector<std::vector<double>>& front, ObjectiveView reference) {
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  return hypervolume(std::span<const ObjectiveView>(views), reference);
}

std::vector<double> hypervolume_contributions(std::span<const ObjectiveView> front,
                                              ObjectiveView reference,
                                              const std::atomic<bool>* stop) {
  std::vector<double> out(front.size(), 0.0);
  const Inside inside = points_inside(front, reference);
  const std::size_t n = inside.count();
  const std::size_t m = inside.m;
  const double* r = reference.data();
  const StopCheck check(stop);
  if (n == 0) return out;
  if (m == 0) {
    if (n == 1) out[inside.positions[0]] = 1.0;
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
  Inside kept;
  kept.m = m;
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
    const std::size_t rows = nondominated(limit, n - 1, m, kept.values, scratch);
    kept.positions.resize(rows);
    const double shadow = rows == 0 ? 0.0 : volume(kept, r, check);
    out[inside.positions[i]] = box(p, r, m) - shadow;
  }
  return out;
}

std::vector<double> default_reference(std::span<const ObjectiveView> front) {
  if (front.empty()) return {};
  const std::size_t m = front[0].size();
  for (std::size_t j = 1; j < front.size(); ++j) {
    if (front[j].size() < m) {
      fail("default reference: point " + std::to_string(j) + " has " +
           std::to_string(front[j].size()) + " objective values, fewer than the first point's " +
           std::to_string(m));
    }
  }
  std::vector<double> reference(m);
  for (std::size_t k = 0; k < m; ++k) {
    double hi = -std::numeric_limits<double>::infinity();
    double lo = std::numeric_limits<double>::infinity();
    for (const ObjectiveView point : front) {
      const double v = point[k];
      if (v > hi) hi = v;  // NaN passes neither test
      if (v < lo) lo = v;
    }
    const double spread = hi - lo;
    reference[k] = spread > 0.0 ? hi + spread * 0.1 : hi + 1.0;
  }
  return reference;
}

std::vector<double> default_reference(const std::vector<std::vector<double>>& front) {
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  return default_reference(std::span<const ObjectiveView>(views));
}

}  // namespace corvalinth
