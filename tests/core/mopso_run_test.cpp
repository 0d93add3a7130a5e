// The multi-objective run loop over every space it serves: evaluation count, history shapes,
// reproducibility, turbulence, leaders, and refusal of objective vectors of unequal length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/mopso/mopso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"
#include "core/velocity/inertia.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

// Two objectives over any point: distance to the origin and to (1, 1, ...). Counts its calls and
// keeps the points it saw.
template <typename Element>
struct TwoBowls {
  std::uint64_t calls = 0;
  std::vector<std::vector<Element>> seen;
  void evaluate(std::span<const Element> x, std::vector<double>& values) {
    ++calls;
    seen.emplace_back(x.begin(), x.end());
    double near = 0.0;
    double far = 0.0;
    for (const Element xi : x) {
      const double v = static_cast<double>(xi);
      near = near + v * v;
      far = far + (v - 1.0) * (v - 1.0);
    }
    values.assign({near, far});
  }
};

struct ContinuousCase {
  static ContinuousSpace space() { return ContinuousSpace(Bounds(3, {-2.0, 2.0})); }
};
struct IntegerCase {
  static IntegerSpace space() { return IntegerSpace(IntegerBounds(3, {-5, 5})); }
};
struct MixedCase {
  static MixedSpace space() {
    return MixedSpace(Bounds{{-2.0, 2.0}, {-5.0, 5.0}, {0.0, 1.0}},
                      {VarType::Real, VarType::Integer, VarType::Binary});
  }
};

template <typename Case>
class MopsoOverSpaces : public ::testing::Test {
 protected:
  using Space = decltype(Case::space());
  using Element = typename Space::Element;

  Space space_ = Case::space();
  InertiaRule rule_{0.4, 1.5, 1.5};

  static MopsoConfig config(DiversityStrategy strategy = Crowding{}) {
    MopsoConfig c;
    c.seed = 2024;
    c.strategy = strategy;
    c.n_particles = 7;
    c.max_iter = 6;
    c.archive_size = 4;
    c.mutation_rate = 0.5;
    return c;
  }

  MopsoResult<Element> run(const MopsoConfig& c, TwoBowls<Element>* seen = nullptr) {
    TwoBowls<Element> objective;
    auto result = run_mopso(c, space_, rule_, objective);
    if (seen != nullptr) *seen = std::move(objective);
    return result;
  }

  static void expect_same_front(const MopsoResult<Element>& a, const MopsoResult<Element>& b) {
    ASSERT_EQ(a.members.size(), b.members.size());
    for (std::size_t j = 0; j < a.members.size(); ++j) {
      EXPECT_EQ(a.members[j].position, b.members[j].position);
      EXPECT_EQ(a.members[j].objectives, b.members[j].objectives);
    }
  }
};

// The batch form of TwoBowls: every particle's decoded point, one row of two values each. With
// `ragged`, the rows after the first call have three values.
template <typename Element>
struct TwoBowlsBatch {
  TwoBowls<Element> bowls;
  bool ragged = false;
  std::vector<Element> point;
  std::vector<double> row;
  template <typename Space>
  void evaluate_batch(const Space& space, const Swarm& swarm, std::vector<double>& values) {
    values.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) {
      space.decode_into(swarm.position(i), point);
      bowls.evaluate(point, row);
      if (ragged && bowls.calls > swarm.size()) row.push_back(0.0);
      values.insert(values.end(), row.begin(), row.end());
    }
  }
};

// Answers true until iteration `last`, and keeps what it was shown.
struct StopAfter final : FrontCallback {
  std::uint64_t last;
  std::vector<FrontIterationInfo> seen;
  explicit StopAfter(std::uint64_t last_iteration) : last(last_iteration) {}
  bool on_iteration(const FrontIterationInfo& info) override {
    seen.push_back(info);
    return info.iteration < last;
  }
};

using Spaces = ::testing::Types<ContinuousCase, IntegerCase, MixedCase>;
TYPED_TEST_SUITE(MopsoOverSpaces, Spaces);

TYPED_TEST(MopsoOverSpaces, EvaluationCountAndHistoryShapes) {
  for (const DiversityStrategy strategy : {DiversityStrategy{Crowding{}}, DiversityStrategy{Grid{3}}}) {
    const MopsoConfig c = this->config(strategy);
    TwoBowls<typename TestFixture::Element> objective;
    const auto result = this->run(c, &objective);
    EXPECT_EQ(objective.calls, c.n_particles * (c.max_iter + 1));

    const History& swarm = result.swarm_history;
    ASSERT_EQ(swarm.iterations(), c.max_iter);
    EXPECT_EQ(swarm.particles, c.n_particles);
    EXPECT_EQ(swarm.dim, 3u);
    EXPECT_EQ(swarm.positions.size(), c.max_iter * c.n_particles * 3);
    // Entry 0 holds the initial positions, which the first n evaluations saw decoded.
    for (std::size_t i = 0; i < c.n_particles; ++i) {
      EXPECT_EQ(this->space_.decode(swarm.position(0, i)), objective.seen[i]);
    }
    const FrontHistory& front = result.front_history;
    ASSERT_EQ(front.iterations(), c.max_iter);
    EXPECT_EQ(front.objectives, 2u);
    for (std::size_t t = 0; t < front.iterations(); ++t) {
      EXPECT_GE(front.members(t), 1u);
      EXPECT_LE(front.members(t), c.archive_size);
    }
    EXPECT_EQ(front.values.size(), front.starts.back() * 2);
    ASSERT_GE(result.members.size(), 1u);
    EXPECT_LE(result.members.size(), c.archive_size);
    for (const auto& member : result.members) {
      EXPECT_EQ(member.position.size(), 3u);
      EXPECT_EQ(member.objectives.size(), 2u);
    }
  }
}

TYPED_TEST(MopsoOverSpaces, SeededRunsRepeatExactlyAndHistoryChangesNothingElse) {
  for (const DiversityStrategy strategy : {DiversityStrategy{Crowding{}}, DiversityStrategy{Grid{2}}}) {
    const MopsoConfig c = this->config(strategy);
    const auto first = this->run(c);
    const auto second = this->run(c);
    this->expect_same_front(first, second);
    EXPECT_EQ(first.swarm_history.positions, second.swarm_history.positions);
    EXPECT_EQ(first.front_history.values, second.front_history.values);
    EXPECT_EQ(first.front_history.starts, second.front_history.starts);

    MopsoConfig quiet = c;
    quiet.record_history = false;
    const auto unrecorded = this->run(quiet);
    this->expect_same_front(first, unrecorded);
    EXPECT_EQ(unrecorded.swarm_history.iterations(), 0u);
    EXPECT_TRUE(unrecorded.swarm_history.positions.empty());
    EXPECT_EQ(unrecorded.front_history.iterations(), 0u);
    EXPECT_EQ(unrecorded.iterations, c.max_iter);
    EXPECT_EQ(first.iterations, c.max_iter);

    MopsoConfig other_seed = c;
    other_seed.seed = 2025;
    EXPECT_NE(this->run(other_seed).swarm_history.positions, first.swarm_history.positions);
  }
}

TYPED_TEST(MopsoOverSpaces, ZeroIterationsEvaluateOnceAndPruneTheInitialArchive) {
  MopsoConfig c = this->config();
  c.max_iter = 0;
  c.n_particles = 12;
  c.archive_size = 2;
  TwoBowls<typename TestFixture::Element> objective;
  const auto result = this->run(c, &objective);
  EXPECT_EQ(objective.calls, 12u);
  EXPECT_EQ(result.swarm_history.iterations(), 0u);
  EXPECT_EQ(result.front_history.iterations(), 0u);
  ASSERT_GE(result.members.size(), 1u);
  EXPECT_LE(result.members.size(), 2u);
  for (const auto& member : result.members) {
    bool evaluated = false;
    for (const auto& point : objective.seen) evaluated = evaluated || point == member.position;
    EXPECT_TRUE(evaluated);
  }
}

TYPED_TEST(MopsoOverSpaces, DisabledTurbulenceDrawsNothing) {
  MopsoConfig c = this->config();
  c.mutation_rate = 0.0;
  const auto off = this->run(c);
  c.mutation_rate = -1.0;
  const auto negative = this->run(c);
  EXPECT_EQ(off.swarm_history.positions, negative.swarm_history.positions);
  // A tiny rate never mutates, but its unit() draw per move shifts the whole stream.
  c.mutation_rate = 1e-300;
  const auto tiny = this->run(c);
  EXPECT_NE(off.swarm_history.positions, tiny.swarm_history.positions);
}

TYPED_TEST(MopsoOverSpaces, ObjectiveVectorsOfUnequalLengthAreRefused) {
  using Coordinate = typename TestFixture::Element;
  // Answers with two values, except at one evaluation (initial phase or an iteration).
  struct Ragged {
    std::uint64_t odd_call;
    std::uint64_t odd_length;
    std::uint64_t calls = 0;
    void evaluate(std::span<const Coordinate>, std::vector<double>& values) {
      values.assign(calls++ == odd_call ? odd_length : 2, 1.0);
    }
  };
  const MopsoConfig c = this->config();
  for (const std::uint64_t odd_call : {1u, 10u}) {
    for (const std::uint64_t odd_length : {1u, 3u}) {
      Ragged objective{odd_call, odd_length};
      EXPECT_EQ(failure_of([&] { run_mopso(c, this->space_, this->rule_, objective); }),
                "assertion `left == right` failed: every objective vector of a run must have "
                "as many values as the first\n  left: " +
                    std::to_string(odd_length) + "\n right: 2")
          << "call " << odd_call;
      EXPECT_EQ(objective.calls, odd_call + 1);  // stopped at the offending evaluation
    }
  }
}

TEST(MopsoIntegerSpace, FrontIsDecodedWhileHistoryKeepsRealPositions) {
  const IntegerSpace space(IntegerBounds(2, {-5, 5}));
  const InertiaRule rule(0.4, 1.5, 1.5);
  MopsoConfig c;
  c.seed = 3;
  c.n_particles = 10;
  c.max_iter = 5;
  TwoBowls<std::int64_t> objective;
  const auto result = run_mopso(c, space, rule, objective);
  bool fractional = false;
  for (const double x : result.swarm_history.positions) fractional = fractional || x != std::round(x);
  EXPECT_TRUE(fractional);
  for (const auto& member : result.members) {
    for (const std::int64_t x : member.position) {
      EXPECT_GE(x, -5);
      EXPECT_LE(x, 5);
    }
  }
}

// --- leaders and turbulence, observed through a rule that never moves the particles ---------

// Zero velocity; records every leader it is shown and checks that no informants come with it.
class StillRule final : public VelocityRule {
 public:
  void update(const VelocityContext& context, SwarmRng&,
              std::span<double> new_velocity) const override {
    EXPECT_TRUE(context.informants.empty());
    EXPECT_EQ(context.neighbourhood_best.size(), context.position.size());
    leaders.emplace_back(context.neighbourhood_best.begin(), context.neighbourhood_best.end());
    for (double& v : new_velocity) v = 0.0;
  }
  bool uses_informants() const override { return false; }
  mutable std::vector<std::vector<double>> leaders;
};

// The point itself is the objective vector, so the front history shows the archive's positions.
struct Identity {
  void evaluate(std::span<const double> x, std::vector<double>& values) {
    values.assign(x.begin(), x.end());
  }
};

class MopsoLeaders : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(MopsoLeaders, EveryLeaderIsAMemberOfThatIterationsArchive) {
  const ContinuousSpace space(Bounds(2, {0.0, 1.0}));
  StillRule rule;
  Identity objective;
  MopsoConfig c;
  c.seed = 11;
  c.n_particles = 9;
  c.max_iter = 4;
  c.archive_size = GetParam();
  c.mutation_rate = 0.3;
  const auto result = run_mopso(c, space, rule, objective);
  ASSERT_EQ(rule.leaders.size(), c.n_particles * c.max_iter);
  const FrontHistory& front = result.front_history;
  for (std::size_t t = 0; t < c.max_iter; ++t) {
    for (std::size_t i = 0; i < c.n_particles; ++i) {
      const auto& leader = rule.leaders[t * c.n_particles + i];
      bool found = false;
      for (std::size_t j = 0; j < front.members(t); ++j) {
        const auto member = front.objective_vector(t, j);
        found = found || std::vector<double>(member.begin(), member.end()) == leader;
      }
      EXPECT_TRUE(found) << "iteration " << t << ", particle " << i;
      // With a single member everybody follows it.
      if (c.archive_size == 1) {
        EXPECT_EQ(leader, rule.leaders[t * c.n_particles]);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ArchiveSizes, MopsoLeaders, ::testing::Values(1, 3, 100));

TEST(MopsoTurbulence, MutatesInsideTheBoxAndNeverAFlatDimension) {
  const ContinuousSpace space(Bounds{{0.0, 1.0}, {3.0, 3.0}, {-1.0, 2.0}});
  StillRule rule;
  Identity objective;
  MopsoConfig c;
  c.seed = 5;
  c.n_particles = 20;
  c.max_iter = 30;
  c.mutation_rate = 10.0;  // fires at nearly every move
  const auto result = run_mopso(c, space, rule, objective);
  const History& history = result.swarm_history;
  std::size_t changed = 0;
  for (std::size_t t = 0; t < history.iterations(); ++t) {
    for (std::size_t i = 0; i < c.n_particles; ++i) {
      const auto x = history.position(t, i);
      EXPECT_GE(x[0], 0.0);
      EXPECT_LE(x[0], 1.0);
      EXPECT_EQ(x[1], 3.0);
      EXPECT_GE(x[2], -1.0);
      EXPECT_LE(x[2], 2.0);
      if (t > 0) {
        const auto before = history.position(t - 1, i);
        if (!std::equal(x.begin(), x.end(), before.begin())) ++changed;
      }
    }
  }
  EXPECT_GT(changed, c.n_particles * (c.max_iter - 1) / 2);
}

TEST(MopsoVelocityLimit, ZeroLimitKeepsParticlesInPlace) {
  const ContinuousSpace space(Bounds(3, {-2.0, 2.0}));
  const InertiaRule rule(0.9, 2.0, 2.0);
  TwoBowls<double> objective;
  MopsoConfig c;
  c.seed = 8;
  c.n_particles = 6;
  c.max_iter = 5;
  c.mutation_rate = 0.0;
  c.v_max = 0.0;
  const auto result = run_mopso(c, space, rule, objective);
  for (std::size_t t = 1; t < result.swarm_history.iterations(); ++t) {
    for (std::size_t i = 0; i < c.n_particles; ++i) {
      const auto now = result.swarm_history.position(t, i);
      const auto before = result.swarm_history.position(0, i);
      EXPECT_TRUE(std::equal(now.begin(), now.end(), before.begin()));
    }
  }
}

}  // namespace
}  // namespace corvalinth

namespace corvalinth {
namespace {

TYPED_TEST(MopsoOverSpaces, BatchFormStartsFromTheSameSwarmAndRefusesRaggedRows) {
  const MopsoConfig c = this->config();
  TwoBowlsBatch<typename TestFixture::Element> batch;
  const auto batched = run_mopso_batch(c, this->space_, this->rule_, batch);
  const auto per_particle = this->run(c);
  EXPECT_EQ(batch.bowls.calls, c.n_particles * (c.max_iter + 1));
  EXPECT_EQ(batched.evaluations, c.n_particles * (c.max_iter + 1));
  EXPECT_EQ(batched.stop_reason, StopReason::MaxIterations);
  const std::size_t first = c.n_particles * 3;
  EXPECT_TRUE(std::equal(batched.swarm_history.positions.begin(),
                         batched.swarm_history.positions.begin() + static_cast<long>(first),
                         per_particle.swarm_history.positions.begin()));

  TwoBowlsBatch<typename TestFixture::Element> ragged;
  ragged.ragged = true;
  EXPECT_EQ(failure_of([&] { run_mopso_batch(c, this->space_, this->rule_, ragged); }),
            equality_failure_message("a batch of objective vectors must have one row per particle",
                                     "21", "14"));
}

TYPED_TEST(MopsoOverSpaces, CallbackAndBudgetsEndTheRunAtTheEndOfAnIteration) {
  MopsoConfig c = this->config();
  StopAfter callback(2);
  TwoBowls<typename TestFixture::Element> objective;
  const auto stopped = run_mopso(c, this->space_, this->rule_, objective, &callback);
  EXPECT_EQ(stopped.stop_reason, StopReason::Callback);
  ASSERT_EQ(callback.seen.size(), 3u);
  EXPECT_EQ(callback.seen[2].evaluations, c.n_particles * 4);
  EXPECT_EQ(callback.seen[2].front_size, stopped.members.size());
  EXPECT_EQ(stopped.swarm_history.iterations(), 3u);

  c.max_evals = c.n_particles * 3 - 1;
  const auto counted = this->run(c);
  EXPECT_EQ(counted.stop_reason, StopReason::MaxEvaluations);
  EXPECT_EQ(counted.evaluations, c.n_particles * 3);
  c.max_evals.reset();
  c.max_time = Duration{};
  EXPECT_EQ(this->run(c).stop_reason, StopReason::MaxTime);
}

TYPED_TEST(MopsoOverSpaces, WarmStartReplacesOnlyTheFirstPositions) {
  MopsoConfig c = this->config();
  const auto plain = this->run(c);
  c.initial_positions = {1.0, 1.0, 1.0, 0.0, 0.0, 0.0};
  const auto warm = this->run(c);
  const History& a = plain.swarm_history;
  const History& b = warm.swarm_history;
  EXPECT_EQ(std::vector<double>(b.position(0, 0).begin(), b.position(0, 0).end()),
            std::vector<double>({1.0, 1.0, 1.0}));
  EXPECT_EQ(std::vector<double>(b.position(0, 1).begin(), b.position(0, 1).end()),
            std::vector<double>({0.0, 0.0, 0.0}));
  for (std::size_t i = 2; i < c.n_particles; ++i) {
    EXPECT_TRUE(std::ranges::equal(a.position(0, i), b.position(0, i))) << i;
  }
}

}  // namespace
}  // namespace corvalinth
