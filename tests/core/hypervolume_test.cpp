// Hypervolume, its contributions and the default reference, against worked examples, cell counts
// and the literal exclusive-volume recursion.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/failure.hpp"
#include "core/mopso/hypervolume.hpp"
#include "core/mopso/hypervolume_parts.hpp"
#include "tests/core/literal_hypervolume.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

using Vectors = std::vector<std::vector<double>>;
using Point = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct VolumeCase {
  Vectors front;
  Point reference;
  double volume;
};

void PrintTo(const VolumeCase& c, std::ostream* out) {
  for (const Point& point : c.front) print_numbers(point, *out);
  *out << " under ";
  print_numbers(c.reference, *out);
}

class Hypervolume : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(Hypervolume, WorkedExamples) {
  const auto& c = GetParam();
  const double volume = hypervolume(c.front, c.reference);
  EXPECT_EQ(volume, c.volume);
  EXPECT_EQ(std::signbit(volume), std::signbit(c.volume));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Hypervolume,
    ::testing::Values(
        VolumeCase{{{1, 2}, {2, 1}}, {3, 3}, 3.0},
        VolumeCase{{{1, 2, 3}, {2, 1, 3}, {3, 3, 1}}, {4, 4, 4}, 10.0},
        VolumeCase{{{1, 1}, {1, 1}}, {2, 2}, 1.0},        // duplicates count once
        VolumeCase{{{1, 1}, {1.5, 1.5}}, {2, 2}, 1.0},    // a dominated point adds nothing
        VolumeCase{{{1, 1}, {0.5, 2}, {3, 0}}, {2, 2}, 1.0},  // on or beyond the reference
        VolumeCase{{{1, 2}, {2, 1}}, {2, 2}, -0.0},       // nothing strictly better
        VolumeCase{{}, {1, 1}, -0.0},
        VolumeCase{{{1}, {0, 0, 0}, {kNaN, 0}, {1, 1}}, {2, 2}, 1.0},  // misfits ignored
        VolumeCase{{{}}, {}, 1.0},                        // the empty product
        VolumeCase{{{1, 1}}, {kNaN, 2}, -0.0},
        VolumeCase{{{0.5}, {0.25}, {0.75}}, {1}, 0.75},   // one objective: a length
        // Boxes nested in the sort order of every algorithm, and the linear front.
        VolumeCase{{{3, 3, 3, 3, 3}, {1, 1, 1, 1, 1}, {2, 2, 2, 2, 2}}, {4, 4, 4, 4, 4}, 243.0},
        VolumeCase{{{0, 2}, {1, 1}, {2, 0}}, {3, 3}, 6.0},
        VolumeCase{{{0, 1, 2}, {1, 2, 0}, {2, 0, 1}}, {3, 3, 3}, 13.0},  // 3 x 6 - 3 x 2 + 1
        // An infinite reference component: every remaining point dominates an unbounded box.
        VolumeCase{{{1, 2}, {2, 1}}, {3, kInf}, kInf},
        VolumeCase{{{1, 2, 3, 4}, {2, 1, 3, 4}, {5, 5, 5, 5}}, {kInf, 4, 4, 5}, kInf},
        VolumeCase{{{1, 2}, {2, 1}}, {-kInf, 3}, -0.0}));

// Volume by counting the unit cells [c, c + 1) below the reference that some point dominates
// (p <= c in every objective); exact for integer-valued points and references.
double count_dominated_cells(const Vectors& front, const Point& reference) {
  const std::size_t m = reference.size();
  std::vector<int> cell(m, 0);
  double count = 0.0;
  for (;;) {
    bool dominated = false;
    for (const Point& p : front) {
      bool covers = true;
      for (std::size_t k = 0; k < m && covers; ++k) covers = p[k] <= cell[k];
      dominated = dominated || covers;
    }
    if (dominated) count += 1.0;
    std::size_t k = 0;
    while (k < m && ++cell[k] >= static_cast<int>(reference[k])) cell[k++] = 0;
    if (k == m) return count;
  }
}

class HypervolumeAgainstCellCount : public ::testing::TestWithParam<std::size_t> {};

TEST_P(HypervolumeAgainstCellCount, RandomIntegerFronts) {
  const std::size_t m = GetParam();
  std::mt19937_64 random(99 + m);
  std::uniform_int_distribution<int> value(0, 6);
  std::uniform_int_distribution<int> corner(4, 7);
  std::uniform_int_distribution<std::size_t> size(0, m >= 4 ? 9 : 14);
  for (int trial = 0; trial < 150; ++trial) {
    Point reference(m);
    for (double& r : reference) r = corner(random);
    Vectors front(size(random), Point(m));
    for (Point& p : front) {
      for (double& x : p) x = value(random);  // some points reach or pass the reference
    }
    ASSERT_EQ(hypervolume(front, reference) + 0.0, count_dominated_cells(front, reference))
        << "trial " << trial;
  }
}

INSTANTIATE_TEST_SUITE_P(Objectives, HypervolumeAgainstCellCount,
                         ::testing::Values(1, 2, 3, 4, 5, 6));

// Fronts meant to trip the sweeps: points near a sphere, ties in one objective, duplicates,
// dominated points, NaN, points on the reference and points of another length.
Vectors adversarial_front(std::mt19937_64& random, std::size_t m, std::size_t n) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> kind(0, 9);
  Vectors front;
  while (front.size() < n) {
    Point p(m);
    double norm = 0.0;
    for (double& x : p) {
      x = unit(random) + 1e-3;
      norm += x * x;
    }
    for (double& x : p) x = x / std::sqrt(norm);
    switch (kind(random)) {
      case 0:
        if (!front.empty()) p = front[random() % front.size()];  // a duplicate
        break;
      case 1:
        if (!front.empty()) {  // a tie in one objective
          p[random() % m] = front[random() % front.size()][random() % m];
        }
        break;
      case 2:
        for (double& x : p) x = x + 0.1;  // most likely dominated
        break;
      case 3:
        p[random() % m] = (random() % 2 == 0) ? kNaN : 1.1;  // NaN, or on the reference
        break;
      case 4:
        for (double& x : p) x = std::round(x * 4.0) / 4.0;  // many exact ties
        break;
      case 5:
        p.push_back(0.0);  // another length
        break;
      default:
        break;
    }
    front.push_back(p);
  }
  return front;
}

struct AgreementCase {
  std::size_t m;
  std::size_t largest;  // the literal recursion grows quickly with m
};

class HypervolumeAgainstLiteralRecursion : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(HypervolumeAgainstLiteralRecursion, AdversarialFronts) {
  const auto [m, largest] = GetParam();
  std::mt19937_64 random(7 * m);
  std::uniform_int_distribution<std::size_t> size(0, largest);
  const Point reference(m, 1.1);
  for (int trial = 0; trial < 30; ++trial) {
    Vectors front = adversarial_front(random, m, trial == 0 ? largest : size(random));
    const double model = literal::hypervolume(front, reference);
    const double fast = hypervolume(front, reference);
    ASSERT_NEAR(fast, model, 1e-12 * std::abs(model)) << "trial " << trial;
    ASSERT_EQ(std::signbit(fast), std::signbit(model)) << "trial " << trial;
    // The same front in another order: the same bits.
    std::shuffle(front.begin(), front.end(), random);
    ASSERT_EQ(hypervolume(front, reference), fast) << "trial " << trial;
  }
}

INSTANTIATE_TEST_SUITE_P(Objectives, HypervolumeAgainstLiteralRecursion,
                         ::testing::Values(AgreementCase{1, 200}, AgreementCase{2, 200},
                                           AgreementCase{3, 200}, AgreementCase{4, 80},
                                           AgreementCase{5, 40}, AgreementCase{6, 25},
                                           AgreementCase{7, 18}));

class Contributions : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Contributions, EachIsTheVolumeLostWithoutThatPoint) {
  const std::size_t m = GetParam();
  std::mt19937_64 random(31 * m);
  const Point reference(m, 1.1);
  for (int trial = 0; trial < 20; ++trial) {
    const Vectors front = adversarial_front(random, m, m <= 3 ? 40 : 14);
    const std::vector<ObjectiveView> views(front.begin(), front.end());
    const std::vector<double> parts = hypervolume_contributions(views, reference);
    ASSERT_EQ(parts.size(), front.size());
    const double whole = literal::hypervolume(front, reference);
    double sum = 0.0;
    for (std::size_t i = 0; i < front.size(); ++i) {
      Vectors without = front;
      without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
      const double lost = whole - literal::hypervolume(without, reference);
      ASSERT_NEAR(parts[i], lost, 1e-12 * whole) << "trial " << trial << ", point " << i;
      sum += parts[i];
    }
    if (m == 2) {
      EXPECT_LE(sum, whole * (1.0 + 1e-15));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Objectives, Contributions, ::testing::Values(1, 2, 3, 4, 5));

TEST(Contributions, IntegerFrontsExactly) {
  // (1, 1) owns [1, 3) x [1, 3) less the cell of the dominated (2, 2); (0, 3) and (3, 0) own one
  // cell each; the twice-given (2, 2) and the NaN point own nothing.
  const Vectors front{{1, 1}, {2, 2}, {0, 3}, {3, 0}, {2, 2}, {1, kNaN}};
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  EXPECT_EQ(hypervolume_contributions(views, Point{4, 4}),
            (std::vector<double>{3, 0, 1, 1, 0, 0}));
  const Vectors cube{{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 1, 2}, {2, 2, 2}};
  const std::vector<ObjectiveView> cube_views(cube.begin(), cube.end());
  EXPECT_EQ(hypervolume_contributions(cube_views, Point{3, 3, 3}),
            (std::vector<double>{0, 3, 3, 0, 0}));  // 6 - 2 - 2 + 1; the repeated point: 0
}

TEST(Contributions, InfiniteReference) {
  // Along the first objective only (2, 1, 1) reaches infinitely far; (1, 2, 1) owns
  // [1, 2) x [2, 3) x [1, 3). Dropping a coordinate, (1, 2, 1, 1) still contributes; the
  // repeated (3, 3, 1, 1) and the dominated (4, 4, 2, 2) do not.
  const std::vector<std::pair<Vectors, Point>> cases{
      {{{1, 2, 1}, {2, 1, 1}}, {kInf, 3, 3}},
      {{{1, 2, 1, 1}, {3, 3, 1, 1}, {3, 3, 1, 1}, {4, 4, 2, 2}}, {kInf, 5, kInf, 3}},
  };
  const std::vector<std::vector<double>> expected{{2, kInf}, {kInf, 0, 0, 0}};
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const std::vector<ObjectiveView> views(cases[c].first.begin(), cases[c].first.end());
    EXPECT_EQ(hypervolume_contributions(views, cases[c].second), expected[c]) << c;
  }
}

TEST(Hypervolume, LargeFrontsNeedNoDeepRecursion) {
  // A linear front: the staircase of n points on x + y = 1 covers 1/2 - 1/(2n) of the unit square.
  const std::size_t n = 1'000'000;
  std::vector<double> values(2 * n);
  std::vector<ObjectiveView> rows(n);
  for (std::size_t i = 0; i < n; ++i) {
    values[2 * i] = static_cast<double>(i) / n;
    values[2 * i + 1] = static_cast<double>(n - i) / n;
    rows[i] = ObjectiveView(values.data() + 2 * i, 2);
  }
  EXPECT_NEAR(hypervolume(rows, Point{1, 1}), 0.5 - 0.5 / n, 1e-12);

  const std::size_t n3 = 100'000;
  std::mt19937_64 random(5);
  const Vectors sphere = adversarial_front(random, 3, n3);
  const double volume = hypervolume(sphere, Point{1.1, 1.1, 1.1});
  EXPECT_GT(volume, 1.1 * 1.1 * 1.1 - 1.0);  // at least the cube outside the unit ball's octant
  EXPECT_LT(volume, 1.1 * 1.1 * 1.1);
}

TEST(Hypervolume, StopRequestCancels) {
  StopToken stop;
  stop.request_stop();
  for (std::size_t m : {2, 3, 4, 5}) {
    const Vectors front{Point(m, 0.5), Point(m, 0.25)};
    const std::vector<ObjectiveView> views(front.begin(), front.end());
    EXPECT_THROW(hypervolume(views, Point(m, 1.0), &stop), HypervolumeCancelled) << m;
    EXPECT_THROW(hypervolume_contributions(views, Point(m, 1.0), &stop), HypervolumeCancelled) << m;
  }
  StopToken go_on;
  const Vectors front{{0.5, 0.5}};
  const std::vector<ObjectiveView> views(front.begin(), front.end());
  EXPECT_EQ(hypervolume(views, Point{1, 1}, &go_on), 0.25);
}

// The stoppable sort against std::sort: long ranges of few distinct keys (the partitions' hard
// case), of distinct keys, sorted and reversed; and a stop requested once it has begun.
TEST(SortChecking, SortsLikeStdSortAndStops) {
  using hypervolume_parts::kRowsPerStopCheck;
  using hypervolume_parts::sort_checking;
  using hypervolume_parts::StopCheck;
  std::mt19937_64 random(7);
  const std::size_t n = 5 * kRowsPerStopCheck + 3;
  for (const std::uint64_t distinct :
       {std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{1} << 40}) {
    for (const int layout : {0, 1, 2}) {
      std::vector<std::uint64_t> values(n);
      for (std::uint64_t& v : values) v = random() % distinct;
      if (layout == 1) std::sort(values.begin(), values.end());
      if (layout == 2) std::sort(values.rbegin(), values.rend());
      std::vector<std::uint64_t> expected = values;
      std::sort(expected.begin(), expected.end());
      sort_checking(values.begin(), values.end(), std::less<>(), StopCheck(nullptr));
      EXPECT_EQ(values, expected) << distinct << " " << layout;
    }
  }
  StopToken stop;
  stop.request_stop();
  std::vector<std::uint64_t> values(n);
  for (std::uint64_t& v : values) v = random();
  EXPECT_THROW(sort_checking(values.begin(), values.end(), std::less<>(), StopCheck(&stop)),
               HypervolumeCancelled);
}

TEST(DefaultReference, WorstValuePlusATenthOfTheSpreadOrOne) {
  EXPECT_EQ(default_reference(Vectors{}), Point{});
  const Point single = default_reference(Vectors{{1, 1}});
  EXPECT_EQ(single, (Point{2, 2}));
  EXPECT_EQ(hypervolume(Vectors{{1, 1}}, single), 1.0);

  const Vectors pair{{1, 5}, {3, 2}};
  const Point reference = default_reference(pair);
  EXPECT_EQ(reference, (Point{3.0 + 2.0 * 0.1, 5.0 + 3.0 * 0.1}));
  EXPECT_NEAR(reference[0], 3.2, 1e-15);
  EXPECT_NEAR(reference[1], 5.3, 1e-15);
  EXPECT_NEAR(hypervolume(pair, reference), 1.26, 1e-12);

  // NaN values are ignored; a longer point is read up to the first point's length.
  EXPECT_EQ(default_reference(Vectors{{1, kNaN}, {3, 4, 9}}), (Point{3.0 + 2.0 * 0.1, 5}));
}

TEST(DefaultReference, ShorterPointIsAnErrorNotAnOutOfBoundsRead) {
  try {
    default_reference(Vectors{{1, 2}, {1, 2}, {3}});
    FAIL() << "accepted a point shorter than the first";
  } catch (const CoreError& error) {
    EXPECT_EQ(std::string(error.what()),
              "default reference: point 2 has 1 objective values, fewer than the first point's 2");
  }
}

}  // namespace
}  // namespace corvalinth
