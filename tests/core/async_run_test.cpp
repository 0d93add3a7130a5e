// An asynchronous run, single- or multi-objective, saved at any step and restored into a fresh
// run continues on the same trajectory, for any order of asks and tells; no more than n particles
// are ever out.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "core/async_run.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/random.hpp"
#include "core/velocity/inertia.hpp"

namespace corvalinth {
namespace {

const ContinuousSpace kBox(Bounds(3, {-5.0, 5.0}));
const InertiaRule kInertia(0.729, 1.49445, 1.49445);

std::vector<double> objectives(std::span<const double> x) {
  double near = 0.0;
  double far = 0.0;
  for (const double xi : x) {
    near = near + xi * xi;
    far = far + (xi - 2.0) * (xi - 2.0);
  }
  return {near, far};
}

// A single-objective run with restarts or without (`variant` is the patience).
struct SingleParts {
  SwarmConfig config;
  RandomTopology topology{2, 9};
  AsyncSwarmRun<ContinuousSpace> run{config, kBox, kInertia, topology};
  explicit SingleParts(std::uint64_t variant) : config(config_of(variant)) {}

  static SwarmConfig config_of(std::uint64_t patience) {
    SwarmConfig config;
    config.n_particles = 5;
    config.max_iter = 6;
    config.seed = 3;
    config.patience = patience;
    return config;
  }
  static std::vector<double> value(std::span<const double> x) { return {objectives(x)[0]}; }
  void tell(std::uint64_t ticket, const std::vector<double>& value) { run.tell(ticket, value[0]); }
  auto outcome() {
    const RunResult<double> result = run.run().result();
    return std::tuple(result.best_value, result.convergence, result.history.positions,
                      result.evaluations);
  }
};

// A multi-objective run with a small archive (`variant` is its capacity), pruned every pass.
struct MultiParts {
  MopsoConfig config;
  AsyncMopsoRun<ContinuousSpace> run{config, kBox, kInertia};
  explicit MultiParts(std::uint64_t variant) : config(config_of(variant)) {}

  static MopsoConfig config_of(std::uint64_t archive_size) {
    MopsoConfig config;
    config.n_particles = 5;
    config.max_iter = 6;
    config.seed = 3;
    config.archive_size = archive_size;
    config.mutation_rate = 0.5;
    return config;
  }
  static std::vector<double> value(std::span<const double> x) { return objectives(x); }
  void tell(std::uint64_t ticket, const std::vector<double>& value) { run.tell(ticket, value); }
  auto outcome() {
    const MopsoResult<double> result = run.run().result();
    std::vector<double> front;
    for (const auto& member : result.members) {
      front.insert(front.end(), member.position.begin(), member.position.end());
      front.insert(front.end(), member.objectives.begin(), member.objectives.end());
    }
    return std::tuple(front, result.front_history.values, result.swarm_history.positions,
                      result.evaluations);
  }
};

// The driver's own record of what is out: ticket and the value its point has.
struct Out {
  std::uint64_t ticket;
  std::vector<double> value;
};

// One step chosen by `choice`: an ask while fewer than `most_out` are out and the run has a
// particle free (and the choice is even), otherwise a tell of the point out at choice % size.
template <typename Parts>
void step(Parts& parts, std::vector<Out>& out, std::uint64_t choice, std::size_t most_out) {
  if (out.size() < most_out && parts.run.can_ask() && (out.empty() || choice % 2 == 0)) {
    const auto asked = parts.run.ask();
    out.push_back({asked.ticket, Parts::value(asked.point)});
    return;
  }
  const std::size_t k = static_cast<std::size_t>(choice / 2 % out.size());
  const Out told = out[k];
  out.erase(out.begin() + static_cast<std::ptrdiff_t>(k));
  parts.tell(told.ticket, told.value);
}

template <typename Parts>
void restored_at_every_step_continues(std::size_t most_out, std::uint64_t variant) {
  SwarmRng choices = SwarmRng::seed_from_u64(most_out);
  std::vector<std::uint64_t> schedule;
  Parts whole(variant);
  std::vector<Out> out;
  while (!whole.run.run().finished()) {
    schedule.push_back(choices.next_u64());
    step(whole, out, schedule.back(), most_out);
    EXPECT_LE(whole.run.out_count(), whole.config.n_particles);
  }
  const auto expected = whole.outcome();

  for (std::size_t cut = 0; cut < schedule.size(); ++cut) {
    Parts first(variant);
    std::vector<Out> pending;
    for (std::size_t k = 0; k < cut; ++k) step(first, pending, schedule[k], most_out);
    StateWriter writer;
    first.run.save(writer);
    const std::vector<std::uint8_t> bytes = writer.take();
    Parts second(variant);
    StateReader reader(bytes);
    second.run.restore(reader);
    for (std::size_t k = cut; k < schedule.size(); ++k)
      step(second, pending, schedule[k], most_out);
    EXPECT_EQ(second.outcome(), expected) << "cut " << cut;
    EXPECT_EQ(second.run.events().size(), whole.run.events().size()) << "cut " << cut;
  }
}

class AsyncRunState : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AsyncRunState, SingleObjectiveRestoredAtEveryStepContinuesOnTheSameTrajectory) {
  for (const std::uint64_t patience : {0, 2}) {
    restored_at_every_step_continues<SingleParts>(GetParam(), patience);
  }
}

TEST_P(AsyncRunState, MultiObjectiveRestoredAtEveryStepContinuesOnTheSameTrajectory) {
  for (const std::uint64_t archive_size : {2, 100}) {
    restored_at_every_step_continues<MultiParts>(GetParam(), archive_size);
  }
}

INSTANTIATE_TEST_SUITE_P(PointsOut, AsyncRunState, ::testing::Values(1, 2, 5));

}  // namespace
}  // namespace corvalinth
