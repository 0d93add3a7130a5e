#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "core/benchmarks.hpp"
#include "core/failure.hpp"
#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/grey.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"
#include "core/topology/global.hpp"
#include "core/velocity/inertia.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();

// Same value, same sign of zero, or both NaN.
bool same_double(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

// ---------------------------------------------------------------------------------------------
// Rounding and saturation

TEST(IntegerConversion, RoundsHalfAwayThenSaturates) {
  const struct {
    double x;
    double rounded;
    std::int64_t saturated;
  } rows[] = {
      {0.5, 1.0, 1},
      {-0.5, -1.0, -1},
      {2.5, 3.0, 3},
      {-2.5, -3.0, -3},
      {0.49999999999999994, 0.0, 0},
      {-0.4, -0.0, 0},
      {9223372036854774784.0, 9223372036854774784.0, 9223372036854774784},
      {9223372036854775808.0, 9223372036854775808.0, kI64Max},
      {-9223372036854775808.0, -9223372036854775808.0, kI64Min},
      {-1e19, -1e19, kI64Min},
      {kInf, kInf, kI64Max},
      {-kInf, -kInf, kI64Min},
      {kNaN, kNaN, 0},
  };
  for (const auto& row : rows) {
    EXPECT_TRUE(same_double(round_half_away(row.x), row.rounded)) << row.x;
    EXPECT_EQ(nearest_i64(row.x), row.saturated) << row.x;
  }
  EXPECT_EQ(saturating_i64(-3.7), -3);  // not whole: truncated towards zero
}

// ---------------------------------------------------------------------------------------------
// IntegerSpace and the binary space

TEST(IntegerSpace, DecodeRoundsSaturatesAndClamps) {
  const IntegerSpace space(IntegerBounds{{-5, 5}});
  const struct {
    double x;
    std::int64_t expected;
  } rows[] = {
      {-5.5, -5}, {4.5, 5},    {-0.4, 0},  {kNaN, 0},   {0.5, 1},   {-0.5, -1},
      {2.5, 3},   {4.49, 4},   {1e300, 5}, {-kInf, -5}, {kInf, 5},  {-9.2e18, -5},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(space.decode(std::vector<double>{row.x}), std::vector<std::int64_t>{row.expected})
        << row.x;
  }
}

TEST(IntegerSpace, BinaryDecodesToZeroOrOne) {
  const IntegerSpace space = IntegerSpace::binary(1);
  EXPECT_EQ(space.bounds(), (Bounds{{0.0, 1.0}}));
  const struct {
    double x;
    std::int64_t expected;
  } rows[] = {{0.5, 1}, {0.49, 0}, {0.0, 0}, {1.0, 1}, {-0.3, 0}, {1.7, 1}, {-2.0, 0}, {kNaN, 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(space.decode(std::vector<double>{row.x}), std::vector<std::int64_t>{row.expected})
        << row.x;
  }
}

TEST(IntegerSpace, RealBoundsAreRoundedAndSaturated) {
  const IntegerSpace space = IntegerSpace::from_real_bounds(
      {{-5.5, 5.5}, {-2.5, 2.5}, {0.4, 0.6}, {kNaN, 3.0}, {1e19, 2e19}, {-kInf, -1e19}});
  const IntegerBounds expected{{-6, 6}, {-3, 3}, {0, 1}, {0, 3}, {kI64Max, kI64Max},
                               {kI64Min, kI64Min}};
  EXPECT_EQ(space.integer_bounds(), expected);
  EXPECT_EQ(space.bounds()[0], (BoundPair{-6.0, 6.0}));
  EXPECT_EQ(space.dim(), 6u);
}

TEST(IntegerSpace, ConstructionFailures) {
  EXPECT_EQ(failure_of([] { IntegerSpace(IntegerBounds{{0, 1}, {5, 1}}); }),
            "invalid bound in dimension 1: 5 > 1");
  EXPECT_EQ(failure_of([] { IntegerSpace(IntegerBounds{{-1, kI64Max}}); }),
            "integer bounds in dimension 0 are too wide: -1 .. 9223372036854775807");
  EXPECT_EQ(failure_of([] { IntegerSpace(IntegerBounds{{0, 0}, {kI64Min, 0}}); }),
            "integer bounds in dimension 1 are too wide: -9223372036854775808 .. 0");
  EXPECT_EQ(failure_of([] { IntegerSpace::from_real_bounds({{-1e19, 1e19}}); }),
            "integer bounds in dimension 0 are too wide: -9223372036854775808 .. "
            "9223372036854775807");
  // The widest ranges that still fit are accepted.
  EXPECT_EQ(failure_of([] { IntegerSpace(IntegerBounds{{kI64Min, -1}, {0, kI64Max}}); }),
            "(no failure)");
}

TEST(IntegerSpace, DrawsLikeABoxButWithTheIntegerWidth) {
  // Beyond 2^53 the converted bounds (1.0, 2^53) are 2^53 - 1 apart, the integers exactly 2^53.
  constexpr std::int64_t kTwoTo53 = std::int64_t{1} << 53;
  const IntegerSpace space(IntegerBounds{{1, kTwoTo53 + 1}, {-3, 4}});
  auto rng = SwarmRng::seed_from_u64(5);
  auto twin = SwarmRng::seed_from_u64(5);
  std::vector<double> position(2), velocity(2);
  space.init_position(rng, position);
  space.init_velocity(rng, velocity);
  EXPECT_EQ(position[0], twin.uniform_closed(1.0, 9007199254740992.0));
  EXPECT_EQ(position[1], twin.uniform_closed(-3.0, 4.0));
  EXPECT_EQ(velocity[0], twin.uniform_closed(-9007199254740992.0, 9007199254740992.0));
  EXPECT_EQ(velocity[1], twin.uniform_closed(-7.0, 7.0));
}

// ---------------------------------------------------------------------------------------------
// MixedSpace

TEST(MixedSpace, DecodeByType) {
  const MixedSpace space({{-5.0, 5.0}, {0.6, 2.4}, {-10.0, 10.0}, {-5.0, 5.0}},
                         {VarType::Real, VarType::Integer, VarType::Binary, VarType::Integer});
  const struct {
    std::size_t dimension;
    double x;
    double expected;
  } rows[] = {
      {0, 0.3, 0.3},  {0, kNaN, kNaN}, {0, 7.0, 7.0},                      // real: as is
      {1, 0.6, 1.0},  {1, 2.4, 2.0},   {1, 0.4, 1.0},  {1, 2.6, 2.0},      // rounded bounds {1, 2}
      {1, 1.5, 2.0},  {1, kNaN, 1.0},                                      // NaN -> 0, clamped
      {2, 0.5, 1.0},  {2, 0.49, 0.0},  {2, -3.0, 0.0}, {2, 7.0, 1.0},      // binary
      {2, kNaN, kNaN}, {2, -0.3, -0.0},                                    // rounding kept as is
      {3, kNaN, 0.0}, {3, -5.5, -5.0}, {3, 4.5, 5.0},  {3, -0.4, 0.0},
  };
  for (const auto& row : rows) {
    std::vector<double> position{0.0, 1.0, 0.0, 0.0};
    position[row.dimension] = row.x;
    const std::vector<double> decoded = space.decode(position);
    EXPECT_TRUE(same_double(decoded[row.dimension], row.expected))
        << "dimension " << row.dimension << ", x = " << row.x << " -> " << decoded[row.dimension];
  }
}

TEST(MixedSpace, BinaryBoundsAreForcedAndOthersChecked) {
  const MixedSpace space({{-10.0, 10.0}, {kNaN, kNaN}, {5.0, 1.0}, {0.6, 2.4}},
                         {VarType::Binary, VarType::Binary, VarType::Binary, VarType::Integer});
  EXPECT_EQ(space.bounds(), (Bounds{{0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0}, {0.6, 2.4}}));

  EXPECT_EQ(failure_of([] { MixedSpace({{0.0, 1.0}, {0.0, 1.0}}, {VarType::Real}); }),
            "assertion `left == right` failed: bounds and types must have the same length\n"
            "  left: 2\n"
            " right: 1");
  EXPECT_EQ(failure_of([] {
              MixedSpace({{0.0, 1.0}, {5.0, 1.0}}, {VarType::Binary, VarType::Integer});
            }),
            "invalid bound in dimension 1: 5 > 1");
  EXPECT_EQ(failure_of([] { MixedSpace({{0.0, kNaN}}, {VarType::Real}); }),
            "invalid bound in dimension 0: 0 > NaN");
}

TEST(MixedSpace, VarTypeNames) {
  const struct {
    const char* name;
    std::optional<VarType> type;
  } rows[] = {
      {"real", VarType::Real},       {"float", VarType::Real},  {"continuous", VarType::Real},
      {"integer", VarType::Integer}, {"int", VarType::Integer}, {"binary", VarType::Binary},
      {"bin", VarType::Binary},      {"Integer", std::nullopt}, {"", std::nullopt},
      {"bool", std::nullopt},        {"real ", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(var_type_from_name(row.name), row.type) << row.name;
}

// ---------------------------------------------------------------------------------------------
// GreySpace

TEST(GreySpace, ProjectionCentreFirstThenSpread) {
  const struct {
    double lo, hi, cap;
    double center, spread;
    double expected_center, expected_spread;
  } rows[] = {
      {-5, 5, kInf, 7.0, 3.0, 5.0, 0.0},     // center pushed to a bound leaves no room
      {-5, 5, kInf, 4.0, 3.0, 4.0, 1.0},
      {-5, 5, kInf, 0.0, -2.0, 0.0, 0.0},
      {-5, 5, kInf, 1.0, 2.0, 1.0, 2.0},     // feasible: untouched
      {-5, 5, 0.5, 0.0, 3.0, 0.0, 0.5},
      {-5, 5, 0.5, -7.0, 0.2, -5.0, 0.0},
      {-5, 5, 0.5, kNaN, 3.0, kNaN, 0.5},    // NaN room is ignored: the cap alone limits
      {-5, 5, kInf, kNaN, 3.0, kNaN, 3.0},
      {-5, 5, kInf, kNaN, -1.0, kNaN, 0.0},
      {-5, 5, kInf, 0.0, kNaN, 0.0, kNaN},   // clamping keeps a NaN spread
      {1, 1, kInf, 3.0, 2.0, 1.0, 0.0},
      {-5, 5, 0.0, 2.0, 0.1, 2.0, 0.0},
  };
  for (const auto& row : rows) {
    const GreySpace space({{row.lo, row.hi}}, {row.cap});
    std::vector<double> position{row.center, row.spread};
    std::vector<double> velocity{1.5, -2.5};
    auto rng = SwarmRng::seed_from_u64(1);
    auto twin = SwarmRng::seed_from_u64(1);
    space.enforce_bounds(position, velocity, BoundsHandling::Reinit, rng);
    EXPECT_TRUE(same_double(position[0], row.expected_center)) << row.center << ", " << row.spread;
    EXPECT_TRUE(same_double(position[1], row.expected_spread)) << row.center << ", " << row.spread;
    EXPECT_EQ(velocity, (std::vector<double>{1.5, -2.5}));
    EXPECT_EQ(rng.next_u64(), twin.next_u64());  // nothing drawn, whatever the policy
  }
}

TEST(GreySpace, DecodeGivesPairsWithAbsoluteSpread) {
  const GreySpace space({{-5.0, 5.0}, {0.0, 1.0}}, {kInf, kInf});
  EXPECT_EQ(space.dim(), 4u);
  const std::vector<GreyNumber> expected{{1.0, 0.25}, {0.5, 0.0}};
  EXPECT_EQ(space.decode(std::vector<double>{1.0, -0.25, 0.5, 0.0}), expected);
}

TEST(GreySpace, InitialisationDrawsCentreThenSpreadInItsRoom) {
  const GreySpace space({{-5.0, 5.0}, {0.0, 10.0}}, {kInf, 0.75});
  auto rng = SwarmRng::seed_from_u64(9);
  auto twin = SwarmRng::seed_from_u64(9);
  std::vector<double> position(4), velocity(4);
  space.init_position(rng, position);
  space.init_velocity(rng, velocity);

  const double c0 = twin.uniform_closed(-5.0, 5.0);
  const double s0 = twin.uniform_closed(0.0, std::min(c0 + 5.0, 5.0 - c0));
  const double c1 = twin.uniform_closed(0.0, 10.0);
  const double s1 = twin.uniform_closed(0.0, std::min(std::min(c1, 10.0 - c1), 0.75));
  EXPECT_EQ(position, (std::vector<double>{c0, s0, c1, s1}));
  const double vc0 = twin.uniform_closed(-10.0, 10.0);
  const double vs0 = twin.uniform_closed(-5.0, 5.0);
  const double vc1 = twin.uniform_closed(-10.0, 10.0);
  const double vs1 = twin.uniform_closed(-0.75, 0.75);
  EXPECT_EQ(velocity, (std::vector<double>{vc0, vs0, vc1, vs1}));
  EXPECT_EQ(rng.next_u64(), twin.next_u64());
}

TEST(GreySpace, ZeroCapAndZeroWidthKeepNumbersCrisp) {
  const GreySpace space({{-5.0, 5.0}, {1.0, 1.0}}, {0.0, kInf});
  auto rng = SwarmRng::seed_from_u64(3);
  std::vector<double> position(4), velocity(4);
  for (int draw = 0; draw < 50; ++draw) {
    space.init_position(rng, position);
    space.init_velocity(rng, velocity);
    EXPECT_EQ(position[1], 0.0);
    EXPECT_EQ(velocity[1], 0.0);
    EXPECT_EQ(position[2], 1.0);
    EXPECT_EQ(position[3], 0.0);
    EXPECT_EQ(velocity[2], 0.0);
    EXPECT_EQ(velocity[3], 0.0);
  }
}

TEST(GreySpace, ConstructionFailures) {
  EXPECT_EQ(failure_of([] { GreySpace({{0.0, 1.0}}, {}); }),
            "assertion `left == right` failed: bounds and max_spread must have the same length\n"
            "  left: 1\n"
            " right: 0");
  EXPECT_EQ(failure_of([] { GreySpace({{3.0, 2.0}}, {-1.0}); }),
            "invalid bound in variable 0: 3 > 2");
  EXPECT_EQ(failure_of([] { GreySpace({{0.0, 1.0}}, {-0.1}); }),
            "negative max spread in variable 0: -0.1");
  EXPECT_EQ(failure_of([] { GreySpace({{0.0, 1.0}, {kNaN, 1.0}}, {1.0, 1.0}); }),
            "invalid bound in variable 1: NaN > 1");
  EXPECT_EQ(failure_of([] { GreySpace({{0.0, 1.0}, {0.0, 1.0}}, {kInf, kNaN}); }),
            "negative max spread in variable 1: NaN");
  EXPECT_EQ(failure_of([] { GreySpace({{-kInf, 0.0}}, {0.0}); }), "(no failure)");
}

TEST(GreySpace, InfiniteWidthFailsAtInitialisation) {
  const GreySpace space({{-kInf, 0.0}}, {kInf});
  auto rng = SwarmRng::seed_from_u64(3);
  std::vector<double> position(2);
  EXPECT_EQ(failure_of([&] { space.init_position(rng, position); }),
            "Uniform::new_inclusive: range overflow");
}

// ---------------------------------------------------------------------------------------------
// The contract every space keeps, checked over every kind.

struct ContinuousKind {
  static constexpr const char* kName = "continuous";
  static ContinuousSpace make() {
    return ContinuousSpace({{-5.0, 5.0}, {0.0, 1.0}, {-100.0, -50.0}, {2.0, 2.0}});
  }
  static NativeObjective objective() { return {&sphere}; }
};

struct IntegerKind {
  static constexpr const char* kName = "integer";
  static IntegerSpace make() {
    return IntegerSpace::from_real_bounds({{-5.5, 5.5}, {0.0, 3.0}, {-100.0, -50.0}, {2.0, 2.0}});
  }
  static NativeIntegerObjective objective() { return {&sphere}; }
};

struct BinaryKind {
  static constexpr const char* kName = "binary";
  static IntegerSpace make() { return IntegerSpace::binary(4); }
  static NativeIntegerObjective objective() { return {&rastrigin}; }
};

struct MixedKind {
  static constexpr const char* kName = "mixed";
  static MixedSpace make() {
    return MixedSpace({{-5.0, 5.0}, {0.6, 2.4}, {-10.0, 10.0}, {2.0, 2.0}},
                      {VarType::Real, VarType::Integer, VarType::Binary, VarType::Integer});
  }
  static NativeObjective objective() { return {&sphere}; }
};

struct GreyKind {
  static constexpr const char* kName = "grey";
  static GreySpace make() {
    return GreySpace({{-5.0, 5.0}, {1.0, 1.0}, {0.0, 10.0}}, {kInf, kInf, 0.5});
  }
  static NativeGreyObjective objective() { return {&grey_sphere}; }
};

// Inside the box for the box spaces; inside the feasible region for the grey space.
template <typename Space>
bool is_inside(const Space& space, std::span<const double> position) {
  if constexpr (std::is_same_v<Space, GreySpace>) {
    for (std::size_t i = 0; i < space.variables(); ++i) {
      const auto [lo, hi] = space.bounds()[i];
      const double center = position[2 * i];
      const double spread = position[2 * i + 1];
      if (!(lo <= center && center <= hi)) return false;
      if (!(0.0 <= spread && spread <= space.room(i, center))) return false;
    }
    return true;
  } else {
    for (std::size_t i = 0; i < space.dim(); ++i) {
      const auto [lo, hi] = space.bounds()[i];
      if (!(lo <= position[i] && position[i] <= hi)) return false;
    }
    return true;
  }
}

// A batch objective built from a per-particle one: decodes every particle with the space.
template <typename Space, typename Objective>
struct BatchOf {
  Objective objective;
  std::vector<typename Space::Element> point{};

  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    values.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) {
      space.decode_into(swarm.position(i), point);
      values.push_back(objective.evaluate(point));
    }
  }
};

template <typename Kind>
class SpaceContract : public testing::Test {
 protected:
  using Space = decltype(Kind::make());
  const Space space_ = Kind::make();

  // Coordinates from a few widths outside the range to far away, so that every policy has work.
  std::vector<double> wild_position(SwarmRng& rng) const {
    std::vector<double> position(space_.dim());
    for (double& x : position) {
      const double kind = rng.unit();
      if (kind < 0.1) {
        x = rng.uniform_closed(-1e12, 1e12);
      } else {
        x = rng.uniform_closed(-120.0, 30.0);
      }
    }
    return position;
  }
};

struct KindNames {
  template <typename Kind>
  static std::string GetName(int) {
    return Kind::kName;
  }
};

using SpaceKinds = testing::Types<ContinuousKind, IntegerKind, BinaryKind, MixedKind, GreyKind>;
TYPED_TEST_SUITE(SpaceContract, SpaceKinds, KindNames);

TYPED_TEST(SpaceContract, InitialPositionsAreInside) {
  auto rng = SwarmRng::seed_from_u64(21);
  std::vector<double> position(this->space_.dim());
  std::vector<double> velocity(this->space_.dim());
  for (int draw = 0; draw < 200; ++draw) {
    this->space_.init_position(rng, position);
    this->space_.init_velocity(rng, velocity);
    EXPECT_TRUE(is_inside(this->space_, position)) << "draw " << draw;
  }
}

TYPED_TEST(SpaceContract, EnforceBoundsBringsEveryPositionInside) {
  const BoundsHandling modes[] = {BoundsHandling::Clamp, BoundsHandling::Reflect,
                                  BoundsHandling::Wrap, BoundsHandling::Reinit};
  for (const BoundsHandling mode : modes) {
    auto rng = SwarmRng::seed_from_u64(33);
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<double> position = this->wild_position(rng);
      std::vector<double> velocity(position.size(), 1.0);
      this->space_.enforce_bounds(position, velocity, mode, rng);
      EXPECT_TRUE(is_inside(this->space_, position))
          << "mode " << static_cast<int>(mode) << ", trial " << trial;

      // A position that is already inside is left alone, velocity included.
      const std::vector<double> inside = position;
      const std::vector<double> inside_velocity = velocity;
      this->space_.enforce_bounds(position, velocity, mode, rng);
      EXPECT_EQ(position, inside);
      EXPECT_EQ(velocity, inside_velocity);
    }
  }
}

TYPED_TEST(SpaceContract, DecodeReturnsAnIndependentCopy) {
  auto rng = SwarmRng::seed_from_u64(4);
  std::vector<double> position(this->space_.dim());
  this->space_.init_position(rng, position);
  const std::vector<double> original = position;

  auto decoded = this->space_.decode(position);
  const auto first = decoded;
  decoded.front() = decoded.back();
  decoded.push_back(decoded.front());
  EXPECT_EQ(position, original);
  EXPECT_EQ(this->space_.decode(position), first);

  // decode_into replaces whatever the buffer held.
  auto buffer = first;
  buffer.resize(buffer.size() + 3);
  this->space_.decode_into(position, buffer);
  EXPECT_EQ(buffer, first);
}

TYPED_TEST(SpaceContract, SeededRunsRepeatExactly) {
  using KindSpace = typename TestFixture::Space;
  using Objective = decltype(TypeParam::objective());
  SwarmConfig config;
  config.n_particles = 8;
  config.max_iter = 15;
  config.seed = 2024;
  config.bounds_handling = BoundsHandling::Reflect;
  const InertiaRule rule(config.w, config.c1, config.c2);
  GlobalTopology topology;

  const auto run_once = [&] {
    Objective objective = TypeParam::objective();
    return run(config, this->space_, rule, topology, objective);
  };
  const auto batch_once = [&] {
    BatchOf<KindSpace, Objective> objective{TypeParam::objective()};
    return run_batch(config, this->space_, rule, topology, objective);
  };

  const auto first = run_once();
  expect_same_run(first, run_once());
  const auto batch = batch_once();
  expect_same_run(batch, batch_once());

  for (const auto* result : {&first, &batch}) {
    ASSERT_EQ(result->history.iterations(), 15u);
    EXPECT_EQ(result->evaluations, 8u * 16u);
    // The reported best is the decoded best position, and it scores the best value.
    Objective objective = TypeParam::objective();
    EXPECT_EQ(objective.evaluate(result->best_position), result->best_value);
    for (std::size_t t = 0; t < 15; ++t) {
      for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_TRUE(is_inside(this->space_, result->history.position(t, i)));
      }
    }
  }
  // Both forms start from the same swarm.
  for (std::size_t i = 0; i < 8; ++i) {
    const auto a = first.history.position(0, i);
    const auto b = batch.history.position(0, i);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end()));
  }
}

}  // namespace
}  // namespace corvalinth
