#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/velocity/constriction.hpp"
#include "core/velocity/fips.hpp"
#include "core/velocity/inertia.hpp"

namespace corvalinth {
namespace {

using Vec = std::vector<double>;

struct Particle {
  Vec x, v, p, g;
  std::vector<std::span<const double>> informants;

  VelocityContext context() const { return {x, v, p, g, informants}; }
};

// The new velocity as a fresh vector, from the rule's one update.
Vec new_velocity(const VelocityRule& rule, const VelocityContext& context, SwarmRng& rng) {
  Vec out(context.position.size());
  rule.update(context, rng, out);
  return out;
}

// Draws consumed by an update, measured against a twin generator.
std::size_t draws_consumed(const VelocityRule& rule, const Particle& particle) {
  auto rng = SwarmRng::seed_from_u64(12);
  new_velocity(rule, particle.context(), rng);
  const std::uint64_t next = rng.next_u64();
  auto twin = SwarmRng::seed_from_u64(12);
  for (std::size_t k = 0; k < 10000; ++k) {
    if (twin.next_u64() == next) return k;
  }
  return std::size_t(-1);
}

TEST(ConstrictionFactor, KnownValues) {
  EXPECT_EQ(constriction_factor(4.1), 0.7298437881283576);
  EXPECT_EQ(ConstrictionRule(2.05, 2.05).chi(), 0.7298437881283576);
  EXPECT_EQ(FipsRule(4.1).chi(), 0.7298437881283576);
  const ConstrictionRule wide(3.0, 1.5);
  EXPECT_EQ(wide.chi(), constriction_factor(4.5));
  EXPECT_EQ(wide.c1(), 3.0);
  EXPECT_LT(wide.chi(), 0.7298437881283576);
}

TEST(ConstrictionFactor, RulesRefusePhiAtOrBelowFour) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    std::function<void()> build;
    const char* message;
  } cases[] = {
      {[] { (void)ConstrictionRule(2.0, 2.0); }, "constriction requires c1 + c2 > 4 (got 4)"},
      {[] { (void)ConstrictionRule(1.9, 2.0); }, "constriction requires c1 + c2 > 4 (got 3.9)"},
      {[nan] { (void)ConstrictionRule(nan, 2.0); }, "constriction requires c1 + c2 > 4 (got NaN)"},
      {[] { (void)FipsRule(4.0); }, "FIPS uses constriction: requires \u03c6 > 4 (got 4)"},
      {[] { (void)FipsRule(3.9); }, "FIPS uses constriction: requires \u03c6 > 4 (got 3.9)"},
      {[nan] { (void)FipsRule(nan); }, "FIPS uses constriction: requires \u03c6 > 4 (got NaN)"},
  };
  for (const auto& c : cases) {
    try {
      c.build();
      ADD_FAILURE() << c.message;
    } catch (const CoreError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(Inertia, FirstDrawScalesTheCognitiveTermAndSecondTheSocial) {
  auto rng = SwarmRng::seed_from_u64(12);
  auto twin = SwarmRng::seed_from_u64(12);
  const Particle cognitive{{0.0}, {0.0}, {1.0}, {0.0}, {}};
  const Particle social{{0.0}, {0.0}, {0.0}, {1.0}, {}};
  const InertiaRule rule(0.0, 1.0, 1.0);
  EXPECT_EQ(new_velocity(rule, cognitive.context(), rng)[0], twin.unit());
  twin.unit();
  new_velocity(rule, social.context(), rng);
  twin.unit();
  const double u2 = twin.unit();
  auto again = SwarmRng::seed_from_u64(12);
  again.unit();
  again.unit();
  EXPECT_EQ(new_velocity(rule, social.context(), again)[0], u2);
}

TEST(Inertia, ZeroCoefficientsGiveZeroButStillDrawTwicePerDimension) {
  const Particle particle{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {0, 0, 0}, {}};
  const InertiaRule rule(0.0, 0.0, 0.0);
  auto rng = SwarmRng::seed_from_u64(1);
  EXPECT_EQ(new_velocity(rule, particle.context(), rng), (Vec{0, 0, 0}));
  EXPECT_EQ(draws_consumed(rule, particle), 6u);
}

TEST(Constriction, ZeroPullLeavesScaledVelocity) {
  // With p = g = x every draw multiplies a zero difference.
  const Particle particle{{1, 2}, {0.5, -4}, {1, 2}, {1, 2}, {}};
  const ConstrictionRule rule(2.05, 2.05);
  auto rng = SwarmRng::seed_from_u64(1);
  EXPECT_EQ(new_velocity(rule, particle.context(), rng),
            (Vec{0.5 * rule.chi(), -4 * rule.chi()}));
  EXPECT_EQ(draws_consumed(rule, particle), 4u);
}

TEST(Fips, DrawsOncePerInformantAndDimension) {
  Particle particle{{1, 2, 3}, {1, 1, 1}, {}, {}, {}};
  const Vec a{1, 2, 3}, b{1, 2, 3}, c{1, 2, 3};
  particle.p = particle.g = a;
  particle.informants = {a, b, c};
  const FipsRule rule(4.1);
  auto rng = SwarmRng::seed_from_u64(1);
  // Informants equal to x: every term is zero and the result is v * chi.
  EXPECT_EQ(new_velocity(rule, particle.context(), rng), (Vec(3, rule.chi())));
  EXPECT_EQ(draws_consumed(rule, particle), 9u);
  particle.informants.clear();
  EXPECT_EQ(draws_consumed(rule, particle), 0u);
}

TEST(Fips, InformantsAreDrawnDimensionByDimension) {
  // Informant 0 pulls only in dimension 0 and informant 1 only in dimension 1, so dimension 1's
  // value is made of the fourth draw: draws run over informants within a dimension.
  const Vec first{1.0, 0.0}, second{0.0, 1.0};
  Particle particle{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {first, second}};
  const FipsRule rule(4.1);
  auto rng = SwarmRng::seed_from_u64(31);
  auto twin = SwarmRng::seed_from_u64(31);
  const double share = 4.1 / 2.0;
  const double u0 = twin.unit();
  twin.unit();
  twin.unit();
  const double u3 = twin.unit();
  const Vec result = new_velocity(rule, particle.context(), rng);
  EXPECT_EQ(result[0], (u0 * share) * rule.chi());
  EXPECT_EQ(result[1], (u3 * share) * rule.chi());
}

}  // namespace
}  // namespace corvalinth
