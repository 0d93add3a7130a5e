// The population step's survivors: constrained domination first, and a keep that is always met.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "core/mopso/swarm_selection.hpp"
#include "core/numeric.hpp"

namespace corvalinth {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<std::size_t> survivors_of(const std::vector<std::vector<double>>& vectors,
                                      const std::vector<double>& violations, std::size_t keep) {
  const std::vector<ObjectiveView> views(vectors.begin(), vectors.end());
  return select_nondominated(views, violations, keep);
}

TEST(SwarmSelection, ASmallerViolationWinsWhateverTheObjectives) {
  EXPECT_EQ(survivors_of({{0, 0}, {5, 5}, {6, 4}}, {1.0, 0.0, 0.0}, 2),
            (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(survivors_of({{0, 0}, {5, 5}, {6, 6}}, {kNaN, 2.0, 0.0}, 2),
            (std::vector<std::size_t>{1, 2}));
}

// Components with a NaN are ignored by dominance, so a dominates c dominates b dominates a and
// every one of them dominates d: no candidate is on a first front. They still fill the keep.
TEST(SwarmSelection, CyclicDominationThroughNaNStillKeepsEnough) {
  const std::vector<std::vector<double>> cycle{{0, 1, kNaN}, {kNaN, 0, 1}, {1, kNaN, 0}, {5, 5, 5}};
  const std::vector<double> feasible(cycle.size(), 0.0);
  for (std::size_t keep = 0; keep <= cycle.size(); ++keep) {
    const std::vector<std::size_t> kept = survivors_of(cycle, feasible, keep);
    ASSERT_EQ(kept.size(), keep);
    for (std::size_t j = 1; j < kept.size(); ++j) EXPECT_LT(kept[j - 1], kept[j]);
  }
}

// The rule spelled out: peel off the candidates no remaining candidate dominates (all that remain
// when every one is dominated), then cut the first front that does not fit by crowding (larger
// first, NaN last, equal ones by index).
std::vector<std::size_t> peeled(const std::vector<std::vector<double>>& vectors,
                                const std::vector<double>& violations, std::size_t keep) {
  const auto beats = [&](std::size_t a, std::size_t b) {
    if (is_better(violations[a], violations[b])) return true;
    if (is_better(violations[b], violations[a])) return false;
    return dominates(vectors[a], vectors[b]);
  };
  std::vector<std::size_t> remaining(vectors.size());
  std::iota(remaining.begin(), remaining.end(), std::size_t{0});
  std::vector<std::size_t> kept;
  while (kept.size() < keep) {
    std::vector<std::size_t> front;
    for (const std::size_t c : remaining) {
      if (std::none_of(remaining.begin(), remaining.end(), [&](std::size_t d) { return beats(d, c); }))
        front.push_back(c);
    }
    if (front.empty()) front = remaining;  // domination made cyclic by NaN: one last front
    const std::size_t room = keep - kept.size();
    if (front.size() > room) {
      std::vector<std::vector<double>> members;
      for (const std::size_t c : front) members.push_back(vectors[c]);
      const std::vector<double> distance = crowding_distances(members);
      std::vector<std::size_t> order(front.size());
      std::iota(order.begin(), order.end(), std::size_t{0});
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return !std::isnan(distance[a]) && (std::isnan(distance[b]) || distance[a] > distance[b]);
      });
      for (std::size_t j = 0; j < room; ++j) kept.push_back(front[order[j]]);
      break;
    }
    kept.insert(kept.end(), front.begin(), front.end());
    std::erase_if(remaining, [&](std::size_t c) {
      return std::find(front.begin(), front.end(), c) != front.end();
    });
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}

// Small whole numbers give ties in every objective and equal vectors, -0.0 equals 0.0, and
// violations repeat too; every other pair of trials draws distinct values instead, for long
// staircases and the byte-wise sort. Two objectives take the sorted path and three the staircase
// path unless a component is NaN (every eighth trial has some), which takes the pairwise one:
// each must give the rule's result, whether its working memory is fresh or left by the trials
// before.
TEST(SwarmSelection, AgreesWithTheRuleSpelledOut) {
  std::mt19937_64 engine(7);
  NondominatedSelection reused;  // a run's step keeps its working memory from call to call
  const std::vector<double> levels{0.0, 0.0, 0.0, 1.0, 2.5, kNaN};
  const double kInf = std::numeric_limits<double>::infinity();
  const std::vector<double> values{0.0, -0.0, 1.0, 2.0, 3.0, 4.0, -2.5, 5e-324, kInf, -kInf};
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const auto distinct = [&](int trial) {  // either sign and spread magnitudes every other time
    const double u = unit(engine);
    return trial % 8 >= 6 ? std::ldexp(u, static_cast<int>(engine() % 64) - 32) : std::fabs(u);
  };
  for (int trial = 0; trial < 600; ++trial) {
    const std::size_t m = 2 + static_cast<std::size_t>(trial % 2);
    const std::size_t n = 1 + static_cast<std::size_t>(engine() % (trial % 5 == 0 ? 80 : 24));
    std::vector<std::vector<double>> vectors(n, std::vector<double>(m));
    std::vector<double> violations(n);
    for (std::size_t c = 0; c < n; ++c) {
      for (double& v : vectors[c]) {
        v = trial % 8 == 1 && engine() % 10 == 0 ? kNaN
            : trial % 4 >= 2                     ? distinct(trial)
                                                 : values[engine() % values.size()];
      }
      violations[c] = trial % 3 == 0 ? 0.0 : levels[engine() % levels.size()];
    }
    const std::size_t keep = engine() % (n + 1);
    const std::vector<std::size_t> expected = peeled(vectors, violations, keep);
    ASSERT_EQ(survivors_of(vectors, violations, keep), expected) << "trial " << trial;
    const std::vector<ObjectiveView> views(vectors.begin(), vectors.end());
    const std::span<const std::size_t> kept = reused.select(views, violations, keep);
    ASSERT_EQ(std::vector<std::size_t>(kept.begin(), kept.end()), expected) << "trial " << trial;
  }
}

}  // namespace
}  // namespace corvalinth
