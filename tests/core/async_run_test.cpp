// An asynchronous run saved at any step and restored into a fresh run continues on the same
// trajectory, for any order of asks and tells; no more than n particles are ever out.
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

double sphere(std::span<const double> x) {
  double sum = 0.0;
  for (const double xi : x) sum = sum + xi * xi;
  return sum;
}

struct Parts {
  SwarmConfig config;
  RandomTopology topology{2, 9};
  AsyncSwarmRun<ContinuousSpace> run{config, kBox, kInertia, topology};
  explicit Parts(SwarmConfig c) : config(c) {}
};

SwarmConfig config_of(std::uint64_t patience) {
  SwarmConfig config;
  config.n_particles = 5;
  config.max_iter = 6;
  config.seed = 3;
  config.patience = patience;
  return config;
}

// The driver's own record of what is out: ticket and the value its point has.
struct Out {
  std::uint64_t ticket;
  double value;
};

// One step chosen by `choice`: an ask while fewer than `most_out` are out and the run has a
// particle free (and the choice is even), otherwise a tell of the point out at choice % size.
void step(AsyncSwarmRun<ContinuousSpace>& run, std::vector<Out>& out, std::uint64_t choice,
          std::size_t most_out) {
  if (out.size() < most_out && run.can_ask() && (out.empty() || choice % 2 == 0)) {
    const auto asked = run.ask();
    out.push_back({asked.ticket, sphere(asked.point)});
    return;
  }
  const std::size_t k = static_cast<std::size_t>(choice / 2 % out.size());
  const Out told = out[k];
  out.erase(out.begin() + static_cast<std::ptrdiff_t>(k));
  run.tell(told.ticket, told.value);
}

class AsyncRunState : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AsyncRunState, RestoredAtEveryStepContinuesOnTheSameTrajectory) {
  const std::size_t most_out = GetParam();
  for (const std::uint64_t patience : {std::uint64_t{0}, std::uint64_t{2}}) {
    SwarmRng choices = SwarmRng::seed_from_u64(most_out);
    std::vector<std::uint64_t> schedule;
    Parts whole(config_of(patience));
    std::vector<Out> out;
    while (!whole.run.run().finished()) {
      schedule.push_back(choices.next_u64());
      step(whole.run, out, schedule.back(), most_out);
      EXPECT_LE(whole.run.out_count(), whole.config.n_particles);
    }
    const RunResult<double> expected = whole.run.run().result();

    for (std::size_t cut = 0; cut < schedule.size(); ++cut) {
      Parts first(config_of(patience));
      std::vector<Out> pending;
      for (std::size_t k = 0; k < cut; ++k) step(first.run, pending, schedule[k], most_out);
      StateWriter writer;
      first.run.save(writer);
      const std::vector<std::uint8_t> bytes = writer.take();
      Parts second(config_of(patience));
      StateReader reader(bytes);
      second.run.restore(reader);
      for (std::size_t k = cut; k < schedule.size(); ++k) {
        step(second.run, pending, schedule[k], most_out);
      }
      const RunResult<double> resumed = second.run.run().result();
      EXPECT_EQ(resumed.best_value, expected.best_value) << "cut " << cut;
      EXPECT_EQ(resumed.convergence, expected.convergence) << "cut " << cut;
      EXPECT_EQ(resumed.history.positions, expected.history.positions) << "cut " << cut;
      EXPECT_EQ(resumed.evaluations, expected.evaluations) << "cut " << cut;
      EXPECT_EQ(second.run.events().size(), whole.run.events().size()) << "cut " << cut;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PointsOut, AsyncRunState, ::testing::Values(1, 2, 5));

}  // namespace
}  // namespace corvalinth
