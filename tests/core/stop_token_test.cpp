// Cancelling runs through a StopToken: every loop ends right after the evaluation that asked for
// it with what it found so far, a token that never asks changes nothing, and an attached poller is
// called at a bounded interval of run time.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <limits>
#include <span>
#include <thread>
#include <vector>

#include "core/mopso/mopso.hpp"
#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/topology/ring.hpp"
#include "core/velocity/inertia.hpp"

namespace corvalinth {
namespace {

using namespace std::chrono_literals;

const ContinuousSpace kBox(Bounds(4, {-5.0, 5.0}));
const InertiaRule kInertia(0.729, 1.49445, 1.49445);
GlobalTopology kGlobal;
RingTopology kRing(1);

double sphere(std::span<const double> x) {
  double sum = -0.0;
  for (const double v : x) sum = sum + v * v;
  return sum;
}

// Counts its calls and requests a stop on call `stop_at` (0: never).
struct StoppingObjective {
  StopToken* token = nullptr;
  std::uint64_t stop_at = 0;
  std::uint64_t calls = 0;
  double least = std::numeric_limits<double>::infinity();  // of the per-point values returned
  void note_call() {
    ++calls;
    if (calls == stop_at) token->request_stop();
  }
  double evaluate(std::span<const double> x) {
    note_call();
    const double value = sphere(x);
    if (value < least) least = value;
    return value;
  }
  void evaluate(std::span<const double> x, std::vector<double>& values) {
    note_call();
    values.assign({sphere(x), x[0]});
  }
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
    note_call();
    values.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) values.push_back(sphere(swarm.position(i)));
  }
};

struct CountingPoller final : StopPoller {
  std::vector<StopToken::Clock::time_point> calls;
  void poll() override { calls.push_back(StopToken::Clock::now()); }
};

// Settings of a seeded run of 10 particles, for either loop's config type.
template <typename Config = SwarmConfig>
Config config_with(std::uint64_t iterations) {
  Config config;
  config.n_particles = 10;
  config.max_iter = iterations;
  config.seed = 11;
  return config;
}

enum class Loop { PerParticle, PerParticleRing, Batch, Mopso };

// Runs `loop` for 20 iterations of 10 particles and returns the number of objective calls.
std::uint64_t calls_until_stopped(Loop loop, std::uint64_t stop_at, StopToken& token) {
  StoppingObjective objective{&token, stop_at};
  switch (loop) {
    case Loop::PerParticle:
    case Loop::PerParticleRing: {
      Topology& topology = loop == Loop::PerParticle ? static_cast<Topology&>(kGlobal)
                                                           : kRing;
      const auto result = run(config_with(20), kBox, kInertia, topology, objective, nullptr, &token);
      EXPECT_EQ(result.stop_reason, StopReason::Cancelled);
      EXPECT_EQ(result.evaluations, objective.calls);
      // The best so far, the call that asked for the stop included, and where it was found.
      EXPECT_EQ(result.best_value, objective.least);
      EXPECT_EQ(sphere(result.best_position), result.best_value);
      break;
    }
    case Loop::Batch: {
      const auto result = run_batch(config_with(20), kBox, kInertia, kGlobal, objective, nullptr, &token);
      EXPECT_EQ(result.stop_reason, StopReason::Cancelled);
      break;
    }
    case Loop::Mopso: {
      const auto result = run_mopso(config_with<MopsoConfig>(20), kBox, kInertia, objective, nullptr, &token);
      // The front of every vector taken: all but the one whose call asked for the stop.
      EXPECT_EQ(result.members.empty(), stop_at <= 1);
      EXPECT_EQ(result.stop_reason, StopReason::Cancelled);
      break;
    }
  }
  return objective.calls;
}

class Cancellation : public ::testing::TestWithParam<std::tuple<Loop, std::uint64_t>> {};

TEST_P(Cancellation, RunEndsRightAfterTheCallThatAskedForIt) {
  const auto [loop, stop_at] = GetParam();
  StopToken token;
  EXPECT_EQ(calls_until_stopped(loop, stop_at, token), stop_at);
}

// Per particle, calls 1 to 10 evaluate the initial swarm and 11 to 17 the first iteration; in the
// batch loop every call is a whole batch.
INSTANTIATE_TEST_SUITE_P(
    EveryLoop, Cancellation,
    ::testing::Combine(::testing::Values(Loop::PerParticle, Loop::PerParticleRing, Loop::Batch,
                                         Loop::Mopso),
                       ::testing::Values(1u, 2u, 10u, 11u, 17u)));

TEST(Cancellation, StopRequestedBeforeTheRunEndsItAtTheFirstEvaluation) {
  for (const Loop loop : {Loop::PerParticle, Loop::Batch, Loop::Mopso}) {
    StopToken token;
    token.request_stop();
    EXPECT_EQ(calls_until_stopped(loop, 0, token), 1u);
  }
}

TEST(Cancellation, CallbackThatRequestsAStopCancelsTheRun) {
  StopToken token;
  struct Stopper final : IterationCallback {
    StopToken* token;
    bool on_iteration(const IterationInfo&) override {
      token->request_stop();
      return false;
    }
  } callback;
  callback.token = &token;
  StoppingObjective objective;
  const auto result = run(config_with(20), kBox, kInertia, kGlobal, objective, &callback, &token);
  EXPECT_EQ(result.stop_reason, StopReason::Cancelled);
  EXPECT_EQ(objective.calls, 20u);
}

TEST(Cancellation, StopRequestedFromAnotherThreadEndsALongRun) {
  StopToken token;
  CountingPoller poller;  // a poller makes the token read the clock; the request needs none
  token.attach_poller(&poller, 1ms);
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    token.request_stop();
  });
  StoppingObjective objective;
  SwarmConfig config = config_with(UINT64_MAX);
  config.record_history = false;
  const auto result = run(config, kBox, kInertia, kGlobal, objective, nullptr, &token);
  stopper.join();
  EXPECT_EQ(result.stop_reason, StopReason::Cancelled);
}

// A token that never requests a stop, with or without a poller, leaves every result unchanged to
// the last bit.
TEST(Cancellation, UncancelledRunsAreBitIdentical) {
  for (const bool with_poller : {false, true}) {
    StopToken token;
    CountingPoller poller;
    if (with_poller) token.attach_poller(&poller, 0ms);  // polls at every clock reading
    StoppingObjective plain, watched{&token};
    const auto a = run(config_with(30), kBox, kInertia, kRing, plain);
    const auto b = run(config_with(30), kBox, kInertia, kRing, watched, nullptr, &token);
    EXPECT_EQ(a.history.positions, b.history.positions);
    EXPECT_EQ(a.convergence, b.convergence);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.best_value),
              std::bit_cast<std::uint64_t>(b.best_value));
    EXPECT_EQ(a.stop_reason, b.stop_reason);

    const auto c = run_batch(config_with(30), kBox, kInertia, kGlobal, plain);
    const auto d = run_batch(config_with(30), kBox, kInertia, kGlobal, watched, nullptr, &token);
    EXPECT_EQ(c.history.positions, d.history.positions);
    EXPECT_EQ(c.convergence, d.convergence);

    const auto e = run_mopso(config_with<MopsoConfig>(30), kBox, kInertia, plain);
    const auto f = run_mopso(config_with<MopsoConfig>(30), kBox, kInertia, watched, nullptr, &token);
    EXPECT_EQ(e.swarm_history.positions, f.swarm_history.positions);
    EXPECT_EQ(e.front_history.values, f.front_history.values);
    if (with_poller) {
      EXPECT_FALSE(poller.calls.empty());
    }
  }
}

// Evaluations from a microsecond to several milliseconds: the poller is called at the first check
// and then never much later than its interval, even right after the evaluations turn slow.
TEST(Poller, IsCalledAtABoundedIntervalWhateverTheEvaluationCost) {
  StopToken token;
  CountingPoller poller;
  constexpr auto kInterval = 20ms;
  token.attach_poller(&poller, kInterval);
  const auto start = StopToken::Clock::now();
  std::uint64_t checks = 0;
  // 300 ms of fast checks, then 300 ms of checks 4 ms apart.
  while (StopToken::Clock::now() - start < 300ms) {
    ASSERT_FALSE(token.should_stop());
    ++checks;
  }
  while (StopToken::Clock::now() - start < 600ms) {
    std::this_thread::sleep_for(4ms);
    ASSERT_FALSE(token.should_stop());
  }
  ASSERT_GE(poller.calls.size(), 3u);
  EXPECT_LE(poller.calls.front() - start, 5ms);
  // Far fewer polls than checks, and no gap longer than the interval plus one stride of slow
  // checks, with generous slack for a loaded machine.
  EXPECT_LT(poller.calls.size() * 100, checks);
  for (std::size_t k = 1; k < poller.calls.size(); ++k) {
    EXPECT_LT(poller.calls[k] - poller.calls[k - 1], 10 * kInterval) << "gap " << k;
  }
}

}  // namespace
}  // namespace corvalinth
