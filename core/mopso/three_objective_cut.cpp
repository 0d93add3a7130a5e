#include "core/mopso/three_objective_cut.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "core/mopso/hypervolume.hpp"
#include "core/mopso/hypervolume_parts.hpp"
#include "core/mopso/owner_area.hpp"

namespace corvalinth {
namespace {

using hypervolume_parts::Triple;

// Members are held by their place in the sweep's order (rank), so that the passes over earlier
// and later arrivals read contiguous values.
class ThreeObjectiveCut {
 public:
  explicit ThreeObjectiveCut(const std::vector<ArchiveMember>& members)
      : members_(members), n_(members.size()), rank_(n_), member_(n_), x_(n_), y_(n_), z_(n_),
        cut_(n_, false), contribution_(n_, 0.0), depends_on_(n_) {
    // In an archive no two members are equal, so the order is strict.
    std::iota(member_.begin(), member_.end(), std::size_t{0});
    std::sort(member_.begin(), member_.end(), [&](std::size_t a, std::size_t b) {
      const std::vector<double>& p = members_[a].objectives;
      const std::vector<double>& q = members_[b].objectives;
      return Triple{p[2], p[0], p[1]} < Triple{q[2], q[0], q[1]};
    });
    for (std::size_t k = 0; k < n_; ++k) {
      const std::vector<double>& p = members_[member_[k]].objectives;
      rank_[member_[k]] = k;
      x_[k] = p[0];
      y_[k] = p[1];
      z_[k] = p[2];
    }
  }

  // The marks by member index.
  std::vector<bool> run(std::size_t capacity) {
    std::vector<bool> marked(n_, false);
    for (std::size_t k = 0; k < n_; ++k) {
      if (!std::isfinite(x_[k]) || !std::isfinite(y_[k]) || !std::isfinite(z_[k])) return marked;
    }
    if (!refresh_reference()) return marked;
    for (std::size_t k = 0; k < n_; ++k) evaluate(k);
    for (std::size_t remaining = n_; remaining > capacity; --remaining) {
      // The least contribution in member order, as the one-at-a-time cut looks for it.
      std::size_t victim = n_;
      for (std::size_t j = 0; j < n_; ++j) {
        const std::size_t k = rank_[j];
        if (cut_[k]) continue;
        if (victim != n_) {
          const double c = contribution_[k];
          const double least = contribution_[victim];
          if (!((std::isnan(c) && !std::isnan(least)) || c < least)) continue;
        }
        victim = k;
      }
      cut_[victim] = true;
      marked[member_[victim]] = true;
      if (holds_an_extreme(victim)) {
        const std::vector<double> old_reference = reference_;
        if (!refresh_reference()) break;
        if (!same_bits(reference_, old_reference)) {
          for (std::size_t k = 0; k < n_; ++k) {
            if (!cut_[k]) evaluate(k);
          }
          continue;
        }
      }
      // The relation is symmetric: the members that rested on the victim are the ones it rested
      // on (a neighbour when one arrived is narrowed by that arrival, a removed point is an inner
      // step of the one that removed it).
      dependents_.clear();
      for (const std::size_t k : depends_on_[victim]) {
        if (!cut_[k]) dependents_.push_back(k);
      }
      for (const std::size_t k : dependents_) evaluate(k);
    }
    return marked;
  }

 private:
  static bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), [](double u, double v) {
      return std::bit_cast<std::uint64_t>(u) == std::bit_cast<std::uint64_t>(v);
    });
  }

  // True when member k equals the largest or the smallest value left in some objective, the only
  // case in which removing it can move the default reference.
  bool holds_an_extreme(std::size_t k) const {
    const double v[3] = {x_[k], y_[k], z_[k]};
    for (std::size_t c = 0; c < 3; ++c) {
      if (v[c] == highest_[c] || v[c] == lowest_[c]) return true;
    }
    return false;
  }

  // The default reference of the members left (in member order, as the one-at-a-time cut forms
  // it); false unless it lies strictly beyond every one of them in every objective, the case in
  // which the sweep keeps them all.
  bool refresh_reference() {
    views_.clear();
    for (std::size_t j = 0; j < n_; ++j) {
      if (!cut_[rank_[j]]) views_.push_back(members_[j].objectives);
    }
    reference_ = default_reference(views_);
    for (std::size_t c = 0; c < 3; ++c) {
      highest_[c] = views_.front()[c];
      lowest_[c] = views_.front()[c];
      for (const ObjectiveView view : views_) {
        highest_[c] = std::max(highest_[c], view[c]);
        lowest_[c] = std::min(lowest_[c], view[c]);
      }
      if (!std::isfinite(reference_[c]) || !(highest_[c] < reference_[c])) return false;
    }
    return true;
  }

  // The contribution of the member of rank i among the members left, as the sweep forms it, and
  // the members it rests on.
  void evaluate(std::size_t i) {
    std::vector<std::size_t>& on = depends_on_[i];
    on.clear();
    const double xi = x_[i];
    const double yi = y_[i];
    // When i arrives: its right neighbour is the earlier member of least x below it (ties to the
    // lower one), its top neighbour the earlier member of least y left of it (ties to the one
    // further left); the others at or above and right of i, inside that rectangle, form the
    // slice's staircase there, which i's arrival makes its inner staircase.
    std::size_t right_by = n_;
    std::size_t top_by = n_;
    candidates_.clear();
    for (std::size_t w = 0; w < i; ++w) {
      if (cut_[w]) continue;
      if (y_[w] < yi) {
        if (right_by == n_ || x_[w] < x_[right_by] ||
            (x_[w] == x_[right_by] && y_[w] < y_[right_by])) {
          right_by = w;
        }
      } else if (x_[w] < xi) {
        if (top_by == n_ || y_[w] < y_[top_by] || (y_[w] == y_[top_by] && x_[w] < x_[top_by])) {
          top_by = w;
        }
      } else {
        candidates_.push_back(w);
      }
    }
    double right = reference_[0];
    double top = reference_[1];
    if (right_by != n_) {
      right = x_[right_by];
      on.push_back(right_by);
    }
    if (top_by != n_) {
      top = y_[top_by];
      on.push_back(top_by);
    }
    std::erase_if(candidates_, [&](std::size_t w) { return !(x_[w] < right && y_[w] < top); });
    std::sort(candidates_.begin(), candidates_.end(), [&](std::size_t a, std::size_t b) {
      return x_[a] != x_[b] ? x_[a] < x_[b] : y_[a] < y_[b];
    });
    inner_.clear();
    double lowest = top;
    for (const std::size_t w : candidates_) {
      if (!(y_[w] < lowest)) continue;  // a candidate left of it and no higher covers it
      lowest = y_[w];
      inner_.push_back(Step{x_[w], y_[w]});
      on.push_back(w);
    }

    double open = open_area(inner_, xi, yi, right, top);
    double since = z_[i];
    double sum = 0.0;
    const auto settle = [&](double level) {
      sum = sum + open * (level - since);
      since = level;
    };
    // Each later arrival either removes i from the staircase, becomes its right or its top
    // neighbour, or lands elsewhere and leaves it alone.
    for (std::size_t q = i + 1; q < n_; ++q) {
      if (cut_[q]) continue;
      const double qx = x_[q];
      const double qy = y_[q];
      if (!(xi < qx) && yi >= qy) {
        settle(z_[q]);
        on.push_back(q);
        contribution_[i] = sum;
        return;
      }
      if (xi < qx) {
        if (right < qx) continue;
        settle(z_[q]);
        open -= cut_right_side(inner_, yi, top, qx, right);
        right = qx;
      } else {
        if (top < qy) continue;
        settle(z_[q]);
        open -= cut_top_side(inner_, xi, right, qy, top);
        top = qy;
      }
      on.push_back(q);
    }
    settle(reference_[2]);
    contribution_[i] = sum;
  }

  const std::vector<ArchiveMember>& members_;
  const std::size_t n_;
  std::vector<std::size_t> rank_;    // by member
  std::vector<std::size_t> member_;  // by rank; the rest is by rank too
  std::vector<double> x_;
  std::vector<double> y_;
  std::vector<double> z_;
  std::vector<bool> cut_;
  std::vector<double> contribution_;
  std::vector<std::vector<std::size_t>> depends_on_;
  std::vector<double> reference_;
  double highest_[3] = {};
  double lowest_[3] = {};
  std::vector<ObjectiveView> views_;       // reused
  std::vector<std::size_t> candidates_;    // reused
  std::vector<std::size_t> dependents_;    // reused
  StepVector inner_;                       // reused
};

}  // namespace

std::vector<bool> mark_three_objective_cut(const std::vector<ArchiveMember>& members,
                                           std::size_t capacity) {
  return ThreeObjectiveCut(members).run(capacity);
}

}  // namespace corvalinth
