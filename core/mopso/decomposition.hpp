// Decomposition of a multi-objective run (`decomposition="tchebycheff"`): every particle owns a
// weight vector, and its leader and personal best are judged by the Tchebycheff value of that
// vector instead of by crowding and dominance. It applies to runs of up to three objectives
// (kMaxDecompositionObjectives).
//
// The rule:
//  - Weights: H is the smallest integer >= 1 whose simplex lattice (every vector a / H of
//    non-negative integers a_1..a_m summing to H) has at least n points; the points are listed by
//    ascending (a_1, ..., a_m) and particle i owns point floor(i * count / n), each component the
//    double a_k / H (with one objective every weight is (1)). With two objectives and n >= 2
//    that is (i / (n - 1), (n - 1 - i) / (n - 1)).
//  - Scale: at every iteration's start, after the prune, the ideal point z and the extent e of the
//    leaders' vectors: z_k the least value, e_k the largest minus z_k, or 1 where that is not > 0
//    (NaN components are never least or largest).
//  - Value: g(y) = max over k of ((y_k - z_k) / e_k) / max(w_k, 1e-6); NaN when any term is NaN.
//  - Leader: the leader with the least value for the particle's weight, the first on ties, leader
//    0 when none is below infinity; no draw.
//  - Personal best, when the population step does not decide it: after the violations (a smaller
//    one wins), the new vector replaces it when its value is not larger than the personal best's
//    or the personal best's value is NaN; no coin.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace corvalinth {

enum class Decomposition { None, Tchebycheff };

// The lattice's size grows quickly with the objective count, and nothing was measured beyond three.
inline constexpr std::size_t kMaxDecompositionObjectives = 3;

// The weight vectors of n particles in m objectives, n x m values back to back.
std::vector<double> lattice_weights(std::size_t n, std::size_t m);

// An iteration's ideal point and extent, and the Tchebycheff values they define.
class TchebycheffScale {
 public:
  // Fits the scale to `vectors`: at least one vector of m values, back to back.
  void fit(std::span<const double> vectors, std::size_t m);
  double value(std::span<const double> y, std::span<const double> weight) const;
  // The index of the vector of `vectors` (m values each) with the least value for `weight`.
  std::size_t least(std::span<const double> vectors, std::span<const double> weight) const;

 private:
  std::vector<double> ideal_;
  std::vector<double> extent_;
};

}  // namespace corvalinth
