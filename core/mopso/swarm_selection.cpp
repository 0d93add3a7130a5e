#include "core/mopso/swarm_selection.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/numeric.hpp"

namespace corvalinth {

namespace {

bool constrained_dominates(ObjectiveView a, double a_violation, ObjectiveView b,
                           double b_violation) {
  if (is_better(a_violation, b_violation)) return true;
  if (is_better(b_violation, a_violation)) return false;
  return dominates(a, b);
}

// Larger distances first, NaN after every number; the stable sort keeps equal ones in order.
bool more_spread(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a > b;
}

}  // namespace

std::vector<std::size_t> select_nondominated(std::span<const ObjectiveView> vectors,
                                             std::span<const double> violations, std::size_t keep) {
  const std::size_t n = vectors.size();
  keep = std::min(keep, n);
  // Who dominates whom, each pair compared once: how many dominate each candidate, and the
  // candidates each one dominates, in ascending order.
  std::vector<std::size_t> dominated_by(n, 0);
  std::vector<std::vector<std::size_t>> dominated(n);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a + 1; b < n; ++b) {
      if (constrained_dominates(vectors[a], violations[a], vectors[b], violations[b])) {
        dominated[a].push_back(b);
        ++dominated_by[b];
      } else if (constrained_dominates(vectors[b], violations[b], vectors[a], violations[a])) {
        dominated[b].push_back(a);
        ++dominated_by[a];
      }
    }
  }

  std::vector<std::size_t> survivors;
  survivors.reserve(keep);
  std::vector<std::size_t> front;
  for (std::size_t c = 0; c < n; ++c) {
    if (dominated_by[c] == 0) front.push_back(c);
  }
  while (survivors.size() < keep) {
    if (front.empty()) {
      // Only NaN components make domination cyclic: candidates on such a cycle are on no front,
      // so they form one last front together.
      for (std::size_t c = 0; c < n; ++c) {
        if (dominated_by[c] != 0) front.push_back(c);
      }
    }
    const std::size_t room = keep - survivors.size();
    if (front.size() <= room) {
      survivors.insert(survivors.end(), front.begin(), front.end());
    } else {
      std::vector<ObjectiveView> views;
      views.reserve(front.size());
      for (const std::size_t c : front) views.push_back(vectors[c]);
      const std::vector<double> distance =
          crowding_distances(std::span<const ObjectiveView>(views));
      std::vector<std::size_t> order(front.size());
      std::iota(order.begin(), order.end(), std::size_t{0});
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return more_spread(distance[a], distance[b]);
      });
      for (std::size_t j = 0; j < room; ++j) survivors.push_back(front[order[j]]);
      break;
    }
    std::vector<std::size_t> next;
    for (const std::size_t c : front) {
      for (const std::size_t d : dominated[c]) {
        if (--dominated_by[d] == 0) next.push_back(d);
      }
    }
    std::sort(next.begin(), next.end());
    front = std::move(next);
  }
  std::sort(survivors.begin(), survivors.end());
  return survivors;
}

}  // namespace corvalinth
