// The population step's survivors: constrained domination first, and a keep that is always met.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "core/mopso/swarm_selection.hpp"

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

}  // namespace
}  // namespace corvalinth
