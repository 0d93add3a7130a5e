#include "core/mopso/hypervolume.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "core/failure.hpp"
#include "core/numeric.hpp"

namespace corvalinth {
namespace {

// The exclusive-volume recursion over points of one length m, stored row after row. Every depth
// of the recursion has its own limit-set and reduced-set buffers, reused across calls, so the
// recursion allocates only while a depth is reached for the first time.
class ExclusiveVolume {
 public:
  explicit ExclusiveVolume(ObjectiveView reference) : reference_(reference), m_(reference.size()) {}

  // HV of `count` points starting at `points`, at recursion depth `depth`.
  double volume(const double* points, std::size_t count, std::size_t depth) {
    ensure_depth(depth);
    double total = -0.0;
    for (std::size_t i = 0; i < count; ++i) {
      const double* p = points + i * m_;
      const std::size_t limited = build_limit_set(points, count, i, limit_[depth]);
      const std::size_t reduced = reduce(limit_[depth], limited, reduced_[depth]);
      // reduced_[depth] stays untouched while deeper levels work on their own buffers.
      const double exclusive = box(p) - volume(reduced_[depth].data(), reduced, depth + 1);
      total = total + exclusive;
    }
    return total;
  }

  // nondominated_unique over the `count` rows of `input` into `output`; returns the rows kept.
  // (Rows are counted, not derived from the buffer size, because with m = 0 they hold nothing.)
  std::size_t reduce(const std::vector<double>& input, std::size_t count,
                     std::vector<double>& output) const {
    output.clear();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const ObjectiveView q = row(input, i);
      bool dropped = false;
      for (std::size_t j = 0; j < count && !dropped; ++j) {
        dropped = j != i && dominates(row(input, j), q);
      }
      for (std::size_t j = 0; j < kept && !dropped; ++j) {
        dropped = same_objectives(row(output, j), q);
      }
      if (dropped) continue;
      output.insert(output.end(), q.begin(), q.end());
      ++kept;
    }
    return kept;
  }

 private:
  ObjectiveView row(const std::vector<double>& flat, std::size_t j) const {
    return {flat.data() + j * m_, m_};
  }

  // Volume of the box between p and the reference, multiplied in index order from 1.0.
  double box(const double* p) const {
    double product = 1.0;
    for (std::size_t k = 0; k < m_; ++k) {
      const double side = reference_[k] - p[k];
      product = product * (side > 0.0 ? side : 0.0);  // a NaN side counts as 0
    }
    return product;
  }

  // The later points clipped to point i's box: component-wise the larger value, NaN yielding
  // the other. Returns the number of rows written.
  std::size_t build_limit_set(const double* points, std::size_t count, std::size_t i,
                              std::vector<double>& out) const {
    out.clear();
    const double* p = points + i * m_;
    for (std::size_t j = i + 1; j < count; ++j) {
      const double* q = points + j * m_;
      for (std::size_t k = 0; k < m_; ++k) {
        out.push_back(max_ignoring_nan(p[k], q[k]));
      }
    }
    return count - i - 1;
  }

  void ensure_depth(std::size_t depth) {
    // Growing moves the inner vectors, which keeps their storage, so pointers into a shallower
    // level's buffer stay valid.
    if (limit_.size() <= depth) {
      limit_.resize(depth + 1);
      reduced_.resize(depth + 1);
    }
  }

  ObjectiveView reference_;
  std::size_t m_;
  std::vector<std::vector<double>> limit_;
  std::vector<std::vector<double>> reduced_;
};

bool strictly_inside(ObjectiveView point, ObjectiveView reference) {
  if (point.size() != reference.size()) return false;
  for (std::size_t k = 0; k < point.size(); ++k) {
    if (!(reference[k] > point[k])) return false;
  }
  return true;
}

}  // namespace

double hypervolume(std::span<const ObjectiveView> front, ObjectiveView reference) {
  std::vector<double> kept;
  std::size_t rows = 0;
  for (const ObjectiveView point : front) {
    if (!strictly_inside(point, reference)) continue;
    kept.insert(kept.end(), point.begin(), point.end());
    ++rows;
  }
  ExclusiveVolume recursion(reference);
  std::vector<double> reduced;
  const std::size_t count = recursion.reduce(kept, rows, reduced);
  return recursion.volume(reduced.data(), count, 0);
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
    const double spread = hi - lo;
    reference[k] = spread > 0.0 ? hi + spread * 0.1 : hi + 1.0;
  }
  return reference;
}

std::vector<double> default_reference(const std::vector<std::vector<double>>& front) {
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  return default_reference(std::span<const ObjectiveView>(views));
}

std::vector<std::vector<double>> nondominated_unique(const std::vector<std::vector<double>>& points) {
  std::vector<std::vector<double>> out;
  for (std::size_t i = 0; i < points.size(); ++i) {
    bool dropped = false;
    for (std::size_t j = 0; j < points.size() && !dropped; ++j) {
      dropped = j != i && dominates(points[j], points[i]);
    }
    for (std::size_t j = 0; j < out.size() && !dropped; ++j) {
      dropped = same_objectives(out[j], points[i]);
    }
    if (!dropped) out.push_back(points[i]);
  }
  return out;
}

}  // namespace corvalinth
