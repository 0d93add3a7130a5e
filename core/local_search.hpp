// The final local phase of a single-objective run (SwarmConfig::local_search): when only a share
// of the evaluation budget is left, the swarm stops and a Nelder-Mead search starts from the
// global best and runs to the end of the budget. SwarmRun drives it as one more phase of its
// state machine (core/pso.hpp); this file holds the budget split and the search itself.
//
// The budget B is the smaller of max_evals (when given) and (max_iter + 1) x n_particles, the
// evaluations max_iter allows with the swarm's creation; saturated at 2^64 - 1. The phase keeps
// R = floor(share x B) evaluations (computed in doubles, at most B) and begins at the end of the
// first pass (the creation or an iteration) that the stop tests did not end and after which at
// least B - R and fewer than B evaluations were made; a restart due at that pass is not made.
// A run whose only budget is max_time never reaches its handover.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <vector>

#include "core/feasibility.hpp"
#include "core/motion.hpp"
#include "core/numeric.hpp"
#include "core/records.hpp"
#include "core/swarm.hpp"

namespace corvalinth {

// The evaluation budget of a run with a local phase, and the count at which the swarm hands over.
struct LocalPhasePlan {
  std::uint64_t budget = 0;
  std::uint64_t handover = 0;

  static LocalPhasePlan of(const SwarmConfig& config) {
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t n = config.n_particles;
    const std::uint64_t passes = config.max_iter == kMost ? kMost : config.max_iter + 1;
    std::uint64_t budget = n != 0 && passes > kMost / n ? kMost : passes * n;
    if (config.max_evals) budget = std::min(budget, *config.max_evals);
    const double kept = std::floor(config.local_search_share * static_cast<double>(budget));
    // 2^64 as a double: any kept count at or above it is the whole budget.
    constexpr double kTwoTo64 = 18446744073709551616.0;
    const std::uint64_t reserved =
        kept >= kTwoTo64 ? budget : std::min(budget, static_cast<std::uint64_t>(kept));
    return {budget, budget - reserved};
  }
};

// Nelder-Mead over raw positions, as a sequence of rounds: each round is a set of points to
// evaluate (round()), whose values come back one by one (take()), after which advance() decides
// the next round. The simplex has dim + 1 vertices x_0..x_n (n = dim) with values f_0..f_n.
//
// Order and comparisons: each value f is a pair (value, violation), and "better" is the rank of
// the feasibility rules (ranks_better, core/feasibility.hpp: violation first, then value, each
// with NaN after every number). A run that is not ranked by feasibility tells violations of 0,
// and the rank is then the minimum rule on values (is_better). Before every step the vertices are
// sorted by it, stably (ties keep their order).
//
// Start (begin): x_0 is the starting point with its known value. The first round holds n points:
// point k is x_0 with coordinate k moved by h_k = 0.05 x (hi_k - lo_k) of the box, then clipped
// to the box; if clipping left coordinate k where it was, the step is taken as -h_k instead (and
// clipped). Point k becomes vertex k + 1 when its value arrives.
//
// A step: with the vertices sorted, the simplex has collapsed when every |x_j,d - x_0,d| (j >= 1)
// is at most 1e-12 x max(1, max_d |x_0,d|); it then starts again from x_0 as above. Otherwise the
// centroid of the n best vertices is c_d = (((x_0,d + x_1,d) + ...) + x_n-1,d) / n, and every
// trial point is c_d + t x (c_d - x_n,d), clipped, with t = 1 (reflection r), 2 (expansion e),
// 1/2 (outside contraction o) or -1/2 (inside contraction i):
//   - round r, value f_r; if f_r is better than f_0: round e, and x_n becomes e if f_e is better
//     than f_r, r otherwise;
//   - else if f_r is better than f_n-1: x_n becomes r;
//   - else if f_r is better than f_n: round o; x_n becomes o unless f_r is better than f_o;
//   - else: round i; x_n becomes i if f_i is better than f_n;
//   - a contraction not taken shrinks: one round of n points x_0 + 0.5 x (x_j - x_0), j = 1..n,
//     clipped, each becoming vertex j when its value arrives.
// These are the coefficients of the published method (reflection 1, expansion 2, contraction
// 1/2, shrink 1/2). Clipping is the "clamp" bounds policy, which draws no random number.
//
// A round may be cut to its first `limit` points (the rest of the budget); the run ends after it.
class NelderMead {
 public:
  explicit NelderMead(std::size_t dim)
      : dim_(dim),
        simplex_((dim + 1) * dim),
        values_(dim + 1, std::numeric_limits<double>::infinity()),
        violations_(dim + 1, 0.0),
        reflected_(dim),
        centroid_(dim),
        round_(0, dim) {}

  // Starts at `x0`, whose value `f0` is known; `widths` are the box's widths per coordinate. The
  // first round holds at most `limit` (>= 1) points.
  template <typename Clip>
  void begin(std::span<const double> x0, ConstrainedValue f0, std::span<const double> widths,
             Clip&& clip, std::size_t limit) {
    copy_values(x0, vertex(0));
    set_vertex_value(0, f0);
    start_simplex(widths, clip, limit);
  }

  // The points of the current round, in order.
  const Swarm& round() const { return round_; }
  std::size_t round_size() const { return round_.size(); }

  // The value of point k of the current round.
  void take(std::size_t k, ConstrainedValue value) {
    if (kind_ == Kind::Simplex || kind_ == Kind::Shrink) {
      copy_values(round_.position(k), vertex(k + 1));
      set_vertex_value(k + 1, value);
    } else {
      trial_value_ = value;
    }
  }

  // Decides the next round once every point of the current one has its value; it holds at most
  // `limit` (>= 1) points.
  template <typename Clip>
  void advance(std::span<const double> widths, Clip&& clip, std::size_t limit) {
    const std::size_t n = dim_;
    switch (kind_) {
      case Kind::Simplex:
      case Kind::Shrink:
        return step(widths, clip, limit);
      case Kind::Reflect:
        copy_values(round_.position(0), reflected_);
        reflected_value_ = trial_value_;
        if (ranks_better(trial_value_, vertex_value(0))) return trial(Kind::Expand, 2.0, clip);
        if (ranks_better(trial_value_, vertex_value(n - 1))) {
          replace_worst(reflected_, reflected_value_);
          return step(widths, clip, limit);
        }
        if (ranks_better(trial_value_, vertex_value(n))) return trial(Kind::Outside, 0.5, clip);
        return trial(Kind::Inside, -0.5, clip);
      case Kind::Expand:
        if (ranks_better(trial_value_, reflected_value_)) {
          replace_worst(round_.position(0), trial_value_);
        } else {
          replace_worst(reflected_, reflected_value_);
        }
        return step(widths, clip, limit);
      case Kind::Outside:
        if (!ranks_better(reflected_value_, trial_value_)) {
          replace_worst(round_.position(0), trial_value_);
          return step(widths, clip, limit);
        }
        return shrink(clip, limit);
      case Kind::Inside:
        if (ranks_better(trial_value_, vertex_value(n))) {
          replace_worst(round_.position(0), trial_value_);
          return step(widths, clip, limit);
        }
        return shrink(clip, limit);
    }
  }

  // What a saved run keeps of the search, visited as SwarmRun's fields are (run_state.hpp): the
  // round's kind and points, the simplex, and the reflected point of the step under way. The
  // violations are kept only when the run is `ranked` (otherwise they are all 0), so a plain
  // run's state keeps its layout.
  template <typename Search, typename Archive>
  static void visit_state(Search& search, Archive& archive, bool ranked) {
    archive.index(search.kind_, kKindCount, "local search round");
    std::uint64_t points = search.round_.size();
    archive.index(points, search.dim_ + 1, "local search round size");
    if constexpr (!std::is_const_v<Search>) search.resize_round(static_cast<std::size_t>(points));
    for (std::size_t k = 0; k < points; ++k) {
      archive.block(search.round_.position(k), "local search points");
    }
    archive.block(search.simplex_, "local search simplex");
    archive.block(search.values_, "local search values");
    archive.block(search.reflected_, "local search reflected point");
    archive.real(search.reflected_value_.value);
    if (ranked) {
      archive.block(search.violations_, "local search violations");
      archive.real(search.reflected_value_.violation);
    }
  }

 private:
  enum class Kind : std::uint8_t { Simplex, Reflect, Expand, Outside, Inside, Shrink };
  static constexpr std::uint64_t kKindCount = 6;

  std::span<double> vertex(std::size_t j) { return {simplex_.data() + j * dim_, dim_}; }
  std::span<const double> vertex(std::size_t j) const { return {simplex_.data() + j * dim_, dim_}; }

  void resize_round(std::size_t points) {
    if (round_.size() != points) round_ = Swarm(points, dim_);
  }

  template <typename Clip>
  void start_simplex(std::span<const double> widths, Clip& clip, std::size_t limit) {
    kind_ = Kind::Simplex;
    resize_round(std::min(dim_, limit));
    const std::span<const double> x0 = vertex(0);
    for (std::size_t k = 0; k < round_.size(); ++k) {
      const std::span<double> p = round_.position(k);
      const double h = kStep * widths[k];
      copy_values(x0, p);
      p[k] = x0[k] + h;
      clip(p);
      if (p[k] == x0[k]) {
        p[k] = x0[k] - h;
        clip(p);
      }
    }
  }

  template <typename Clip>
  void step(std::span<const double> widths, Clip& clip, std::size_t limit) {
    sort_vertices();
    if (collapsed()) return start_simplex(widths, clip, limit);
    trial(Kind::Reflect, 1.0, clip);
  }

  template <typename Clip>
  void trial(Kind kind, double t, Clip& clip) {
    kind_ = kind;
    resize_round(1);
    // The vertices stay as they were since the step began, so this is the step's centroid.
    const std::size_t n = dim_;
    for (std::size_t d = 0; d < n; ++d) {
      double sum = vertex(0)[d];
      for (std::size_t j = 1; j < n; ++j) sum += vertex(j)[d];
      centroid_[d] = sum / static_cast<double>(n);
    }
    const std::span<double> p = round_.position(0);
    const std::span<const double> worst = vertex(dim_);
    for (std::size_t d = 0; d < dim_; ++d) p[d] = centroid_[d] + t * (centroid_[d] - worst[d]);
    clip(p);
  }

  template <typename Clip>
  void shrink(Clip& clip, std::size_t limit) {
    kind_ = Kind::Shrink;
    resize_round(std::min(dim_, limit));
    const std::span<const double> x0 = vertex(0);
    for (std::size_t k = 0; k < round_.size(); ++k) {
      const std::span<double> p = round_.position(k);
      const std::span<const double> x = vertex(k + 1);
      for (std::size_t d = 0; d < dim_; ++d) p[d] = x0[d] + 0.5 * (x[d] - x0[d]);
      clip(p);
    }
  }

  void replace_worst(std::span<const double> point, ConstrainedValue value) {
    copy_values(point, vertex(dim_));
    set_vertex_value(dim_, value);
  }

  ConstrainedValue vertex_value(std::size_t j) const { return {values_[j], violations_[j]}; }
  void set_vertex_value(std::size_t j, ConstrainedValue value) {
    values_[j] = value.value;
    violations_[j] = value.violation;
  }

  // Stable insertion sort of the vertices by their rank.
  void sort_vertices() {
    for (std::size_t j = 1; j <= dim_; ++j) {
      std::size_t k = j;
      while (k > 0 && ranks_better(vertex_value(j), vertex_value(k - 1))) --k;
      if (k == j) continue;
      std::rotate(values_.begin() + static_cast<std::ptrdiff_t>(k),
                  values_.begin() + static_cast<std::ptrdiff_t>(j),
                  values_.begin() + static_cast<std::ptrdiff_t>(j + 1));
      std::rotate(violations_.begin() + static_cast<std::ptrdiff_t>(k),
                  violations_.begin() + static_cast<std::ptrdiff_t>(j),
                  violations_.begin() + static_cast<std::ptrdiff_t>(j + 1));
      std::rotate(simplex_.begin() + static_cast<std::ptrdiff_t>(k * dim_),
                  simplex_.begin() + static_cast<std::ptrdiff_t>(j * dim_),
                  simplex_.begin() + static_cast<std::ptrdiff_t>((j + 1) * dim_));
    }
  }

  bool collapsed() const {
    const std::span<const double> x0 = vertex(0);
    double scale = 1.0;
    for (const double c : x0) scale = std::fabs(c) > scale ? std::fabs(c) : scale;
    const double tolerance = kCollapse * scale;
    for (std::size_t j = 1; j <= dim_; ++j) {
      const std::span<const double> x = vertex(j);
      for (std::size_t d = 0; d < dim_; ++d) {
        if (!(std::fabs(x[d] - x0[d]) <= tolerance)) return false;
      }
    }
    return true;
  }

  static constexpr double kStep = 0.05;
  static constexpr double kCollapse = 1e-12;

  std::size_t dim_;
  Kind kind_ = Kind::Simplex;
  std::vector<double> simplex_;  // (dim + 1) x dim, vertex after vertex
  std::vector<double> values_;
  std::vector<double> violations_;  // all 0 unless the run is ranked by feasibility
  std::vector<double> reflected_;
  ConstrainedValue reflected_value_{0.0, 0.0};
  ConstrainedValue trial_value_{0.0, 0.0};  // the value of a one-point round, until advance()
  std::vector<double> centroid_;  // of the step under way, recomputed for every trial point
  Swarm round_;
};

}  // namespace corvalinth
