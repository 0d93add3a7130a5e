// A run saved at any point and restored into a fresh run continues on the same trajectory, in
// both forms; a saved state that does not fit is refused with a clear message.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "core/pso.hpp"
#include "core/run_state.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/topology/random.hpp"
#include "core/velocity/fips.hpp"
#include "core/velocity/inertia.hpp"

namespace corvalinth {
namespace {

const ContinuousSpace kBox(Bounds(3, {-5.0, 5.0}));
const InertiaRule kInertia(0.729, 1.49445, 1.49445);
const FipsRule kFips(4.1);

struct Sphere {
  double evaluate(std::span<const double> x) const {
    double sum = 0.0;
    for (const double xi : x) sum = sum + xi * xi;
    return sum;
  }
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
    values.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) values.push_back(evaluate(swarm.position(i)));
  }
};

// The sphere ranked by feasibility under x0 >= 1, whose boundary holds the optimum.
struct RankedSphere {
  ConstrainedValue evaluate(std::span<const double> x) const {
    return {Sphere{}.evaluate(x), std::max(0.0, 1.0 - x[0])};
  }
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm,
                      std::vector<ConstrainedValue>& values) {
    values.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) values.push_back(evaluate(swarm.position(i)));
  }
};

// `restart_patience` 1 restarts after every iteration that does not improve the swarm's best;
// `local` hands the second half of the budget to the local phase; `ranked` ranks by feasibility.
SwarmConfig config_of(std::uint64_t patience, std::uint64_t restart_patience = 0,
                      bool local = false, bool ranked = false) {
  SwarmConfig config;
  if (ranked) config.constraint_handling = ConstraintHandling::Feasibility;
  config.n_particles = 5;
  config.max_iter = local ? 16 : restart_patience > 0 ? 12 : 7;
  if (local) {
    config.local_search = LocalSearch::NelderMead;
    config.local_search_share = 0.5;
  }
  config.seed = 3;
  config.patience = patience;
  config.restart_patience = restart_patience;
  config.restart_spread = 0.5;
  return config;
}

// The settings and parts of one run, so that a restored run can be built like the saved one.
struct Parts {
  SwarmConfig config;
  const VelocityRule* rule;
  RandomTopology topology{2, 9};
  SwarmRun<ContinuousSpace> run{config, kBox, *rule, topology};
  Parts(SwarmConfig c, const VelocityRule& r) : config(c), rule(&r) {}
};

void expect_same(const RunResult<double>& a, const RunResult<double>& b) {
  EXPECT_EQ(a.best_position, b.best_position);
  EXPECT_EQ(a.best_value, b.best_value);
  EXPECT_EQ(a.best_violation, b.best_violation);
  EXPECT_EQ(a.convergence, b.convergence);
  EXPECT_EQ(a.history.positions, b.history.positions);
  EXPECT_EQ(a.history.iterations(), b.history.iterations());
  EXPECT_EQ(a.evaluations, b.evaluations);
  EXPECT_EQ(a.stop_reason, b.stop_reason);
}

// Drives `run` one step (an ask, or a tell with its pass end) with `objective`.
template <typename Objective>
void step_with(SwarmRun<ContinuousSpace>& run, bool batch, Objective objective) {
  if (batch) {
    if (!run.asked()) {
      run.ask_batch();
      return;
    }
    using Value = decltype(objective.evaluate(std::span<const double>()));
    std::vector<Value> values;
    objective.evaluate_batch(kBox, run.ask_batch(), values);
    run.tell_batch(std::span<const Value>(values));
    run.end_pass(nullptr);
    return;
  }
  if (!run.asked()) {
    run.ask();
    return;
  }
  if (run.tell(objective.evaluate(run.ask()))) run.end_pass(nullptr);
}

void step(SwarmRun<ContinuousSpace>& run, bool batch, bool ranked = false) {
  if (ranked) return step_with(run, batch, RankedSphere{});
  step_with(run, batch, Sphere{});
}

struct Case {
  bool batch;
  bool fips;
  std::uint64_t patience;
  std::uint64_t restart_patience = 0;
  bool local = false;
  bool ranked = false;
};

class SavedRun : public testing::TestWithParam<Case> {};

TEST_P(SavedRun, ContinuesOnTheSameTrajectoryFromEveryStep) {
  const Case c = GetParam();
  const VelocityRule& rule = c.fips ? static_cast<const VelocityRule&>(kFips) : kInertia;
  const SwarmConfig config = config_of(c.patience, c.restart_patience, c.local, c.ranked);
  Parts whole(config, rule);
  RandomTopology topology{2, 9};
  const auto whole_run = [&](auto objective) {
    return c.batch ? run_batch(whole.config, kBox, rule, topology, objective)
                   : run(whole.config, kBox, rule, topology, objective);
  };
  const RunResult<double> expected = c.ranked ? whole_run(RankedSphere{}) : whole_run(Sphere{});

  for (std::size_t save_at = 0;; ++save_at) {
    Parts first(config, rule);
    for (std::size_t k = 0; k < save_at && !first.run.finished(); ++k) {
      step(first.run, c.batch, c.ranked);
    }
    const bool finished = first.run.finished();
    StateWriter out;
    first.run.save(out);
    const std::vector<std::uint8_t> bytes = out.take();

    Parts second(config, rule);
    StateReader in(bytes);
    second.run.restore(in);
    while (!second.run.finished()) step(second.run, c.batch, c.ranked);
    SCOPED_TRACE("saved after step " + std::to_string(save_at));
    expect_same(second.run.take_result(), expected);
    if (finished) break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SavedRun,
    testing::Values(Case{false, false, 0}, Case{true, false, 0}, Case{false, true, 2},
                    Case{true, true, 2}, Case{false, false, 0, 1}, Case{true, true, 0, 1},
                    Case{false, false, 0, 1, true}, Case{true, true, 0, 0, true},
                    Case{false, false, 0, 1, true, true}, Case{true, true, 2, 0, true, true}));

std::string restore_failure(std::vector<std::uint8_t> bytes, SwarmConfig config) {
  try {
    Parts parts(config, kInertia);
    StateReader in(bytes);
    parts.run.restore(in);
  } catch (const RunStateError& error) {
    return error.what();
  }
  return "(restored)";
}

TEST(SavedRun, RefusesWhatDoesNotFit) {
  Parts parts(config_of(0), kInertia);
  step(parts.run, false);
  StateWriter out;
  parts.run.save(out);
  const std::vector<std::uint8_t> bytes = out.take();

  std::vector<std::uint8_t> other_version = bytes;
  other_version[8] = 99;
  std::vector<std::uint8_t> truncated(bytes.begin(), bytes.end() - 1);
  std::vector<std::uint8_t> longer = bytes;
  longer.push_back(0);
  SwarmConfig more_particles = config_of(0);
  more_particles.n_particles = 6;
  SwarmConfig no_history = config_of(0);
  no_history.record_history = false;

  EXPECT_EQ(restore_failure(bytes, config_of(0)), "(restored)");
  EXPECT_EQ(restore_failure(other_version, config_of(0)),
            "saved run state has format version 99; this version of corvalinth reads version 5 "
            "only");
  EXPECT_EQ(restore_failure({1, 2, 3}, config_of(0)), "not a saved run state");
  EXPECT_EQ(restore_failure(truncated, config_of(0)), "saved run state is truncated");
  EXPECT_EQ(restore_failure(longer, config_of(0)), "saved run state has trailing data");
  EXPECT_EQ(restore_failure(bytes, more_particles),
            "saved run state does not match this run: number of particles");
  EXPECT_EQ(restore_failure(bytes, no_history),
            "saved run state does not match this run: record_history");
  // Every shorter prefix is refused too, not only the one a byte short.
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    const std::vector<std::uint8_t> prefix(bytes.begin(),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_NE(restore_failure(prefix, config_of(0)), "(restored)") << "cut at byte " << cut;
  }
}

TEST(SavedDoubles, AreLittleEndianWordsOfTheirBitPatterns) {
  const std::vector<double> values = {-0.0, 1.5, std::numeric_limits<double>::infinity(),
                                      std::bit_cast<double>(std::uint64_t{0x7FF8000000000123})};
  std::vector<std::uint8_t> bytes(8 * values.size());
  store_f64_words(values, bytes.data());
  for (std::size_t k = 0; k < values.size(); ++k) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 8; ++b) word |= std::uint64_t{bytes[8 * k + b]} << (8 * b);
    EXPECT_EQ(word, std::bit_cast<std::uint64_t>(values[k])) << "value " << k;
  }
  std::vector<double> back(values.size());
  load_f64_words(bytes.data(), back);
  for (std::size_t k = 0; k < values.size(); ++k) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back[k]), std::bit_cast<std::uint64_t>(values[k]));
  }
}

}  // namespace
}  // namespace corvalinth
