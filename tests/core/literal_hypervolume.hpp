// The exclusive-volume recursion written out literally (no sorting, no slicing): the model that
// the library's hypervolume algorithms are checked against. Exponential, for small fronts only.
#pragma once

#include <cstddef>
#include <vector>

#include "core/mopso/archive.hpp"
#include "core/numeric.hpp"

namespace corvalinth::literal {

using Vectors = std::vector<std::vector<double>>;

// The points that no other point of the list dominates, in input order, the first of equal
// points only.
inline Vectors nondominated_unique(const Vectors& points) {
  Vectors out;
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

inline double box(const std::vector<double>& p, const std::vector<double>& reference) {
  double product = 1.0;
  for (std::size_t k = 0; k < p.size() && k < reference.size(); ++k) {
    const double side = reference[k] - p[k];
    product = product * (side > 0.0 ? side : 0.0);
  }
  return product;
}

inline double volume(const Vectors& points, const std::vector<double>& reference) {
  double total = -0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    Vectors limit;
    for (std::size_t j = i + 1; j < points.size(); ++j) {
      std::vector<double> clipped(points[i].size());
      for (std::size_t k = 0; k < clipped.size(); ++k) {
        clipped[k] = max_ignoring_nan(points[i][k], points[j][k]);
      }
      limit.push_back(clipped);
    }
    total = total + (box(points[i], reference) - volume(nondominated_unique(limit), reference));
  }
  return total;
}

// Points of the reference's length strictly better than it in every objective, reduced, summed.
inline double hypervolume(const Vectors& front, const std::vector<double>& reference) {
  Vectors kept;
  for (const auto& p : front) {
    bool inside = p.size() == reference.size();
    for (std::size_t k = 0; k < p.size() && inside; ++k) inside = reference[k] > p[k];
    if (inside) kept.push_back(p);
  }
  return volume(nondominated_unique(kept), reference);
}

}  // namespace corvalinth::literal
