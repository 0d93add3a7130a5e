#include "core/mopso/decomposition.hpp"

#include <cmath>
#include <limits>

namespace corvalinth {
namespace {

constexpr double kWeightFloor = 1e-6;

// Lattice points of `h` with m components, in ascending order, appended as counts.
void list_points(std::size_t m, std::size_t h, std::vector<std::size_t>& prefix,
                 std::vector<std::size_t>& points) {
  if (prefix.size() + 1 == m) {
    points.insert(points.end(), prefix.begin(), prefix.end());
    points.push_back(h);
    return;
  }
  for (std::size_t a = 0; a <= h; ++a) {
    prefix.push_back(a);
    list_points(m, h - a, prefix, points);
    prefix.pop_back();
  }
}

// C(h + m - 1, m - 1), or `cap` once it reaches it.
std::size_t lattice_size(std::size_t m, std::size_t h, std::size_t cap) {
  std::size_t count = 1;
  for (std::size_t k = 1; k < m; ++k) {
    count = count * (h + k) / k;  // exact: a product of k consecutive integers over k!
    if (count >= cap) return cap;
  }
  return count;
}

}  // namespace

std::vector<double> lattice_weights(std::size_t n, std::size_t m) {
  std::vector<double> weights;
  if (n == 0 || m == 0) return weights;
  if (m == 1) return std::vector<double>(n, 1.0);  // every lattice has the one point (1)
  std::size_t h = 1;
  while (lattice_size(m, h, n) < n) ++h;
  std::vector<std::size_t> prefix, points;
  list_points(m, h, prefix, points);
  const std::size_t count = points.size() / m;
  weights.reserve(n * m);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t point = i * count / n;
    for (std::size_t k = 0; k < m; ++k) {
      weights.push_back(static_cast<double>(points[point * m + k]) / static_cast<double>(h));
    }
  }
  return weights;
}

void TchebycheffScale::fit(std::span<const double> vectors, std::size_t m) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  ideal_.assign(m, kInfinity);
  extent_.assign(m, -kInfinity);  // the largest value until the loop below
  for (std::size_t start = 0; start < vectors.size(); start += m) {
    for (std::size_t k = 0; k < m; ++k) {
      const double v = vectors[start + k];
      if (v < ideal_[k]) ideal_[k] = v;
      if (v > extent_[k]) extent_[k] = v;
    }
  }
  for (std::size_t k = 0; k < m; ++k) {
    const double span = extent_[k] - ideal_[k];
    extent_[k] = span > 0.0 ? span : 1.0;
  }
}

double TchebycheffScale::value(std::span<const double> y, std::span<const double> weight) const {
  double g = -std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < ideal_.size(); ++k) {
    const double w = weight[k] > kWeightFloor ? weight[k] : kWeightFloor;
    const double term = (y[k] - ideal_[k]) / extent_[k] / w;
    if (std::isnan(term)) return term;
    if (term > g) g = term;
  }
  return g;
}

std::size_t TchebycheffScale::least(std::span<const double> vectors,
                                    std::span<const double> weight) const {
  const std::size_t m = ideal_.size();
  std::size_t chosen = 0;
  double smallest = std::numeric_limits<double>::infinity();
  for (std::size_t j = 0; j * m < vectors.size(); ++j) {
    const double g = value(vectors.subspan(j * m, m), weight);
    if (g < smallest) {
      chosen = j;
      smallest = g;
    }
  }
  return chosen;
}

}  // namespace corvalinth
