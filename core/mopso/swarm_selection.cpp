#include "core/mopso/swarm_selection.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

#include "core/numeric.hpp"

namespace corvalinth {

namespace {

using Fronts = std::vector<std::vector<std::size_t>>;

bool constrained_dominates(ObjectiveView a, double a_violation, ObjectiveView b,
                           double b_violation) {
  if (is_better(a_violation, b_violation)) return true;
  if (is_better(b_violation, a_violation)) return false;
  return dominates(a, b);
}

// +1 when a dominates b under constrained domination, -1 when b dominates a, 0 otherwise: both
// directions of dominates() in one pass over the components (a pair with a NaN counts as
// neither).
int compare(ObjectiveView a, double a_violation, ObjectiveView b, double b_violation) {
  if (is_better(a_violation, b_violation)) return 1;
  if (is_better(b_violation, a_violation)) return -1;
  const std::size_t m = a.size() < b.size() ? a.size() : b.size();
  bool a_better = false;
  bool b_better = false;
  for (std::size_t k = 0; k < m; ++k) {
    if (a[k] < b[k]) {
      a_better = true;
    } else if (b[k] < a[k]) {
      b_better = true;
    }
    if (a_better && b_better) return 0;
  }
  return a_better ? 1 : (b_better ? -1 : 0);
}

// Every pair compared once: how many dominate each candidate and whom each one dominates, then
// the fronts peeled off in turn. Any number of objectives, NaN components included.
Fronts fronts_by_pairs(std::span<const ObjectiveView> vectors, std::span<const double> violations) {
  const std::size_t n = vectors.size();
  std::vector<std::size_t> dominated_by(n, 0);
  std::vector<std::vector<std::size_t>> dominated(n);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a + 1; b < n; ++b) {
      const int order = compare(vectors[a], violations[a], vectors[b], violations[b]);
      if (order > 0) {
        dominated[a].push_back(b);
        ++dominated_by[b];
      } else if (order < 0) {
        dominated[b].push_back(a);
        ++dominated_by[a];
      }
    }
  }
  Fronts fronts;
  std::vector<std::size_t> front;
  for (std::size_t c = 0; c < n; ++c) {
    if (dominated_by[c] == 0) front.push_back(c);
  }
  std::size_t placed = 0;
  while (!front.empty()) {
    placed += front.size();
    std::vector<std::size_t> next;
    for (const std::size_t c : front) {
      for (const std::size_t d : dominated[c]) {
        if (--dominated_by[d] == 0) next.push_back(d);
      }
    }
    std::sort(next.begin(), next.end());
    fronts.push_back(std::move(front));
    front = std::move(next);
  }
  if (placed < n) {
    // Only NaN components make domination cyclic: candidates on such a cycle, and those they
    // dominate, are on no front, so they form one last front together.
    for (std::size_t c = 0; c < n; ++c) {
      if (dominated_by[c] != 0) front.push_back(c);
    }
    fronts.push_back(std::move(front));
  }
  return fronts;
}

// The candidates' indices in the order of violation (NaN last), then the first `objectives`
// components (none NaN), then index: a candidate can only be dominated by those before it.
std::vector<std::size_t> sorted_candidates(std::span<const ObjectiveView> vectors,
                                           std::span<const double> violations,
                                           std::size_t objectives) {
  std::vector<std::size_t> order(vectors.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (is_better(violations[a], violations[b])) return true;
    if (is_better(violations[b], violations[a])) return false;
    for (std::size_t k = 0; k < objectives; ++k) {
      if (vectors[a][k] != vectors[b][k]) return vectors[a][k] < vectors[b][k];
    }
    return a < b;
  });
  return order;
}

// The same fronts for two objectives without NaN, in O(n log n + n x fronts): in the order of
// violation (NaN last), first objective, second objective and index, a candidate can only be
// dominated by those before it, and it belongs to the first front whose latest member does not
// dominate it (that member has the front's smallest second objective).
Fronts fronts_of_two(std::span<const ObjectiveView> vectors, std::span<const double> violations) {
  Fronts fronts;
  for (const std::size_t c : sorted_candidates(vectors, violations, 2)) {
    std::size_t k = 0;
    while (k < fronts.size() &&
           constrained_dominates(vectors[fronts[k].back()], violations[fronts[k].back()],
                                 vectors[c], violations[c])) {
      ++k;
    }
    if (k == fronts.size()) fronts.emplace_back();
    fronts[k].push_back(c);
  }
  for (std::vector<std::size_t>& front : fronts) std::sort(front.begin(), front.end());
  return fronts;
}

// The same fronts for three objectives without NaN in the objectives, in O(n log n x log fronts).
// In the order of violation (NaN last), the three objectives and index, a candidate can only be
// dominated by those before it. Each violation level's fronts follow all fronts of the levels
// before it (every candidate of a smaller violation dominates the candidate). Within a level, an
// earlier candidate weakly dominates a later one exactly when it lies at or below it in the last
// two objectives, and strictly unless the two vectors are equal; an equal vector is the one just
// before in the order and shares its front. So each front keeps the staircase of its members'
// (second, third) values that no other member's pair covers, and a candidate belongs to the first
// front of its level whose staircase does not cover its pair. Fronts are searched by halves: a
// candidate covered by a front is covered by every earlier front of its level, since whatever
// dominates a member of front k + 1 is dominated by a member of front k.
struct PairStep {
  double second;
  double third;
};
using PairStaircase = std::vector<PairStep>;  // ascending second, strictly descending third

bool covers(const PairStaircase& steps, double second, double third) {
  // The last step whose second value is at most `second` has the least third of those.
  const auto after =
      std::upper_bound(steps.begin(), steps.end(), second,
                       [](double value, const PairStep& step) { return value < step.second; });
  return after != steps.begin() && std::prev(after)->third <= third;
}

// Adds a pair that `steps` does not cover, dropping the steps it covers.
void add_step(PairStaircase& steps, double second, double third) {
  const auto from =
      std::lower_bound(steps.begin(), steps.end(), second,
                       [](const PairStep& step, double value) { return step.second < value; });
  auto to = from;
  while (to != steps.end() && to->third >= third) ++to;
  steps.insert(steps.erase(from, to), PairStep{second, third});
}

Fronts fronts_of_three(std::span<const ObjectiveView> vectors, std::span<const double> violations) {
  const std::size_t n = vectors.size();
  const std::vector<std::size_t> order = sorted_candidates(vectors, violations, 3);
  const auto same_level = [&](std::size_t a, std::size_t b) {
    return !is_better(violations[a], violations[b]) && !is_better(violations[b], violations[a]);
  };
  Fronts fronts;
  std::vector<PairStaircase> staircases;
  std::size_t level_start = 0;  // the first front of the current violation level
  std::size_t previous_front = 0;
  for (std::size_t p = 0; p < n; ++p) {
    const std::size_t c = order[p];
    const ObjectiveView v = vectors[c];
    if (p > 0 && !same_level(order[p - 1], c)) {
      level_start = fronts.size();
    } else if (p > 0 && same_objectives(vectors[order[p - 1]], v)) {
      fronts[previous_front].push_back(c);
      continue;
    }
    std::size_t low = level_start;
    std::size_t high = fronts.size();
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (covers(staircases[middle], v[1], v[2])) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    if (low == fronts.size()) {
      fronts.emplace_back();
      staircases.emplace_back();
    }
    fronts[low].push_back(c);
    add_step(staircases[low], v[1], v[2]);
    previous_front = low;
  }
  for (std::vector<std::size_t>& front : fronts) std::sort(front.begin(), front.end());
  return fronts;
}

bool three_objectives_without_nan(std::span<const ObjectiveView> vectors) {
  for (const ObjectiveView v : vectors) {
    if (v.size() != 3 || std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2])) return false;
  }
  return true;
}

bool two_objectives_without_nan(std::span<const ObjectiveView> vectors) {
  for (const ObjectiveView v : vectors) {
    if (v.size() != 2 || std::isnan(v[0]) || std::isnan(v[1])) return false;
  }
  return true;
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
  keep = std::min(keep, vectors.size());
  const Fronts fronts = two_objectives_without_nan(vectors) ? fronts_of_two(vectors, violations)
                        : three_objectives_without_nan(vectors)
                            ? fronts_of_three(vectors, violations)
                            : fronts_by_pairs(vectors, violations);
  std::vector<std::size_t> survivors;
  survivors.reserve(keep);
  for (const std::vector<std::size_t>& front : fronts) {
    const std::size_t room = keep - survivors.size();
    if (room == 0) break;
    if (front.size() <= room) {
      survivors.insert(survivors.end(), front.begin(), front.end());
      continue;
    }
    std::vector<ObjectiveView> views;
    views.reserve(front.size());
    for (const std::size_t c : front) views.push_back(vectors[c]);
    const std::vector<double> distance = crowding_distances(std::span<const ObjectiveView>(views));
    std::vector<std::size_t> order(front.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return more_spread(distance[a], distance[b]);
    });
    for (std::size_t j = 0; j < room; ++j) survivors.push_back(front[order[j]]);
  }
  std::sort(survivors.begin(), survivors.end());
  return survivors;
}

}  // namespace corvalinth
