#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "core/failure.hpp"
#include "core/topology/global.hpp"
#include "core/topology/random.hpp"
#include "core/topology/ring.hpp"
#include "core/topology/von_neumann.hpp"

namespace corvalinth {
namespace {

using List = std::vector<std::size_t>;

// The neighbourhood of i as a fresh list, asked the way a run asks.
List neighbour_list(Topology& topology, std::size_t i, std::size_t n) {
  List out;
  topology.neighbours(i, n, out);
  return out;
}

// The neighbour a run follows: the minimum rule over the neighbourhood, in its order.
std::size_t best_neighbour(Topology& topology, std::size_t i, const Swarm& swarm) {
  const List list = neighbour_list(topology, i, swarm.size());
  return best_by_minimum_rule(list, swarm);
}

struct ListExample {
  const char* what;
  std::shared_ptr<Topology> topology;
  std::size_t n;
  std::size_t i;
  List expected;
};

std::shared_ptr<Topology> ring(std::uint64_t k) { return std::make_shared<RingTopology>(k); }
std::shared_ptr<Topology> grid(std::uint64_t n) {
  return std::make_shared<VonNeumannTopology>(VonNeumannTopology::from_size(n));
}

TEST(Neighbours, WorkedExamples) {
  const ListExample examples[] = {
      {"global", std::make_shared<GlobalTopology>(), 4, 2, {0, 1, 2, 3}},
      {"ring 30 first", ring(1), 30, 0, {0, 1, 29}},
      {"ring 30 last", ring(1), 30, 29, {29, 0, 28}},
      {"ring 3 radius 2", ring(2), 3, 0, {0, 1, 2}},
      {"ring of two", ring(1), 2, 1, {1, 0}},
      {"ring of one", ring(5), 1, 0, {0}},
      {"ring radius beyond the swarm", ring(1000), 4, 1, {1, 2, 0, 3}},
      {"grid 30", grid(30), 30, 0, {0, 24, 6, 5, 1}},
      {"grid 7 first", grid(7), 7, 0, {0, 4, 3, 1}},
      {"grid 7 over an empty cell", grid(7), 7, 3, {3, 2, 0}},
      {"grid of one", grid(1), 1, 0, {0}},
      {"grid of two first", grid(2), 2, 0, {0, 1}},
      {"grid of two second", grid(2), 2, 1, {1, 0}},
  };
  for (const auto& e : examples) {
    EXPECT_EQ(neighbour_list(*e.topology, e.i, e.n), e.expected) << e.what;
  }
}

TEST(VonNeumann, GridShapeFromSwarmSize) {
  const struct {
    std::uint64_t n, rows, cols;
  } shapes[] = {{30, 5, 6}, {7, 2, 4}, {2, 1, 2}, {1, 1, 1}, {16, 4, 4}, {17, 4, 5}};
  for (const auto& s : shapes) {
    const auto topology = VonNeumannTopology::from_size(s.n);
    EXPECT_EQ(topology.rows(), s.rows) << s.n;
    EXPECT_EQ(topology.cols(), s.cols) << s.n;
  }
}

TEST(Topologies, ConstructionFailures) {
  try {
    VonNeumannTopology::from_size(0);
    ADD_FAILURE();
  } catch (const CoreError& error) {
    EXPECT_STREQ(error.what(), "the grid needs rows, cols >= 1");
  }
  try {
    RandomTopology(0, 1);
    ADD_FAILURE();
  } catch (const CoreError& error) {
    EXPECT_STREQ(error.what(), "Random topology needs k >= 1 informants");
  }
}

// Every kind answers a list of distinct in-range indices that includes the particle itself, for
// every particle of every swarm size.
TEST(Neighbours, ContractHoldsForEveryKindAndSize) {
  for (std::size_t n = 1; n <= 40; ++n) {
    const std::vector<std::shared_ptr<Topology>> kinds = {
        std::make_shared<GlobalTopology>(), ring(1), ring(3), grid(n),
        std::make_shared<RandomTopology>(3, n), std::make_shared<RandomTopology>(1, 0)};
    for (const auto& topology : kinds) {
      for (std::size_t i = 0; i < n; ++i) {
        const List list = neighbour_list(*topology, i, n);
        ASSERT_FALSE(list.empty());
        EXPECT_NE(std::find(list.begin(), list.end(), i), list.end());
        EXPECT_EQ(std::set<std::size_t>(list.begin(), list.end()).size(), list.size());
        for (const std::size_t j : list) EXPECT_LT(j, n);
      }
    }
  }
}

TEST(RandomTopology, ListsTheParticleThenDistinctDrawsInOrder) {
  RandomTopology topology(3, 42);
  auto twin = SwarmRng::seed_from_u64(42);
  for (int query = 0; query < 50; ++query) {
    const std::size_t i = static_cast<std::size_t>(query) % 10;
    List expected{i};
    while (expected.size() <= 3) {
      const auto j = static_cast<std::size_t>(twin.below(10));
      if (std::find(expected.begin(), expected.end(), j) == expected.end()) expected.push_back(j);
    }
    EXPECT_EQ(neighbour_list(topology, i, 10), expected);
  }
}

TEST(RandomTopology, SmallSwarmsAndSeeds) {
  RandomTopology three(3, 9);
  for (std::size_t i = 0; i < 3; ++i) {
    const List list = neighbour_list(three, i, 3);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], i);
  }
  // A swarm of one draws nothing, so the next query sees an untouched generator.
  RandomTopology a(3, 5), b(3, 5);
  EXPECT_EQ(neighbour_list(a, 0, 1), List{0});
  EXPECT_EQ(neighbour_list(a, 4, 20), neighbour_list(b, 4, 20));
  // The same seed replays the same sequence of graphs; another seed does not.
  RandomTopology c(3, 6);
  bool differs = false;
  for (std::size_t q = 0; q < 20; ++q) {
    const List la = neighbour_list(a, q, 20);
    EXPECT_EQ(la, neighbour_list(b, q, 20));
    differs = differs || la != neighbour_list(c, q, 20);
  }
  EXPECT_TRUE(differs);
}

Swarm swarm_with_bests(const std::vector<double>& values) {
  Swarm swarm(values.size(), 1);
  for (std::size_t i = 0; i < values.size(); ++i) swarm.best_value(i) = values[i];
  return swarm;
}

TEST(BestNeighbour, TiesKeepTheEarlierListedIndexAndNaNRanksLast) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  GlobalTopology global;
  EXPECT_EQ(best_neighbour(global, 4, swarm_with_bests({3, 2, 1, 5, 4, 1})), 2u);
  EXPECT_EQ(best_neighbour(global, 0, swarm_with_bests({nan, 7, nan, 6})), 3u);
  EXPECT_EQ(best_neighbour(global, 2, swarm_with_bests({nan, nan, nan})), 0u);
  // Ring [i, i+1, i-1]: the particle itself wins ties, then i+1 before i-1.
  RingTopology ring1(1);
  EXPECT_EQ(best_neighbour(ring1, 1, swarm_with_bests({1, 1, 1, 9})), 1u);
  EXPECT_EQ(best_neighbour(ring1, 1, swarm_with_bests({1, 5, 1, 9})), 2u);
  // Von Neumann on a 3 x 3 grid: up before down before left before right.
  auto grid9 = VonNeumannTopology::from_size(9);
  std::vector<double> values(9, 5.0);
  values[4] = 9;
  values[1] = values[7] = values[3] = values[5] = 2;  // up, down, left, right of 4 all tie
  EXPECT_EQ(best_neighbour(grid9, 4, swarm_with_bests(values)), 1u);
  values[1] = 3;
  EXPECT_EQ(best_neighbour(grid9, 4, swarm_with_bests(values)), 7u);
}

}  // namespace
}  // namespace corvalinth
