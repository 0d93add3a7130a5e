#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/spaces/bounds.hpp"
#include "core/spaces/continuous.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Moved {
  double x;
  double velocity;
};

Moved bring(double x, double lo, double hi, BoundsHandling mode,
            UpperMirror mirror = UpperMirror::HiMinusExcess) {
  auto rng = SwarmRng::seed_from_u64(11);
  double velocity = 1.5;
  double position = x;
  std::vector<double> p{position}, v{velocity};
  const BoundPair bound{lo, hi};
  enforce_box(p, v, std::span<const BoundPair>(&bound, 1), mode, rng, mirror);
  return {p[0], v[0]};
}

struct PolicyExample {
  BoundsHandling mode;
  double lo, hi, x;
  double expected_x;
  double expected_velocity;  // the velocity starts at 1.5
};

void PrintTo(const PolicyExample& e, std::ostream* out) {
  PrintTo(e.mode, out);
  *out << " " << e.x << " into [" << e.lo << ", " << e.hi << "]";
}

class PolicyExamples : public ::testing::TestWithParam<PolicyExample> {};

TEST_P(PolicyExamples, MoveTheCoordinateAsDocumented) {
  const auto& e = GetParam();
  const Moved m = bring(e.x, e.lo, e.hi, e.mode);
  if (std::isnan(e.expected_x)) {
    EXPECT_TRUE(std::isnan(m.x));
  } else {
    EXPECT_EQ(m.x, e.expected_x);
  }
  EXPECT_EQ(m.velocity, e.expected_velocity);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, PolicyExamples,
    ::testing::Values(
        // Inside, including exactly on a bound: untouched, velocity included.
        PolicyExample{BoundsHandling::Reflect, 0, 1, 0.0, 0.0, 1.5},
        PolicyExample{BoundsHandling::Reinit, 0, 1, 1.0, 1.0, 1.5},
        PolicyExample{BoundsHandling::Wrap, 0, 10, 10.0, 10.0, 1.5},
        // Reflect mirrors until inside and negates the velocity once.
        PolicyExample{BoundsHandling::Reflect, 0, 1, 2.5, 0.5, -1.5},
        PolicyExample{BoundsHandling::Reflect, 0, 1, -0.25, 0.25, -1.5},
        PolicyExample{BoundsHandling::Reflect, 0, 1, kNaN, kNaN, -1.5},
        // Wrap and clamp leave the velocity alone.
        PolicyExample{BoundsHandling::Wrap, 0, 10, 12.0, 2.0, 1.5},
        PolicyExample{BoundsHandling::Wrap, 0, 10, -3.0, 7.0, 1.5},
        PolicyExample{BoundsHandling::Wrap, 0, 10, 20.0, 0.0, 1.5},
        PolicyExample{BoundsHandling::Wrap, 0, 10, kInf, kNaN, 1.5},
        PolicyExample{BoundsHandling::Wrap, 0, 10, kNaN, kNaN, 1.5},
        PolicyExample{BoundsHandling::Clamp, 0, 10, 12.0, 10.0, 1.5},
        PolicyExample{BoundsHandling::Clamp, 0, 10, -3.0, 0.0, 1.5},
        PolicyExample{BoundsHandling::Clamp, 0, 10, kInf, 10.0, 1.5},
        PolicyExample{BoundsHandling::Clamp, 0, 10, kNaN, kNaN, 1.5},
        // A zero-width range sends every mode to lo; reinit also zeroes the velocity.
        PolicyExample{BoundsHandling::Clamp, 2, 2, 3.0, 2.0, 1.5},
        PolicyExample{BoundsHandling::Reflect, 2, 2, 3.0, 2.0, 1.5},
        PolicyExample{BoundsHandling::Wrap, 2, 2, 1.0, 2.0, 1.5},
        PolicyExample{BoundsHandling::Reinit, 2, 2, 1.0, 2.0, 0.0}));

TEST(Reinit, DrawsOnceInRangeAndZeroesTheVelocity) {
  for (const double x : {12.0, -3.0, kNaN, kInf}) {
    auto rng = SwarmRng::seed_from_u64(4);
    auto twin = SwarmRng::seed_from_u64(4);
    std::vector<double> p{x}, v{2.0};
    const BoundPair bound{0.0, 10.0};
    enforce_box(p, v, std::span<const BoundPair>(&bound, 1), BoundsHandling::Reinit, rng,
                UpperMirror::HiMinusExcess);
    EXPECT_EQ(p[0], twin.uniform_closed(0.0, 10.0));
    EXPECT_EQ(v[0], 0.0);
    EXPECT_EQ(rng.next_u64(), twin.next_u64());
  }
}

TEST(Reinit, ZeroWidthDrawsNothing) {
  auto rng = SwarmRng::seed_from_u64(4);
  auto twin = SwarmRng::seed_from_u64(4);
  std::vector<double> p{5.0}, v{2.0};
  const BoundPair bound{1.0, 1.0};
  enforce_box(p, v, std::span<const BoundPair>(&bound, 1), BoundsHandling::Reinit, rng,
              UpperMirror::HiMinusExcess);
  EXPECT_EQ(rng.next_u64(), twin.next_u64());
}

TEST(EnforceBox, OnlyTheOffendingCoordinateChanges) {
  auto rng = SwarmRng::seed_from_u64(1);
  std::vector<double> p{0.5, 7.0, -0.5}, v{1.0, 2.0, 3.0};
  const Bounds bounds(3, {0.0, 1.0});
  enforce_box(p, v, bounds, BoundsHandling::Reflect, rng, UpperMirror::HiMinusExcess);
  EXPECT_EQ(p, (std::vector<double>{0.5, 1.0, 0.5}));
  EXPECT_EQ(v, (std::vector<double>{1.0, -2.0, -3.0}));
}

// The reflect rule taken literally: mirror at lo, then at hi, until inside.
double literal_reflect(double x, double lo, double hi, UpperMirror mirror) {
  while (x < lo || x > hi) {
    if (x < lo) x = (lo - x) + lo;
    if (x > hi) x = mirror == UpperMirror::HiMinusExcess ? hi - (x - hi) : (hi - x) + hi;
  }
  return x;
}

TEST(Reflect, MatchesTheRepeatedMirrorWithinSixtyFourWidths) {
  auto source = SwarmRng::seed_from_u64(77);
  const BoundPair ranges[] = {{0.0, 1.0}, {-5.12, 5.12}, {-3.0, 11.5}, {100.0, 100.25}};
  for (const auto mirror : {UpperMirror::HiMinusExcess, UpperMirror::TwiceHiMinusX}) {
    for (const auto& [lo, hi] : ranges) {
      const double width = hi - lo;
      for (int i = 0; i < 2000; ++i) {
        const double x = source.uniform_closed(lo - 64 * width, hi + 64 * width);
        ASSERT_EQ(bring(x, lo, hi, BoundsHandling::Reflect, mirror).x,
                  literal_reflect(x, lo, hi, mirror))
            << x << " in [" << lo << ", " << hi << "]";
      }
    }
  }
}

TEST(Reflect, FinishesInsideForInfiniteAndFarOutCoordinates) {
  const BoundPair ranges[] = {{0.0, 1.0}, {-5.12, 5.12}, {1e16, 1e16 + 4}, {-1e300, 1e300}};
  for (const auto& [lo, hi] : ranges) {
    for (const double x : {kInf, -kInf, 1e300, -1e300, 1e20, -1e20, 1.7e308, -1.7e308}) {
      const Moved m = bring(x, lo, hi, BoundsHandling::Reflect);
      EXPECT_GE(m.x, lo) << x;
      EXPECT_LE(m.x, hi) << x;
      const bool was_outside = x < lo || x > hi;
      EXPECT_EQ(m.velocity, was_outside ? -1.5 : 1.5);
    }
  }
}

TEST(ContinuousSpace, RefusesTheFirstInvalidPair) {
  const struct {
    Bounds bounds;
    const char* message;
  } cases[] = {
      {{{0.0, kNaN}}, "invalid bound in dimension 0: 0 > NaN"},
      {{{5.0, 1.0}}, "invalid bound in dimension 0: 5 > 1"},
      {{{0.0, 1.0}, {5.0, 1.0}, {9.0, 2.0}}, "invalid bound in dimension 1: 5 > 1"},
      {{{-0.5, -1.25}}, "invalid bound in dimension 0: -0.5 > -1.25"},
      {{{kInf, -kInf}}, "invalid bound in dimension 0: inf > -inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(failure_of([&] { ContinuousSpace space(c.bounds); }), c.message);
  }
  EXPECT_NO_THROW(ContinuousSpace(Bounds{{-kInf, kInf}, {3.0, 3.0}}));
}

TEST(ContinuousSpace, InfiniteRangesFailAtInitialisation) {
  auto rng = SwarmRng::seed_from_u64(1);
  std::vector<double> buffer(1);
  const ContinuousSpace infinite(Bounds{{0.0, kInf}});
  EXPECT_THROW(infinite.init_position(rng, buffer), CoreError);
  // The range fits a double but twice it does not: only the velocity draw overflows.
  const ContinuousSpace huge(Bounds{{-5e307, 5e307}});
  EXPECT_NO_THROW(huge.init_position(rng, buffer));
  EXPECT_EQ(failure_of([&] { huge.init_velocity(rng, buffer); }),
            "Uniform::new_inclusive: range overflow");
}

TEST(ContinuousSpace, ZeroWidthStartsAtLoWithZeroVelocityAndStillDraws) {
  const ContinuousSpace space(Bounds{{2.0, 2.0}, {-1.0, 1.0}});
  auto rng = SwarmRng::seed_from_u64(6);
  auto twin = SwarmRng::seed_from_u64(6);
  std::vector<double> position(2), velocity(2);
  space.init_position(rng, position);
  space.init_velocity(rng, velocity);
  EXPECT_EQ(position[0], 2.0);
  EXPECT_EQ(velocity[0], 0.0);
  EXPECT_FALSE(std::signbit(velocity[0]));
  for (int i = 0; i < 4; ++i) twin.next_u64();
  EXPECT_EQ(rng.next_u64(), twin.next_u64());
}

}  // namespace
}  // namespace corvalinth
