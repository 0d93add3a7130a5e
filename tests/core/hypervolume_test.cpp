// Hypervolume, the default reference and the non-dominated filter.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/failure.hpp"
#include "core/mopso/hypervolume.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

using Vectors = std::vector<std::vector<double>>;
using Point = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

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
        VolumeCase{{{1, 1}}, {kNaN, 2}, -0.0}));

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
  std::uniform_int_distribution<std::size_t> size(0, m == 4 ? 9 : 14);
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

INSTANTIATE_TEST_SUITE_P(Objectives, HypervolumeAgainstCellCount, ::testing::Values(2, 3, 4));

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

TEST(NondominatedUnique, KeepsInputOrderAndFirstOfEqualPoints) {
  EXPECT_EQ(nondominated_unique(Vectors{{2, 1}, {3, 3}, {1, 2}, {2, 1}, {1, 2}, {2, 2}}),
            (Vectors{{2, 1}, {1, 2}}));
  // A later point dominates an earlier one: the earlier one goes, too.
  EXPECT_EQ(nondominated_unique(Vectors{{3, 3}, {1, 1}}), (Vectors{{1, 1}}));
  EXPECT_EQ(nondominated_unique(Vectors{}), Vectors{});
}

}  // namespace
}  // namespace corvalinth
