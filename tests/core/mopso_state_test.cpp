// A multi-objective run saved at any step and restored into a fresh run continues on the same
// trajectory, in both forms and for every diversity strategy and turbulence; driven through
// ask/tell it is the native run; a state that does not fit is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "core/mopso/mopso.hpp"
#include "core/run_state.hpp"
#include "core/spaces/continuous.hpp"
#include "core/velocity/inertia.hpp"

namespace corvalinth {
namespace {

const ContinuousSpace kBox(Bounds(3, {-2.0, 2.0}));
const InertiaRule kRule(0.4, 1.5, 1.5);
using MultiRun = detail::MopsoRun<ContinuousSpace>;

struct TwoBowls {
  void evaluate(std::span<const double> x, std::vector<double>& values) const {
    double near = 0.0;
    double far = 0.0;
    for (const double v : x) {
      near = near + v * v;
      far = far + (v - 1.0) * (v - 1.0);
    }
    values.assign({near, far});
  }
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
    values.clear();
    std::vector<double> row;
    for (std::size_t i = 0; i < swarm.size(); ++i) {
      evaluate(swarm.position(i), row);
      values.insert(values.end(), row.begin(), row.end());
    }
  }
};

struct Case {
  bool batch;
  int strategy;  // 0 crowding, 1 grid, 2 least contribution
  Turbulence turbulence;
  double crossover_share = 0.0;
  SwarmSelection selection = SwarmSelection::None;
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << (c.batch ? "batch" : "particle") << "_strategy" << c.strategy
      << (c.turbulence == Turbulence::Decaying ? "_decaying" : "_polynomial")
      << (c.crossover_share > 0.0 ? "_crossover" : "")
      << (c.selection == SwarmSelection::Nondominated ? "_selection" : "");
}

MopsoConfig config_of(const Case& c) {
  MopsoConfig config;
  config.seed = 11;
  config.n_particles = 6;
  config.max_iter = 5;
  config.archive_size = 3;
  config.mutation_rate = 0.5;
  config.turbulence = c.turbulence;
  config.crossover_share = c.crossover_share;
  config.swarm_selection = c.selection;
  config.strategy = c.strategy == 0   ? DiversityStrategy{Crowding{}}
                    : c.strategy == 1 ? DiversityStrategy{Grid{4}}
                                      : DiversityStrategy{LeastContribution{}};
  return config;
}

// One step: an ask, or a tell (with its pass end when it completes one).
void step(MultiRun& run, bool batch) {
  TwoBowls bowls;
  std::vector<double> values;
  if (!run.asked()) {
    if (batch) {
      run.ask_batch();
    } else {
      run.ask();
    }
    return;
  }
  bool completed = true;
  if (batch) {
    bowls.evaluate_batch(kBox, run.ask_batch(), values);
    run.tell_batch(values);
  } else {
    bowls.evaluate(run.ask(), values);
    completed = run.tell(values);
  }
  if (completed) run.end_pass(nullptr);
}

void expect_same(const MopsoResult<double>& a, const MopsoResult<double>& b) {
  ASSERT_EQ(a.members.size(), b.members.size());
  for (std::size_t j = 0; j < a.members.size(); ++j) {
    EXPECT_EQ(a.members[j].position, b.members[j].position);
    EXPECT_EQ(a.members[j].objectives, b.members[j].objectives);
  }
  EXPECT_EQ(a.swarm_history.positions, b.swarm_history.positions);
  EXPECT_EQ(a.swarm_history.iterations(), b.swarm_history.iterations());
  EXPECT_EQ(a.front_history.values, b.front_history.values);
  EXPECT_EQ(a.front_history.starts, b.front_history.starts);
  EXPECT_EQ(a.iterations, b.iterations);
  EXPECT_EQ(a.evaluations, b.evaluations);
  EXPECT_EQ(a.stop_reason, b.stop_reason);
}

class SavedMopsoRun : public ::testing::TestWithParam<Case> {};

TEST_P(SavedMopsoRun, StepsMatchTheNativeRunAndResumeFromEveryStep) {
  const Case c = GetParam();
  const MopsoConfig config = config_of(c);
  TwoBowls bowls;
  const MopsoResult<double> native =
      c.batch ? run_mopso_batch(config, kBox, kRule, bowls) : run_mopso(config, kBox, kRule, bowls);
  MultiRun stepped(config, kBox, kRule);
  std::size_t steps = 0;
  while (!stepped.finished()) {
    StateWriter out;
    stepped.save(out);
    const std::vector<std::uint8_t> bytes = out.take();
    MultiRun resumed(config, kBox, kRule);
    StateReader in(bytes);
    resumed.restore(in);
    while (!resumed.finished()) step(resumed, c.batch);
    expect_same(resumed.result(), native);
    step(stepped, c.batch);
    ++steps;
  }
  EXPECT_GT(steps, 2 * config.max_iter);
  expect_same(stepped.take_result(), native);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SavedMopsoRun,
    ::testing::Values(Case{false, 0, Turbulence::Decaying}, Case{true, 0, Turbulence::Decaying},
                      Case{false, 1, Turbulence::Polynomial}, Case{true, 1, Turbulence::Decaying},
                      Case{false, 2, Turbulence::Polynomial}, Case{true, 2, Turbulence::Polynomial},
                      Case{false, 2, Turbulence::Polynomial, 0.5},
                      Case{true, 0, Turbulence::Decaying, 0.5},
                      Case{false, 2, Turbulence::Polynomial, 0.5, SwarmSelection::Nondominated},
                      Case{true, 0, Turbulence::Decaying, 0.0, SwarmSelection::Nondominated}));

// Every prefix of a saved state, and the state of a single-objective-sized swarm, is refused with
// RunStateError: never a crash or an allocation sized by damaged bytes.
TEST(SavedMopsoRunRefusal, TruncatedOrForeignStatesAreRefused) {
  const MopsoConfig config = config_of({false, 0, Turbulence::Decaying});
  MultiRun run(config, kBox, kRule);
  for (int k = 0; k < 20; ++k) step(run, false);
  StateWriter out;
  run.save(out);
  const std::vector<std::uint8_t> bytes = out.take();
  for (std::size_t size = 0; size < bytes.size(); size += 8) {
    MultiRun fresh(config, kBox, kRule);
    const auto restore = [&] {
      StateReader in(std::span<const std::uint8_t>(bytes.data(), size));
      fresh.restore(in);
    };
    EXPECT_THROW(restore(), RunStateError) << size;
  }
  MopsoConfig other = config;
  other.n_particles = 5;
  MultiRun smaller(other, kBox, kRule);
  StateReader in(bytes);
  EXPECT_THROW(smaller.restore(in), RunStateError);
}

}  // namespace
}  // namespace corvalinth
