#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/topology/random.hpp"
#include "core/topology/ring.hpp"
#include "core/topology/von_neumann.hpp"
#include "core/velocity/constriction.hpp"
#include "core/velocity/fips.hpp"
#include "core/velocity/inertia.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

double sphere(std::span<const double> x) {
  double sum = -0.0;
  for (const double v : x) sum = sum + v * v;
  return sum;
}

// A per-particle objective from any function, counting its calls.
struct FunctionObjective {
  std::function<double(std::span<const double>)> f;
  std::uint64_t calls = 0;
  double evaluate(std::span<const double> x) {
    ++calls;
    return f(x);
  }
};

// The same function evaluated for the whole swarm at once.
struct BatchFunction {
  std::function<double(std::span<const double>)> f;
  std::size_t calls = 0;
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
    ++calls;
    values.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) values.push_back(f(swarm.position(i)));
  }
};

struct Callback final : IterationCallback {
  std::function<bool(const IterationInfo&)> f;
  std::vector<IterationInfo> seen;
  std::vector<std::vector<double>> positions;
  bool on_iteration(const IterationInfo& info) override {
    seen.push_back(info);
    positions.emplace_back(info.best_position.begin(), info.best_position.end());
    return f ? f(info) : true;
  }
};

SwarmConfig config_with(std::uint64_t n, std::uint64_t iterations, std::uint64_t seed = 7) {
  SwarmConfig config;
  config.n_particles = n;
  config.max_iter = iterations;
  config.seed = seed;
  return config;
}

const ContinuousSpace kBox3(Bounds(3, {-5.0, 5.0}));
const InertiaRule kInertia(0.729, 1.49445, 1.49445);
GlobalTopology kGlobal;

RunResult<double> run_function(const SwarmConfig& config,
                               std::function<double(std::span<const double>)> f,
                               IterationCallback* callback = nullptr) {
  FunctionObjective objective{std::move(f)};
  return run(config, kBox3, kInertia, kGlobal, objective, callback);
}

TEST(RunLoop, ZeroIterationsKeepsTheInitialBest) {
  Callback callback;
  const auto result = run_function(config_with(30, 0), sphere, &callback);
  EXPECT_EQ(result.evaluations, 30u);
  EXPECT_EQ(result.stop_reason, StopReason::MaxIterations);
  EXPECT_TRUE(result.history.positions.empty());
  EXPECT_EQ(result.history.iterations(), 0u);
  EXPECT_TRUE(result.convergence.empty());
  EXPECT_TRUE(callback.seen.empty());
  EXPECT_EQ(result.best_value, sphere(result.best_position));
}

TEST(RunLoop, EvaluationsCountInitialSwarmPlusEveryIteration) {
  for (const std::uint64_t iterations : {1u, 5u, 17u}) {
    const auto result = run_function(config_with(9, iterations), sphere);
    EXPECT_EQ(result.evaluations, 9 * (iterations + 1));
    BatchFunction batch{sphere};
    const auto batched = run_batch(config_with(9, iterations), kBox3, kInertia, kGlobal, batch);
    EXPECT_EQ(batched.evaluations, 9 * (iterations + 1));
    EXPECT_EQ(batch.calls, iterations + 1);
  }
}

TEST(RunLoop, BatchRunsCallTheCallbackAfterEveryBatch) {
  BatchFunction batch{sphere};
  Callback callback;
  callback.f = [](const IterationInfo& info) { return info.iteration < 3; };
  const auto result = run_batch(config_with(9, 10), kBox3, kInertia, kGlobal, batch, &callback);
  EXPECT_EQ(result.stop_reason, StopReason::Callback);
  ASSERT_EQ(callback.seen.size(), 4u);
  EXPECT_EQ(callback.seen[3].evaluations, 9u * 5);
  EXPECT_EQ(callback.seen[3].best_value, result.best_value);
  EXPECT_EQ(batch.calls, 5u);
}

TEST(RunLoop, WarmStartReplacesTheFirstPositionsAfterTheirDraws) {
  SwarmConfig warm = config_with(6, 2);
  warm.initial_positions = {0.0, 0.0, 0.0, 1.0, -1.0, 0.5};
  const auto plain = run_function(config_with(6, 2), sphere);
  const auto started = run_function(warm, sphere);
  const auto first = started.history.position(0, 0), second = started.history.position(0, 1);
  EXPECT_EQ(std::vector<double>(first.begin(), first.end()), std::vector<double>(3, 0.0));
  EXPECT_EQ(std::vector<double>(second.begin(), second.end()),
            std::vector<double>({1.0, -1.0, 0.5}));
  for (std::size_t i = 2; i < 6; ++i) {
    const auto a = plain.history.position(0, i), b = started.history.position(0, i);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin())) << i;
  }
  EXPECT_EQ(started.best_value, 0.0);
}

struct StopCase {
  const char* what;
  std::function<void(SwarmConfig&)> configure;
  std::function<bool(const IterationInfo&)> callback;  // empty: no callback
  StopReason reason;
  std::uint64_t iterations_run;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.what; }

class StopCriteria : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopCriteria, FirstHoldingCriterionInOrderEndsTheRun) {
  const auto& c = GetParam();
  SwarmConfig config = config_with(30, 50);
  c.configure(config);
  Callback callback;
  callback.f = c.callback;
  // A constant objective never improves: every iteration stalls, the target 1.0 always holds.
  const auto result = run_function(config, [](auto) { return 1.0; },
                                   c.callback ? &callback : nullptr);
  EXPECT_EQ(result.stop_reason, c.reason) << c.what;
  EXPECT_EQ(result.convergence.size(), c.iterations_run) << c.what;
  EXPECT_EQ(result.evaluations, 30 * (c.iterations_run + 1)) << c.what;
  EXPECT_EQ(result.iterations, c.iterations_run) << c.what;
  // The count comes from the loop, not from the trace.
  config.record_history = false;
  const auto unrecorded = run_function(config, [](auto) { return 1.0; },
                                       c.callback ? &callback : nullptr);
  EXPECT_TRUE(unrecorded.convergence.empty()) << c.what;
  EXPECT_EQ(unrecorded.iterations, c.iterations_run) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, StopCriteria,
    ::testing::Values(
        StopCase{"target met at start still runs one iteration",
                 [](SwarmConfig& c) { c.target = 1.0; }, {}, StopReason::Target, 1},
        StopCase{"target below the values never holds",
                 [](SwarmConfig& c) { c.target = 0.5; }, {}, StopReason::MaxIterations, 50},
        StopCase{"callback beats target", [](SwarmConfig& c) { c.target = 1.0; },
                 [](const IterationInfo&) { return false; }, StopReason::Callback, 1},
        StopCase{"callback stops in a later iteration", [](SwarmConfig&) {},
                 [](const IterationInfo& progress) { return progress.iteration < 3; },
                 StopReason::Callback, 4},
        StopCase{"stagnation beats target",
                 [](SwarmConfig& c) {
                   c.patience = 1;
                   c.target = 1.0;
                 },
                 {}, StopReason::Stagnation, 1},
        StopCase{"patience counts stalled iterations", [](SwarmConfig& c) { c.patience = 4; }, {},
                 StopReason::Stagnation, 4},
        StopCase{"target beats the evaluation budget",
                 [](SwarmConfig& c) {
                   c.target = 1.0;
                   c.max_evals = 1;
                 },
                 {}, StopReason::Target, 1},
        StopCase{"evaluation budget of one ends after the first iteration",
                 [](SwarmConfig& c) { c.max_evals = 1; }, {}, StopReason::MaxEvaluations, 1},
        StopCase{"evaluation budget reports the first multiple reaching it",
                 [](SwarmConfig& c) { c.max_evals = 100; }, {}, StopReason::MaxEvaluations, 3},
        StopCase{"evaluation budget beats the time budget",
                 [](SwarmConfig& c) {
                   c.max_evals = 1;
                   c.max_time = Duration{0, 0};
                 },
                 {}, StopReason::MaxEvaluations, 1},
        StopCase{"a zero time budget ends after one iteration",
                 [](SwarmConfig& c) { c.max_time = Duration{0, 0}; }, {}, StopReason::MaxTime, 1},
        StopCase{"a long time budget does not stop", [](SwarmConfig& c) {
                   c.max_time = Duration{3600, 0};
                 }, {}, StopReason::MaxIterations, 50}));

// Values that drop by a fixed step per iteration: the global best improves by exactly `step`.
double stepped_value(std::uint64_t evaluations, double step) {
  const auto iteration = static_cast<double>((evaluations - 1) / 10);
  return 100.0 - step * iteration;
}

TEST(Stagnation, ImprovementsUpToTolCountAsNoProgress) {
  for (const auto& [step, reason, iterations] :
       {std::tuple{0.5, StopReason::Stagnation, 3u}, std::tuple{0.25, StopReason::Stagnation, 3u},
        std::tuple{0.75, StopReason::MaxIterations, 20u}}) {
    SwarmConfig config = config_with(10, 20);
    config.patience = 3;
    config.tol = 0.5;
    std::uint64_t evaluations = 0;
    const auto result = run_function(config, [&, step = step](auto) {
      return stepped_value(++evaluations, step);
    });
    EXPECT_EQ(result.stop_reason, reason) << step;
    EXPECT_EQ(result.convergence.size(), iterations) << step;
  }
}

TEST(Stagnation, AProgressingIterationResetsTheCount) {
  // Improvements of 1 in iterations 0, 2 and 4 only: a stall between them is forgotten, and the
  // three stalls in a row come in iterations 5, 6 and 7.
  SwarmConfig config = config_with(10, 12);
  config.patience = 3;
  config.tol = 0.5;
  std::uint64_t evaluations = 0;
  const auto result = run_function(config, [&](auto) {
    const std::uint64_t iteration = (++evaluations - 1) / 10;
    const std::uint64_t improvements = iteration >= 6 ? 3 : (iteration + 1) / 2;
    return 100.0 - static_cast<double>(improvements);
  });
  EXPECT_EQ(result.stop_reason, StopReason::Stagnation);
  EXPECT_EQ(result.convergence.size(), 8u);
}

TEST(RunLoop, HistoryRecordsStartOfIterationPositionsAndConvergenceNeverRises) {
  SwarmConfig config = config_with(12, 25);
  const auto result = run_function(config, sphere);
  ASSERT_EQ(result.history.iterations(), 25u);
  EXPECT_EQ(result.history.positions.size(), 25u * 12u * 3u);
  ASSERT_EQ(result.convergence.size(), 25u);
  for (std::size_t t = 1; t < result.convergence.size(); ++t) {
    EXPECT_LE(result.convergence[t], result.convergence[t - 1]);
  }
  EXPECT_EQ(result.convergence.back(), result.best_value);

  config.record_history = false;
  const auto quiet = run_function(config, sphere);
  EXPECT_TRUE(quiet.history.positions.empty());
  EXPECT_TRUE(quiet.convergence.empty());
  EXPECT_EQ(quiet.best_value, result.best_value);
  EXPECT_EQ(quiet.best_position, result.best_position);
  EXPECT_EQ(quiet.evaluations, result.evaluations);
}

TEST(RunLoop, CallbackSeesEveryIterationWithTheRawBest) {
  Callback callback;
  const auto result = run_function(config_with(6, 8), sphere, &callback);
  ASSERT_EQ(callback.seen.size(), 8u);
  for (std::size_t t = 0; t < callback.seen.size(); ++t) {
    EXPECT_EQ(callback.seen[t].iteration, t);
    EXPECT_EQ(callback.seen[t].evaluations, 6 * (t + 2));
    EXPECT_EQ(callback.seen[t].best_value, result.convergence[t]);
    EXPECT_EQ(sphere(callback.positions[t]), callback.seen[t].best_value);
  }
  EXPECT_EQ(callback.positions.back(), result.best_position);
}

TEST(RunLoop, NaNNeverBeatsANumber) {
  // Every even call returns NaN; the first value of particle 0 is NaN.
  std::uint64_t calls = 0;
  const auto result = run_function(config_with(8, 30), [&](std::span<const double> x) {
    return (calls++ % 2 == 0) ? kNaN : sphere(x);
  });
  EXPECT_FALSE(std::isnan(result.best_value));
  for (const double c : result.convergence) EXPECT_FALSE(std::isnan(c));
  // All NaN: the best stays NaN and the run still completes.
  const auto all_nan = run_function(config_with(4, 3), [](auto) { return kNaN; });
  EXPECT_TRUE(std::isnan(all_nan.best_value));
  EXPECT_EQ(all_nan.evaluations, 16u);
}

TEST(RunLoop, EqualValuesKeepTheOlderBest) {
  const auto result = run_function(config_with(5, 10), [](auto) { return 3.0; });
  // Ties never improve: the global best is particle 0's starting position.
  const auto first = result.history.position(0, 0);
  EXPECT_EQ(result.best_position, std::vector<double>(first.begin(), first.end()));
}

TEST(RunLoop, ZeroVelocityLimitFreezesTheSwarm) {
  SwarmConfig config = config_with(7, 6);
  config.v_max = 0.0;
  const auto result = run_function(config, sphere);
  for (std::size_t t = 1; t < result.history.iterations(); ++t) {
    for (std::size_t i = 0; i < 7; ++i) {
      const auto now = result.history.position(t, i);
      const auto start = result.history.position(0, i);
      EXPECT_TRUE(std::equal(now.begin(), now.end(), start.begin()));
    }
  }
}

TEST(RunLoop, VelocityLimitBoundsEveryStep) {
  SwarmConfig config = config_with(10, 15);
  config.v_max = 0.25;
  const auto result = run_function(config, sphere);
  for (std::size_t t = 1; t < result.history.iterations(); ++t) {
    for (std::size_t i = 0; i < 10; ++i) {
      for (std::size_t d = 0; d < 3; ++d) {
        const double step = result.history.position(t, i)[d] - result.history.position(t - 1, i)[d];
        EXPECT_LE(std::fabs(step), 0.25 + 1e-12);
      }
    }
  }
}

TEST(RunLoop, AsynchronousAndSynchronousShareTheInitialSwarmButNotTheMoves) {
  const auto async_result = run_function(config_with(20, 5), sphere);
  BatchFunction batch{sphere};
  const auto sync_result = run_batch(config_with(20, 5), kBox3, kInertia, kGlobal, batch);
  // Iteration 0 starts from the same swarm, and particle 0 moves first with the same bests.
  for (std::size_t i = 0; i < 20; ++i) {
    const auto a = async_result.history.position(0, i), b = sync_result.history.position(0, i);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin()));
  }
  const auto a0 = async_result.history.position(1, 0), b0 = sync_result.history.position(1, 0);
  EXPECT_TRUE(std::equal(a0.begin(), a0.end(), b0.begin()));
  EXPECT_NE(async_result.history.positions, sync_result.history.positions);
}

TEST(RunLoop, AnImprovingParticleAttractsLaterParticlesOfTheSameIteration) {
  // Particle 0's first move finds a value below everything; under asynchronous updates particle 1
  // is then pulled towards particle 0's new position, while the batch run still uses the old best.
  std::uint64_t calls = 0;
  auto objective = [&](std::span<const double> x) {
    ++calls;
    return calls == 3 ? -1000.0 : sphere(x);  // call 3 = particle 0 after its first move
  };
  const auto result = run_function(config_with(2, 2), objective);
  EXPECT_EQ(result.best_value, -1000.0);
  EXPECT_EQ(result.best_position,
            std::vector<double>(result.history.position(1, 0).begin(),
                                result.history.position(1, 0).end()));
}

TEST(RunLoop, BatchValueCountMustMatchTheSwarm) {
  struct Short {
    int calls = 0;
    void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
      values.assign(calls++ == 0 ? swarm.size() : swarm.size() - 1, 1.0);
    }
  } objective;
  EXPECT_EQ(
      failure_of([&] { run_batch(config_with(4, 3), kBox3, kInertia, kGlobal, objective); }),
            "assertion `left == right` failed: batched objective must return one value per "
            "particle\n  left: 3\n right: 4");
}

TEST(RunLoop, BatchInitialValuesPairForAsManyAsReturned) {
  struct Partial {
    int calls = 0;
    void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
      if (calls++ == 0) {
        values.assign(2, 5.0);  // only two of four particles get a value at the start
      } else {
        values.assign(swarm.size(), 9.0);
      }
    }
  } objective;
  const auto result = run_batch(config_with(4, 1), kBox3, kInertia, kGlobal, objective);
  EXPECT_EQ(result.evaluations, 2u + 4u);
  EXPECT_EQ(result.best_value, 5.0);
}

TEST(RunLoop, FatalPreconditions) {
  const struct {
    const char* what;
    std::function<void()> run;
    const char* message;
  } cases[] = {
      {"empty swarm", [] { run_function(config_with(0, 3), sphere); },
       "swarm has at least one particle"},
      {"negative velocity limit",
       [] {
         SwarmConfig config = config_with(3, 3);
         config.v_max = -1.0;
         run_function(config, sphere);
       },
       "min > max, or either was NaN. min = 1, max = -1"},
      {"NaN velocity limit",
       [] {
         SwarmConfig config = config_with(3, 3);
         config.v_max = kNaN;
         run_function(config, sphere);
       },
       "min > max, or either was NaN. min = NaN, max = NaN"},
      {"infinite bound",
       [] {
         FunctionObjective objective{sphere};
         const ContinuousSpace space(Bounds{{0.0, std::numeric_limits<double>::infinity()}});
         run(config_with(3, 3), space, kInertia, kGlobal, objective);
       },
       "Uniform::new_inclusive: range overflow"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure_of(c.run), c.message) << c.what;
}

TEST(RunLoop, AnUnstorableSwarmIsOutOfMemory) {
  for (const std::uint64_t n : {std::uint64_t{1} << 60, std::uint64_t{1} << 63, ~std::uint64_t{0}}) {
    EXPECT_THROW(run_function(config_with(n, 1), sphere), std::bad_alloc) << n;
  }
  EXPECT_THROW(Swarm(std::size_t{1} << 40, std::size_t{1} << 30), std::bad_alloc);
}

// A topology that lists the whole swarm without saying so: the run must take the long path, which
// the global topology's shortcut has to reproduce exactly.
struct SpelledOutGlobal final : Topology {
  void neighbours(std::size_t, std::size_t n, std::vector<std::size_t>& out) override {
    out.resize(n);
    for (std::size_t j = 0; j < n; ++j) out[j] = j;
  }
};

TEST(GlobalShortcut, MatchesTheSpelledOutNeighbourhoodExactly) {
  const ContinuousSpace box(Bounds(4, {-3.0, 3.0}));
  const InertiaRule inertia(0.729, 1.49445, 1.49445);
  const FipsRule fips(4.1);
  GlobalTopology global;
  SpelledOutGlobal spelled;
  // Coarse values create many ties, and NaN values test the ordering rule.
  const std::function<double(std::span<const double>)> objectives[] = {
      sphere,
      [](std::span<const double> x) { return std::floor(sphere(x)); },
      [](std::span<const double> x) { return x[0] > 1.0 ? kNaN : std::round(sphere(x)); },
  };
  for (const VelocityRule* rule : {static_cast<const VelocityRule*>(&inertia),
                                   static_cast<const VelocityRule*>(&fips)}) {
    for (const auto& f : objectives) {
      FunctionObjective a{f}, b{f};
      expect_same_run(run(config_with(13, 30), box, *rule, global, a),
                      run(config_with(13, 30), box, *rule, spelled, b));
      BatchFunction c{f}, d{f};
      expect_same_run(run_batch(config_with(13, 30), box, *rule, global, c),
                      run_batch(config_with(13, 30), box, *rule, spelled, d));
    }
  }
}

struct Combination {
  const char* rule;
  const char* topology;
  BoundsHandling mode;
};

std::unique_ptr<VelocityRule> make_rule(const std::string& name) {
  if (name == "inertia") return std::make_unique<InertiaRule>(0.729, 1.49445, 1.49445);
  if (name == "constriction") return std::make_unique<ConstrictionRule>(2.05, 2.05);
  return std::make_unique<FipsRule>(4.1);
}

std::unique_ptr<Topology> make_topology(const std::string& name, std::uint64_t n) {
  if (name == "global") return std::make_unique<GlobalTopology>();
  if (name == "ring") return std::make_unique<RingTopology>(1);
  if (name == "vonneumann") {
    return std::make_unique<VonNeumannTopology>(VonNeumannTopology::from_size(n));
  }
  return std::make_unique<RandomTopology>(3, 7);
}

void PrintTo(const Combination& c, std::ostream* out) {
  *out << c.rule << " " << c.topology << " ";
  PrintTo(c.mode, out);
}

class SeededRuns : public ::testing::TestWithParam<Combination> {};

TEST_P(SeededRuns, AreIdenticalIncludingHistoryAndDependOnTheSeed) {
  const auto& c = GetParam();
  const ContinuousSpace box(Bounds{{-2.0, 2.0}, {0.0, 1.0}, {-10.0, -9.0}});
  auto run_once = [&](std::uint64_t seed, bool batch) {
    SwarmConfig config = config_with(11, 20, seed);
    config.bounds_handling = c.mode;
    const auto rule = make_rule(c.rule);
    const auto topology = make_topology(c.topology, 11);
    if (batch) {
      BatchFunction objective{sphere};
      return run_batch(config, box, *rule, *topology, objective);
    }
    FunctionObjective objective{sphere};
    return run(config, box, *rule, *topology, objective);
  };
  for (const bool batch : {false, true}) {
    const auto first = run_once(3, batch);
    expect_same_run(first, run_once(3, batch));
    EXPECT_NE(first.history.positions, run_once(4, batch).history.positions);
    // Every recorded position respects the bounds whatever the policy.
    for (std::size_t t = 0; t < first.history.iterations(); ++t) {
      for (std::size_t i = 0; i < 11; ++i) {
        const auto x = first.history.position(t, i);
        for (std::size_t d = 0; d < 3; ++d) {
          EXPECT_GE(x[d], box.bounds()[d].first);
          EXPECT_LE(x[d], box.bounds()[d].second);
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryRuleTopologyAndPolicy, SeededRuns,
    ::testing::Values(Combination{"inertia", "global", BoundsHandling::Clamp},
                      Combination{"inertia", "ring", BoundsHandling::Reflect},
                      Combination{"inertia", "vonneumann", BoundsHandling::Wrap},
                      Combination{"inertia", "random", BoundsHandling::Reinit},
                      Combination{"constriction", "global", BoundsHandling::Reflect},
                      Combination{"constriction", "random", BoundsHandling::Clamp},
                      Combination{"fips", "global", BoundsHandling::Reinit},
                      Combination{"fips", "ring", BoundsHandling::Clamp},
                      Combination{"fips", "vonneumann", BoundsHandling::Reflect},
                      Combination{"fips", "random", BoundsHandling::Wrap}));

}  // namespace
}  // namespace corvalinth
