#include "core/mopso/hypervolume.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "core/failure.hpp"
#include "core/mopso/hypervolume_parts.hpp"
#include "core/mopso/staircase.hpp"

namespace corvalinth {
namespace {

using namespace hypervolume_parts;

bool strictly_inside(ObjectiveView point, ObjectiveView reference) {
  if (point.size() != reference.size()) return false;
  for (std::size_t k = 0; k < point.size(); ++k) {
    if (!(reference[k] > point[k])) return false;  // also false for NaN on either side
  }
  return true;
}

// Copies of the rows with their columns in the order `columns`, sorted lexicographically (the
// first listed column leads). Equal keys are equal rows, so the order depends only on the values.
template <std::size_t D>
void sort_copies(const double* rows, std::size_t n, std::size_t m,
                 const std::array<std::size_t, D>& columns, std::vector<std::array<double, D>>& out,
                 StopCheck stop) {
  out.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (i % kRowsPerStopCheck == 0) stop();
    for (std::size_t k = 0; k < D; ++k) out[i][k] = rows[i * m + columns[k]];
  }
  sort_checking(out.begin(), out.end(), std::less<>(), stop);
}

template <std::size_t D>
std::vector<std::array<double, D>> sorted_copies(const double* rows, std::size_t n, std::size_t m,
                                                 const std::array<std::size_t, D>& columns,
                                                 StopCheck stop) {
  std::vector<std::array<double, D>> out;
  sort_copies(rows, n, m, columns, out, stop);
  return out;
}

// m = 2: by ascending first objective, each point that lowers the best second objective so far
// adds the horizontal strip between the two levels.
double volume2(const double* rows, std::size_t n, std::size_t m, const double* reference,
               StopCheck stop) {
  const auto points = sorted_copies<2>(rows, n, m, {0, 1}, stop);
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
  const auto points = sorted_copies<3>(rows, n, m, {2, 0, 1}, stop);
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
struct ThreeObjectivePoints {
  std::vector<Triple> by_level;
  std::vector<Triple> by_x;

  void add(double x, double y, double z) {
    const Triple level{z, x, y};
    const Triple left{x, y, z};
    by_level.insert(std::upper_bound(by_level.begin(), by_level.end(), level), level);
    by_x.insert(std::upper_bound(by_x.begin(), by_x.end(), left), left);
  }

  void clear() {
    by_level.clear();
    by_x.clear();
  }

  // Drops the points that (x, y, z) weakly dominates.
  void drop_covered_by(double x, double y, double z) {
    std::erase_if(by_level, [&](const Triple& q) { return z <= q[0] && x <= q[1] && y <= q[2]; });
    std::erase_if(by_x, [&](const Triple& q) { return x <= q[0] && y <= q[1] && z <= q[2]; });
  }
};

// The volume that (x, y, z) dominates in three objectives and no point of `others` does. The
// points at or below its level shape its rectangle from the start: taken left to right, each
// step of that staircase is appended in constant time. The points above then shrink the
// rectangle level by level. The uncovered area is tracked directly, so an exactly covered
// rectangle ends the sweep.
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
  // Points as (fourth, third, first, second) objective.
  using Points = std::vector<std::array<double, 4>>;

  double volume(const double* rows, std::size_t n, std::size_t m, const double* reference,
                StopCheck stop) {
    sort_copies<4>(rows, n, m, {3, 2, 0, 1}, points_, stop);
    return sweep(points_, reference, stop);
  }

  // The volume of points already in ascending fourth objective (in any order among equals).
  double sweep(const Points& points, const double* reference, StopCheck stop) {
    seen_.clear();
    double total = 0.0;
    for (const auto& [w, z, x, y] : points) {
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
  Points points_;
  ThreeObjectivePoints seen_;
  Staircase<StepVector> stairs_{0.0, 0.0, StepVector{}};
};

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
    const auto descending_last = [&](std::size_t a, std::size_t b) {
      const double* p = rows.data() + a * d;
      const double* q = rows.data() + b * d;
      if (p[d - 1] != q[d - 1]) return p[d - 1] > q[d - 1];
      return std::lexicographical_compare(p, p + d - 1, q, q + d - 1);
    };
    sort_checking(order.begin(), order.end(), descending_last, stop_);
    sorted.clear();
    for (const std::size_t i : order) sorted.insert(sorted.end(), &rows[i * d], &rows[i * d] + d);

    if (d == 5) order_by_fourth(sorted, n);
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      if (d == reference_size()) stop_();
      const double* p = sorted.data() + i * d;
      const double sliced = d == 5 ? slice_exclusive5(sorted, i)
                                   : slice_exclusive(p, sorted.data() + (i + 1) * d, n - i - 1, d);
      total = total + (reference_[d - 1] - p[d - 1]) * sliced;
    }
    return total;
  }

  // The rows of width 5 by ascending fourth objective (ties in the others' lexicographic order).
  void order_by_fourth(const std::vector<double>& rows, std::size_t n) {
    by_fourth_.resize(n);
    std::iota(by_fourth_.begin(), by_fourth_.end(), std::size_t{0});
    std::sort(by_fourth_.begin(), by_fourth_.end(), [&](std::size_t a, std::size_t b) {
      const double* p = rows.data() + a * 5;
      const double* q = rows.data() + b * 5;
      return std::array{p[3], p[2], p[0], p[1], p[4]} < std::array{q[3], q[2], q[0], q[1], q[4]};
    });
  }

  // slice_exclusive for d = 5 and row i of `rows`: the clipped rows come out of by_fourth_
  // already in ascending fourth objective (clipping keeps that order, and the rows below p's
  // value all take p's), so the sweep needs no sort.
  double slice_exclusive5(const std::vector<double>& rows, std::size_t i) {
    const double* p = rows.data() + i * 5;
    limit4_.clear();
    std::size_t level_with_p = 0;
    for (const std::size_t j : by_fourth_) {
      if (j <= i) continue;
      const double* q = rows.data() + j * 5;
      if (q[0] <= p[0] && q[1] <= p[1] && q[2] <= p[2] && q[3] <= p[3]) return 0.0;
      limit4_.push_back({std::max(p[3], q[3]), std::max(p[2], q[2]), std::max(p[0], q[0]),
                         std::max(p[1], q[1])});
      if (q[3] <= p[3]) ++level_with_p;
    }
    // Those at p's level go by ascending third objective, so that the lowest cover first.
    std::sort(limit4_.begin(), limit4_.begin() + static_cast<std::ptrdiff_t>(level_with_p));
    const double covered = limit4_.empty() ? 0.0 : sweep_.sweep(limit4_, reference_, stop_);
    return box(p, reference_, 4) - covered;
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
    double covered = 0.0;
    if (w == 4) {
      // The four-objective sweep passes over covered points by itself, cheaper than filtering.
      covered = sweep_.volume(limit.data(), count, 4, reference_, stop_);
    } else {
      const std::size_t kept = nondominated(limit, count, w, kept_[d], order_[d]);
      covered = volume(kept_[d], kept, w);
    }
    return box(p, reference_, w) - covered;
  }

 private:
  std::size_t reference_size() const { return sorted_.size() - 1; }

  const double* reference_;
  StopCheck stop_;
  FourObjectiveSweep sweep_;
  std::vector<std::size_t> by_fourth_;
  FourObjectiveSweep::Points limit4_;
  std::vector<std::vector<double>> sorted_;
  std::vector<std::vector<double>> limit_;
  std::vector<std::vector<double>> kept_;
  std::vector<std::vector<std::size_t>> order_;
};

}  // namespace

namespace hypervolume_parts {

Inside points_inside(std::span<const ObjectiveView> front, ObjectiveView reference,
                     StopCheck stop) {
  Inside inside;
  inside.m = reference.size();
  for (std::size_t i = 0; i < front.size(); ++i) {
    if (i % kRowsPerStopCheck == 0) stop();
    if (!strictly_inside(front[i], reference)) continue;
    inside.values.insert(inside.values.end(), front[i].begin(), front[i].end());
    inside.positions.push_back(i);
  }
  return inside;
}

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
  // A kept row that covers one is moved to the front, where the next rows, its neighbours in
  // that order, meet it first; the order of the kept rows matters to no caller.
  out.clear();
  std::size_t kept = 0;
  for (const std::size_t i : order) {
    const double* q = rows.data() + i * d;
    std::size_t j = 0;
    for (; j < kept; ++j) {
      const double* k = out.data() + j * d;
      std::size_t c = 0;
      while (c < d && k[c] <= q[c]) ++c;
      if (c == d) break;
    }
    if (j < kept) {
      if (j > 0) std::swap_ranges(out.begin(), out.begin() + d, out.begin() + j * d);
      continue;
    }
    out.insert(out.end(), q, q + d);
    ++kept;
  }
  return kept;
}

double volume(const std::vector<double>& values, std::size_t n, std::size_t m,
              const double* reference, StopCheck stop) {
  const double* rows = values.data();
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
      return SlicedRecursion(reference, m, stop).volume(values, n, m);
  }
}

}  // namespace hypervolume_parts

double hypervolume(std::span<const ObjectiveView> front, ObjectiveView reference,
                   StopToken* stop) {
  const Inside inside = points_inside(front, reference, StopCheck(stop));
  if (inside.count() == 0) return -0.0;
  // Every remaining point then dominates a box of infinite volume, and so does a point at -inf.
  if (unbounded(reference) || reaches_minus_infinity(inside)) {
    return std::numeric_limits<double>::infinity();
  }
  return volume(inside.values, inside.count(), inside.m, reference.data(), StopCheck(stop));
}

double hypervolume(const std::vector<std::vector<double>>& front, ObjectiveView reference) {
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  return hypervolume(std::span<const ObjectiveView>(views), reference);
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
    reference[k] = default_reference_coordinate(lo, hi);
  }
  return reference;
}

double default_reference_coordinate(double lowest, double highest) {
  const double spread = highest - lowest;
  return spread > 0.0 ? highest + spread * 0.1 : highest + 1.0;
}

std::vector<double> default_reference(const std::vector<std::vector<double>>& front) {
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  return default_reference(std::span<const ObjectiveView>(views));
}

}  // namespace corvalinth
