// Pareto archive: dominance, insertion, crowding distance, the adaptive grid and pruning.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/mopso/archive.hpp"
#include "core/mopso/grid.hpp"
#include "core/mopso/hypervolume.hpp"
#include "core/mopso/indexed_heap.hpp"
#include "core/mopso/value_order.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {

// Found by argument-dependent lookup, so outside the unnamed namespace.
void PrintTo(const Crowding&, std::ostream* out) { *out << "crowding"; }
void PrintTo(const Grid& grid, std::ostream* out) { *out << "grid of " << grid.divisions; }
void PrintTo(const LeastContribution&, std::ostream* out) { *out << "least contribution"; }

namespace {

using Vectors = std::vector<std::vector<double>>;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Vectors objectives_of(const ParetoArchive& archive) {
  Vectors out;
  for (const ArchiveMember& member : archive.members()) out.push_back(member.objectives);
  return out;
}

ParetoArchive archive_of(const Vectors& vectors, DiversityStrategy strategy,
                         std::size_t archive_size) {
  ParetoArchive archive(strategy, archive_size);
  for (std::size_t j = 0; j < vectors.size(); ++j) {
    const std::vector<double> position{static_cast<double>(j)};
    archive.insert(position, vectors[j]);
  }
  return archive;
}

// --- dominance ------------------------------------------------------------------------------

struct DominanceCase {
  std::vector<double> a;
  std::vector<double> b;
  bool a_dominates_b;
};

void PrintTo(const DominanceCase& c, std::ostream* out) {
  print_numbers(c.a, *out);
  *out << " over ";
  print_numbers(c.b, *out);
}

class Dominance : public ::testing::TestWithParam<DominanceCase> {};

TEST_P(Dominance, FollowsTheComponentRule) {
  const auto& c = GetParam();
  EXPECT_EQ(dominates(c.a, c.b), c.a_dominates_b);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Dominance,
    ::testing::Values(DominanceCase{{1, 2}, {2, 3}, true}, DominanceCase{{1, 3}, {1, 4}, true},
                      DominanceCase{{1, 2}, {1, 2}, false},   // equal: neither
                      DominanceCase{{1, 3}, {2, 2}, false},   // incomparable
                      DominanceCase{{2, 3}, {1, 2}, false},
                      DominanceCase{{kNaN, 1}, {0, 2}, true},  // NaN pair is neutral
                      DominanceCase{{kNaN, 2}, {0, 2}, false},
                      DominanceCase{{1, 2}, {2, 2, 0}, true},  // common prefix only
                      DominanceCase{{}, {1}, false}, DominanceCase{{}, {}, false}));

// --- insertion --------------------------------------------------------------------------------

TEST(ArchiveInsert, RefusesAnObjectiveCountOtherThanTheMembers) {
  for (const auto& candidate : Vectors{{1}, {0, 0, 0}}) {
    ParetoArchive archive = archive_of({{1, 2}}, Crowding{}, 10);
    EXPECT_EQ(failure_of([&] { archive.insert(std::vector<double>{0}, candidate); }),
              "assertion `left == right` failed: every objective vector of a run must have as "
              "many values as the first\n  left: " +
                  std::to_string(candidate.size()) + "\n right: 2");
    EXPECT_EQ(archive.size(), 1u);
  }
}

TEST(ArchiveInsert, ZeroCapacityIsRefused) {
  EXPECT_THROW(ParetoArchive(Crowding{}, 0), CoreError);
}

// Insertion spelled out as its contract reads: refused if a member dominates the candidate, then
// the members it dominates leave, then refused if a member equals it (the first one stays), else
// appended last. Each member's position is the step that offered it.
void insert_as_spelled_out(Vectors& members, std::vector<double>& positions,
                           const std::vector<double>& candidate, double position) {
  for (const auto& member : members) {
    if (dominates(member, candidate)) return;
  }
  for (std::size_t j = members.size(); j-- > 0;) {
    if (dominates(candidate, members[j])) {
      members.erase(members.begin() + static_cast<std::ptrdiff_t>(j));
      positions.erase(positions.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
  for (const auto& member : members) {
    if (member == candidate) return;  // element-wise ==: a NaN equals nothing
  }
  members.push_back(candidate);
  positions.push_back(position);
}

// How a sequence of candidates is drawn: each component from `levels` evenly spaced values in
// [0, 1] (few levels: many ties and duplicates), or with probability `special` one of NaN, both
// infinities and -0.0; on the plane where the components sum to 1 (before the special values), few
// candidates dominate each other and the archive grows past several blocks of its comparison.
struct CandidateKind {
  std::string name;
  int levels;
  double special;
  bool plane;
  int steps;
  std::size_t capacity;  // the pruned sequences' archive size
};
void PrintTo(const CandidateKind& kind, std::ostream* out) { *out << kind.name; }

class ArchiveInsert : public ::testing::TestWithParam<CandidateKind> {};

// The archive holds exactly the members, with their positions and in the order, that the
// spelled-out insertion leaves, also after prunings in between (every strategy), from the members
// each pruning kept; one to five objectives.
TEST_P(ArchiveInsert, MatchesTheSpelledOutRule) {
  const CandidateKind kind = GetParam();
  const double specials[] = {kNaN, kInf, -kInf, -0.0};
  std::mt19937_64 random(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> level(0, kind.levels - 1);
  std::uniform_int_distribution<std::size_t> pick_special(0, std::size(specials) - 1);
  for (int sequence = 0; sequence < 60; ++sequence) {
    const std::size_t m = 1 + sequence % 5;
    const DiversityStrategy strategies[] = {Crowding{}, Grid{3}, LeastContribution{}};
    const bool prunes = sequence % 2 == 1;
    ParetoArchive archive(strategies[sequence % 3], prunes ? kind.capacity : 100000);
    Vectors want;
    std::vector<double> want_positions;
    for (int step = 0; step < kind.steps; ++step) {
      if (prunes && step % 97 == 96) {
        archive.prune_and_weigh();
        want.clear();
        want_positions.clear();
        for (const ArchiveMember& member : archive.members()) {
          want.push_back(member.objectives);
          want_positions.push_back(member.position[0]);
        }
      }
      std::vector<double> v(m);
      double sum = 0.0;
      for (double& x : v) {
        x = static_cast<double>(level(random)) / static_cast<double>(kind.levels - 1);
        sum += x;
      }
      for (double& x : v) {
        if (kind.plane && sum > 0.0) x /= sum;
        if (unit(random) < kind.special) x = specials[pick_special(random)];
      }
      archive.insert(std::vector<double>{static_cast<double>(step)}, v);
      insert_as_spelled_out(want, want_positions, v, static_cast<double>(step));
      ASSERT_EQ(archive.size(), want.size()) << "sequence " << sequence << " step " << step;
      for (std::size_t j = 0; j < want.size(); ++j) {
        ASSERT_EQ(archive.members()[j].position, std::vector<double>{want_positions[j]});
        const std::vector<double>& got = archive.members()[j].objectives;
        for (std::size_t k = 0; k < m; ++k) {
          ASSERT_EQ(std::bit_cast<std::uint64_t>(got[k]), std::bit_cast<std::uint64_t>(want[j][k]));
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, ArchiveInsert,
    ::testing::Values(CandidateKind{"hostile_grid", 4, 0.3, false, 200, 6},
                      CandidateKind{"ties", 5, 0.0, false, 300, 9},
                      CandidateKind{"large_front", 1000, 0.0, true, 600, 150},
                      CandidateKind{"large_front_with_specials", 1000, 0.003, true, 600, 150},
                      CandidateKind{"coarse_front_with_specials", 12, 0.01, true, 600, 40}),
    [](const ::testing::TestParamInfo<CandidateKind>& case_info) { return case_info.param.name; });

// Random insertion sequences over small integer grids (many ties, duplicates and dominated
// candidates), with pruning in between, under both strategies.
class ArchiveInvariants : public ::testing::TestWithParam<DiversityStrategy> {};

TEST_P(ArchiveInvariants, HoldAfterEveryInsertionAndPruning) {
  std::mt19937_64 random(12345);
  for (int sequence = 0; sequence < 60; ++sequence) {
    const std::size_t m = 2 + sequence % 3;
    const std::size_t capacity = 1 + sequence % 7;
    ParetoArchive archive(GetParam(), capacity);
    std::uniform_int_distribution<int> value(0, 6);
    for (int step = 0; step < 80; ++step) {
      std::vector<double> v(m);
      for (double& x : v) x = value(random);
      archive.insert(std::vector<double>{static_cast<double>(step)}, v);

      const auto& members = archive.members();
      bool represented = false;  // the candidate is in, or some member dominates or equals it
      for (std::size_t a = 0; a < members.size(); ++a) {
        represented = represented || dominates(members[a].objectives, v) ||
                      members[a].objectives == v;
        for (std::size_t b = 0; b < members.size(); ++b) {
          if (a == b) continue;
          ASSERT_FALSE(dominates(members[a].objectives, members[b].objectives));
          ASSERT_NE(members[a].objectives, members[b].objectives);
        }
      }
      ASSERT_TRUE(represented);
      if (step % 9 == 8) {
        const std::vector<double> weights = archive.prune_and_weigh();
        ASSERT_LE(archive.size(), capacity);
        ASSERT_EQ(weights.size(), archive.size());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Strategies, ArchiveInvariants,
                         ::testing::Values(DiversityStrategy{Crowding{}},
                                           DiversityStrategy{Grid{0}}, DiversityStrategy{Grid{3}},
                                           DiversityStrategy{LeastContribution{}}));

// --- least hypervolume contribution -----------------------------------------------------------

// The cut as its rule reads: one member at a time, the one whose contribution under the default
// reference of the members left is smallest (NaN first, ties to the lowest index).
void cut_one_at_a_time(std::vector<ArchiveMember>& members, std::size_t capacity) {
  while (members.size() > capacity) {
    std::vector<ObjectiveView> views;
    for (const ArchiveMember& member : members) views.push_back(member.objectives);
    const std::vector<double> reference = default_reference(views);
    const std::vector<double> share = hypervolume_contributions(views, reference);
    std::size_t victim = 0;
    for (std::size_t j = 1; j < share.size(); ++j) {
      const double least = share[victim];
      if ((std::isnan(share[j]) && !std::isnan(least)) || share[j] < least) victim = j;
    }
    members.erase(members.begin() + static_cast<std::ptrdiff_t>(victim));
  }
}

struct FrontKind {
  std::string name;
  double scale;  // values are offset + scale * (a draw)
  double offset;
  bool coarse;  // draws on a grid of 8 values: many equal contributions
  double odd;   // a value some members take in one objective (0 for none)
  bool plane = false;  // draws on the plane where the objectives sum to a constant: none dominates
  int steps = 60;      // candidates offered
};
void PrintTo(const FrontKind& kind, std::ostream* out) { *out << kind.name; }

class ContributionCut : public ::testing::TestWithParam<FrontKind> {};

// Random fronts of two and three objectives cut from up to 60 members to a few: the archive keeps
// exactly the members, in the order, that the one-at-a-time rule keeps, and weighs them alike.
TEST_P(ContributionCut, KeepsWhatTheOneAtATimeRuleKeeps) {
  const FrontKind kind = GetParam();
  std::mt19937_64 random(99);
  for (int sequence = 0; sequence < 120; ++sequence) {
    const std::size_t m = 2 + sequence % 2;
    const std::size_t capacity = 1 + sequence % 23;
    ParetoArchive archive(LeastContribution{}, capacity);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int step = 0; step < kind.steps; ++step) {
      std::vector<double> draws(m);
      for (double& d : draws) d = kind.coarse ? std::floor(unit(random) * 8.0) : unit(random);
      // On the plane the last draw makes the sum up to that of all draws at their middle.
      if (kind.plane) {
        double sum = 0.0;
        for (std::size_t k = 0; k + 1 < m; ++k) sum = sum + draws[k];
        draws[m - 1] = (kind.coarse ? 3.5 : 0.5) * static_cast<double>(m) - sum;
      }
      std::vector<double> v(m);
      for (std::size_t k = 0; k < m; ++k) v[k] = kind.offset + kind.scale * draws[k];
      if (kind.odd != 0.0 && step % 13 == 5) v[step % m] = kind.odd;
      archive.insert(std::vector<double>{static_cast<double>(step)}, v);
    }
    std::vector<ArchiveMember> want = archive.members();
    cut_one_at_a_time(want, capacity);
    const std::vector<double> weights = archive.prune_and_weigh();
    ASSERT_EQ(archive.size(), want.size());
    for (std::size_t j = 0; j < want.size(); ++j) {
      ASSERT_EQ(archive.members()[j].position, want[j].position) << "sequence " << sequence;
    }
    Vectors kept;
    for (const ArchiveMember& member : want) kept.push_back(member.objectives);
    const std::vector<double> want_weights = crowding_distances(kept);
    ASSERT_EQ(weights.size(), want_weights.size());
    for (std::size_t j = 0; j < weights.size(); ++j) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(weights[j]),
                std::bit_cast<std::uint64_t>(want_weights[j]));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fronts, ContributionCut,
    ::testing::Values(FrontKind{"continuous", 1.0, 0.0, false, 0.0},
                      FrontKind{"coarse", 1.0, 0.0, true, 0.0},
                      FrontKind{"negative", 3.0, -2.0, false, 0.0},
                      // the reference lands on the worst value: the ends count for nothing
                      FrontKind{"far_from_zero", 1.0, 1e17, true, 0.0},
                      FrontKind{"with_nan", 1.0, 0.0, false, kNaN},
                      FrontKind{"with_infinity", 1.0, 0.0, true, kInf},
                      FrontKind{"with_minus_infinity", 1.0, 0.0, true, -kInf},
                      FrontKind{"plane", 1.0, 0.0, false, 0.0, true, 150},
                      FrontKind{"coarse_plane", 1.0, 0.0, true, 0.0, true, 150},
                      FrontKind{"coarse_plane_negative", 0.5, -3.0, true, 0.0, true, 150},
                      // contributions near the rounding of their own sums
                      FrontKind{"narrow", 1e-12, 1.0, false, 0.0},
                      FrontKind{"narrow_plane", 1e-12, 1.0, false, 0.0, true, 150}),
    [](const ::testing::TestParamInfo<FrontKind>& case_info) { return case_info.param.name; });

// The heap that orders the cut's members: after any sequence of key changes and removals its top
// is the held index of least (key, index), as a plain search finds it; keys repeat often.
TEST(IndexedHeap, TopIsTheLeastHeldAfterChangesAndRemovals) {
  std::mt19937_64 random(7);
  for (std::size_t count : {1, 2, 3, 10, 64}) {
    std::vector<int> key(count);
    const auto comes_first = [&key](std::size_t a, std::size_t b) {
      return key[a] != key[b] ? key[a] < key[b] : a < b;
    };
    for (int& k : key) k = static_cast<int>(random() % 5);
    IndexedHeap<decltype(comes_first)> heap(comes_first);
    heap.hold_all(count);
    std::vector<bool> held(count, true);
    for (std::size_t left = count; left > 0;) {
      std::size_t least = count;
      for (std::size_t j = 0; j < count; ++j) {
        if (held[j] && (least == count || comes_first(j, least))) least = j;
      }
      ASSERT_EQ(heap.top(), least);
      const std::size_t j = static_cast<std::size_t>(random() % count);
      if (!held[j]) continue;
      if (random() % 3 == 0) {
        heap.remove(j);
        held[j] = false;
        --left;
      } else {
        key[j] = static_cast<int>(random() % 5);
        heap.update(j);
      }
    }
    EXPECT_TRUE(heap.empty());
  }
}

// --- crowding distance ------------------------------------------------------------------------

TEST(CrowdingDistance, WorkedExamples) {
  EXPECT_EQ(crowding_distances(Vectors{{1, 3}, {2, 2}, {3, 1}}), (std::vector<double>{kInf, 2.0, kInf}));
  EXPECT_EQ(crowding_distances(Vectors{}), std::vector<double>{});
  // Two or fewer vectors: infinite without looking at them, lengths included.
  EXPECT_EQ(crowding_distances(Vectors{{1}, {kNaN, 2, 3}}), (std::vector<double>{kInf, kInf}));
  // An objective shared by all marks the first and last index and adds nothing else.
  EXPECT_EQ(crowding_distances(Vectors{{5, 1}, {5, 2}, {5, 4}, {5, 3}}),
            (std::vector<double>{kInf, 2.0 / 3.0, kInf, kInf}));
}

TEST(CrowdingDistance, NaNAndInfinitiesNeverCorruptTheResult) {
  // An infinite distance stays infinite, however the other objectives add up.
  const auto d = crowding_distances(Vectors{{-kInf, 0}, {0, kInf}, {kInf, 1}, {1, -kInf}});
  for (const double x : d) EXPECT_EQ(x, kInf);
  // NaN components sort last: that objective's range is NaN and adds nothing.
  const auto e = crowding_distances(Vectors{{1, kNaN}, {2, 5}, {3, 1}, {4, 2}});
  EXPECT_EQ(e[0], kInf);
  EXPECT_EQ(e[3], kInf);
  EXPECT_EQ(e[2], kInf);  // smallest of objective 1
  EXPECT_EQ(e[1], 2.0 / 3.0);
}

// How the values of a crowding test are drawn: `draw` gives one value from a generator.
struct ValueKind {
  std::string name;
  double (*draw)(std::mt19937_64&);
};
void PrintTo(const ValueKind& kind, std::ostream* out) { *out << kind.name; }

double uniform_value(std::mt19937_64& random) {
  return std::uniform_real_distribution<double>(0.0, 1.5)(random);
}
// NaN of either sign, both infinities, both zeros, a subnormal, negatives and repeats.
double special_value(std::mt19937_64& random) {
  const double values[] = {kNaN, -kNaN, kInf, -kInf, 0.0, -0.0, 4.9e-324, -1.0, 1.0, 2.5, -2.5};
  return values[std::uniform_int_distribution<std::size_t>(0, std::size(values) - 1)(random)];
}
// Values a few ulps apart (and equal ones), which share their upper bits.
double close_value(std::mt19937_64& random) {
  const double base = std::uniform_int_distribution<int>(0, 1)(random) == 0 ? 1.0 : -3.0;
  return base + 2.220446049250313e-16 * std::uniform_int_distribution<int>(0, 40)(random);
}
double mixed_value(std::mt19937_64& random) {
  const int pick = std::uniform_int_distribution<int>(0, 9)(random);
  if (pick == 0) return special_value(random);
  if (pick == 1) return close_value(random);
  return std::normal_distribution<double>(0.0, 1e3)(random);
}

// The order and distances spelled out: a stable sort of the indices by value, NaN last.
bool ascending_nan_last(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a < b); }

std::vector<std::size_t> stable_ascending(const std::vector<double>& values) {
  std::vector<std::size_t> order(values.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return ascending_nan_last(values[a], values[b]);
  });
  return order;
}

std::vector<double> crowding_as_spelled_out(const Vectors& vectors) {
  const std::size_t n = vectors.size();
  if (n <= 2) return std::vector<double>(n, kInf);
  std::vector<double> distance(n, 0.0);
  for (std::size_t k = 0; k < vectors[0].size(); ++k) {
    std::vector<double> values;
    for (const auto& v : vectors) values.push_back(v[k]);
    const std::vector<std::size_t> order = stable_ascending(values);
    distance[order.front()] = kInf;
    distance[order.back()] = kInf;
    const double range = values[order.back()] - values[order.front()];
    if (!(range > 0.0)) continue;
    for (std::size_t j = 1; j + 1 < n; ++j) {
      if (distance[order[j]] == kInf) continue;
      distance[order[j]] += (values[order[j + 1]] - values[order[j - 1]]) / range;
    }
  }
  return distance;
}

class ValueOrder : public ::testing::TestWithParam<ValueKind> {};

// The order of a stable sort by value, the crowding distances over it bit for bit, and the
// crowding cut, on lists of 0 to 300 values and one to three objectives.
TEST_P(ValueOrder, IsTheStableSortAndGivesTheSpelledOutCrowdingAndCut) {
  std::mt19937_64 random(77);
  std::vector<OrderedValue> order;
  std::vector<OrderedValue> room;
  for (int trial = 0; trial < 300; ++trial) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 300)(random);
    const std::size_t m = 1 + static_cast<std::size_t>(trial) % 3;
    Vectors vectors(n, std::vector<double>(m));
    for (auto& v : vectors) {
      for (double& x : v) x = GetParam().draw(random);
    }
    std::vector<double> first;
    for (const auto& v : vectors) first.push_back(v[0]);
    ascending_order(first, order, room);
    const std::vector<std::size_t> want = stable_ascending(first);
    ASSERT_EQ(order.size(), n);
    for (std::size_t j = 0; j < n; ++j) ASSERT_EQ(order[j].index, want[j]) << "trial " << trial;

    const std::vector<double> got = crowding_distances(vectors);
    const std::vector<double> spelled_out = crowding_as_spelled_out(vectors);
    for (std::size_t j = 0; j < n; ++j) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(got[j]), std::bit_cast<std::uint64_t>(spelled_out[j]))
          << "trial " << trial << " vector " << j;
    }

    // The crowding cut of the vectors' archive keeps the largest distances (a stable sort,
    // NaN last), in archive order, and weighs the survivors by their own distances.
    const std::size_t capacity = 1 + static_cast<std::size_t>(trial) % 7;
    ParetoArchive archive = archive_of(vectors, Crowding{}, capacity);
    const Vectors before = objectives_of(archive);
    std::vector<double> positions;
    for (const ArchiveMember& member : archive.members()) positions.push_back(member.position[0]);
    const std::vector<double> distance = crowding_distances(before);
    std::vector<std::size_t> by_distance(before.size());
    std::iota(by_distance.begin(), by_distance.end(), std::size_t{0});
    std::stable_sort(by_distance.begin(), by_distance.end(), [&](std::size_t a, std::size_t b) {
      return ascending_nan_last(-distance[a], -distance[b]);
    });
    by_distance.resize(std::min(capacity, before.size()));
    std::sort(by_distance.begin(), by_distance.end());
    Vectors survivors;
    for (const std::size_t j : by_distance) survivors.push_back(before[j]);
    const std::vector<double> weights = archive.prune_and_weigh();
    ASSERT_EQ(weights.size(), survivors.size());
    for (std::size_t j = 0; j < survivors.size(); ++j) {
      ASSERT_EQ(archive.members()[j].position[0], positions[by_distance[j]]) << "trial " << trial;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(weights[j]),
                std::bit_cast<std::uint64_t>(crowding_as_spelled_out(survivors)[j]));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueOrder,
    ::testing::Values(ValueKind{"uniform", uniform_value}, ValueKind{"special", special_value},
                      ValueKind{"close", close_value}, ValueKind{"mixed", mixed_value}),
    [](const ::testing::TestParamInfo<ValueKind>& case_info) { return case_info.param.name; });

TEST(CrowdingDistance, RefusesVectorsOfUnequalLength) {
  EXPECT_THROW(crowding_distances(Vectors{{1, 2}, {2}, {3, 0}}), CoreError);
  EXPECT_THROW(crowding_distances(Vectors{{1, 2}, {2, 1}, {3, 0, 1}}), CoreError);
}

// --- pruning ----------------------------------------------------------------------------------

TEST(CrowdingPrune, CutsOnceByDistanceAndKeepsArchiveOrder) {
  const Vectors four{{1, 4}, {2, 3}, {3, 2}, {4, 1}};
  EXPECT_EQ(crowding_distances(four), (std::vector<double>{kInf, 4.0 / 3.0, 4.0 / 3.0, kInf}));
  ParetoArchive archive = archive_of(four, Crowding{}, 3);
  EXPECT_EQ(archive.prune_and_weigh(), (std::vector<double>{kInf, 2.0, kInf}));
  EXPECT_EQ(objectives_of(archive), (Vectors{{1, 4}, {2, 3}, {4, 1}}));
  EXPECT_EQ(archive.members()[1].position, std::vector<double>{1});
}

TEST(CrowdingPrune, CapacityOneKeepsTheEarliestBoundaryMember) {
  ParetoArchive archive = archive_of({{2, 3}, {1, 4}, {3, 2}, {4, 1}}, Crowding{}, 1);
  EXPECT_EQ(archive.prune_and_weigh(), (std::vector<double>{kInf}));
  EXPECT_EQ(objectives_of(archive), (Vectors{{1, 4}}));
}

TEST(CrowdingPrune, ArchiveWithinCapacityOnlyGetsWeights) {
  const Vectors three{{1, 3}, {2, 2}, {3, 1}};
  ParetoArchive archive = archive_of(three, Crowding{}, 3);
  EXPECT_EQ(archive.prune_and_weigh(), (std::vector<double>{kInf, 2.0, kInf}));
  EXPECT_EQ(objectives_of(archive), three);
}

// --- adaptive grid ----------------------------------------------------------------------------

TEST(GridPrune, TwoDivisionsWorkedExample) {
  const Vectors four{{0, 4}, {1, 3}, {3, 1}, {4, 0}};
  EXPECT_EQ(cell_coordinates(four, 2), (std::vector<CellCoordinates>{{0, 1}, {0, 1}, {1, 0}, {1, 0}}));
  ParetoArchive archive = archive_of(four, Grid{2}, 3);
  EXPECT_EQ(archive.prune_and_weigh(), (std::vector<double>{0.5, 0.5, 1.0}));
  EXPECT_EQ(objectives_of(archive), (Vectors{{0, 4}, {1, 3}, {3, 1}}));
  EXPECT_EQ(cell_coordinates(objectives_of(archive), 2),
            (std::vector<CellCoordinates>{{0, 1}, {0, 1}, {1, 0}}));
}

TEST(GridPrune, ZeroAndOneDivisionKeepTheOldestMembers) {
  const Vectors five{{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}};
  for (const std::uint64_t d : {0u, 1u}) {
    ParetoArchive archive = archive_of(five, Grid{d}, 2);
    EXPECT_EQ(archive.prune_and_weigh(), (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(objectives_of(archive), (Vectors{{0, 4}, {1, 3}}));
    EXPECT_EQ(cell_coordinates(five, d), std::vector<CellCoordinates>(5, {0, 0}));
  }
}

TEST(GridPrune, WithinCapacityOnlyWeighs) {
  ParetoArchive single = archive_of({{7, 7}}, Grid{4}, 3);
  EXPECT_EQ(single.prune_and_weigh(), std::vector<double>{1.0});
  ParetoArchive three = archive_of({{0, 4}, {1, 3}, {4, 0}}, Grid{2}, 3);
  EXPECT_EQ(three.prune_and_weigh(), (std::vector<double>{0.5, 0.5, 1.0}));
  EXPECT_EQ(three.size(), 3u);
}

TEST(GridCells, CoordinatesOfExtremesConstantsAndNaN) {
  // Upper extreme falls into the last cell; a constant objective is cell 0 for all; NaN is 0.
  EXPECT_EQ(cell_coordinates(Vectors{{0, 5}, {10, 5}, {7.5, 5}, {kNaN, 5}}, 4),
            (std::vector<CellCoordinates>{{0, 0}, {3, 0}, {3, 0}, {0, 0}}));
  EXPECT_EQ(cell_coordinate(5.0, 0.0, 10.0, 0), 0u);
  EXPECT_EQ(cell_coordinate(1.0, 0.0, 1.0, std::numeric_limits<std::uint64_t>::max()),
            std::numeric_limits<std::uint64_t>::max() - 1);
  EXPECT_EQ(cell_coordinate(-1.0, 0.0, 1.0, 8), 0u);
  EXPECT_THROW(cell_coordinates(Vectors{{0, 1}, {1}}, 2), CoreError);
}

TEST(GridCells, OccupancyCountsMembersOfTheSameCell) {
  // Two divisions over [0, 10] per objective: cells (0, 1), (1, 0), (0, 1), (1, 1), (0, 1), (1, 0).
  const Vectors vectors{{0, 5}, {5, 0}, {0, 5}, {10, 10}, {0, 5}, {5, 0}};
  const std::vector<ObjectiveView> views(vectors.begin(), vectors.end());
  AdaptiveGrid grid;
  grid.build(views, 2);
  const auto occupancy = grid.occupancy();
  EXPECT_EQ(std::vector<std::size_t>(occupancy.begin(), occupancy.end()),
            (std::vector<std::size_t>{3, 2, 3, 1, 3, 2}));
  grid.build({}, 2);
  EXPECT_TRUE(grid.occupancy().empty());
}

}  // namespace
}  // namespace corvalinth
