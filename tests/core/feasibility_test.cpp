// Runs ranked by the feasibility rules: with every violation 0 they are the plain runs bit for
// bit, and the global topology's shortcut keeps choosing what the spelled-out neighbourhood would.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/topology/random.hpp"
#include "core/topology/ring.hpp"
#include "core/velocity/fips.hpp"
#include "core/velocity/inertia.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
using Ranked = std::function<ConstrainedValue(std::span<const double>)>;

double rastrigin_like(std::span<const double> x) {
  double sum = 0.0;
  for (const double v : x) sum = sum + (v * v - std::cos(3.0 * v));
  return sum;
}

struct PlainPoint {
  std::function<double(std::span<const double>)> f;
  double evaluate(std::span<const double> x) { return f(x); }
};
struct RankedPoint {
  Ranked f;
  ConstrainedValue evaluate(std::span<const double> x) { return f(x); }
};
struct PlainBatch {
  std::function<double(std::span<const double>)> f;
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& out) {
    out.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) out.push_back(f(swarm.position(i)));
  }
};
struct RankedBatch {
  Ranked f;
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm,
                      std::vector<ConstrainedValue>& out) {
    out.clear();
    for (std::size_t i = 0; i < swarm.size(); ++i) out.push_back(f(swarm.position(i)));
  }
};

struct Settings {
  const char* name;
  const char* topology;
  std::uint64_t patience;
  double tol;
  std::uint64_t restart_patience;
  bool target;
  double local_share;  // of the budget, for a final local phase; 0 for none
};

void PrintTo(const Settings& s, std::ostream* out) { *out << s.name; }

std::unique_ptr<Topology> topology_named(const std::string& name) {
  if (name == "ring") return std::make_unique<RingTopology>(1);
  if (name == "random") return std::make_unique<RandomTopology>(3, 5);
  return std::make_unique<GlobalTopology>();
}

SwarmConfig config_of(const Settings& s, ConstraintHandling handling) {
  SwarmConfig config;
  config.n_particles = 9;
  config.max_iter = 60;
  config.seed = 11;
  config.patience = s.patience;
  config.tol = s.tol;
  config.restart_patience = s.restart_patience;
  config.restart_tol = 1e-3;
  if (s.target) config.target = -2.5;
  if (s.local_share > 0.0) {
    config.local_search = LocalSearch::NelderMead;
    config.local_search_share = s.local_share;
  }
  config.constraint_handling = handling;
  return config;
}

class RankedWithoutViolation : public ::testing::TestWithParam<Settings> {};

// With every violation 0 each ranked rule reduces to the plain one, stop tests included. (After a
// restart a forgotten best ranks (+inf, +inf), which a NaN value with no violation beats where
// the plain +inf would stay: restarted runs are compared without NaN.)
TEST_P(RankedWithoutViolation, IsThePlainRunBitForBit) {
  const Settings& s = GetParam();
  const ContinuousSpace box(Bounds(3, {-2.0, 2.0}));
  const InertiaRule rule(0.729, 1.49445, 1.49445);
  const bool with_nan = s.restart_patience == 0;
  const auto f = [with_nan](std::span<const double> x) {
    return with_nan && x[0] > 1.5 ? kNaN : std::round(4.0 * rastrigin_like(x)) / 4.0;
  };
  const Ranked ranked = [&](std::span<const double> x) { return ConstrainedValue{f(x), 0.0}; };
  for (const bool batch : {false, true}) {
    const SwarmConfig plain_config = config_of(s, ConstraintHandling::Penalty);
    const SwarmConfig ranked_config = config_of(s, ConstraintHandling::Feasibility);
    const auto plain_topology = topology_named(s.topology);
    const auto ranked_topology = topology_named(s.topology);
    if (batch) {
      PlainBatch a{f};
      RankedBatch b{ranked};
      expect_same_run(run_batch(plain_config, box, rule, *plain_topology, a),
                      run_batch(ranked_config, box, rule, *ranked_topology, b));
    } else {
      PlainPoint a{f};
      RankedPoint b{ranked};
      expect_same_run(run(plain_config, box, rule, *plain_topology, a),
                      run(ranked_config, box, rule, *ranked_topology, b));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    StopTestsAndTopologies, RankedWithoutViolation,
    ::testing::Values(Settings{"global", "global", 0, 0.0, 0, false, 0.0},
                      Settings{"ring_stagnation", "ring", 5, 1e-2, 0, false, 0.0},
                      Settings{"random_target", "random", 0, 0.0, 0, true, 0.0},
                      Settings{"global_restarts", "global", 0, 0.0, 4, false, 0.0},
                      Settings{"ring_restarts_and_stagnation", "ring", 25, 0.0, 3, false, 0.0},
                      Settings{"local_phase", "global", 0, 0.0, 0, false, 0.5},
                      Settings{"ring_local_phase_and_stagnation", "ring", 40, 1e-3, 0, false, 0.7}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A topology that lists the whole swarm without saying so: the long path, which the shortcut has
// to reproduce exactly.
struct SpelledOutGlobal final : Topology {
  void neighbours(std::size_t, std::size_t n, std::vector<std::size_t>& out) override {
    out.resize(n);
    for (std::size_t j = 0; j < n; ++j) out[j] = j;
  }
};

TEST(RankedGlobalShortcut, MatchesTheSpelledOutNeighbourhoodExactly) {
  const ContinuousSpace box(Bounds(4, {-3.0, 3.0}));
  const InertiaRule inertia(0.729, 1.49445, 1.49445);
  const FipsRule fips(4.1);
  // Coarse violations and values create ties of rank, NaN values rank last among equal
  // violations, and restarts make every best +inf again.
  const Ranked objectives[] = {
      [](std::span<const double> x) {
        return ConstrainedValue{rastrigin_like(x), std::floor(std::fabs(x[1]))};
      },
      [](std::span<const double> x) {
        const double v = std::floor(2.0 * (x[0] + x[2]));
        return ConstrainedValue{x[3] > 1.0 ? kNaN : std::round(rastrigin_like(x)),
                                v > 0.0 ? v : 0.0};
      },
      [](std::span<const double> x) {
        return ConstrainedValue{x[0] > 0.0 ? kNaN : std::floor(rastrigin_like(x)),
                                x[1] > 2.0 ? std::numeric_limits<double>::infinity() : 0.0};
      },
  };
  for (const VelocityRule* rule :
       {static_cast<const VelocityRule*>(&inertia), static_cast<const VelocityRule*>(&fips)}) {
    for (const std::uint64_t restart_patience : {std::uint64_t{0}, std::uint64_t{3}}) {
      SwarmConfig config;
      config.n_particles = 13;
      config.max_iter = 30;
      config.seed = 7;
      config.restart_patience = restart_patience;
      config.constraint_handling = ConstraintHandling::Feasibility;
      for (const auto& f : objectives) {
        GlobalTopology global;
        SpelledOutGlobal spelled;
        RankedPoint a{f}, b{f};
        expect_same_run(run(config, box, *rule, global, a), run(config, box, *rule, spelled, b));
        RankedBatch c{f}, d{f};
        expect_same_run(run_batch(config, box, *rule, global, c),
                        run_batch(config, box, *rule, spelled, d));
      }
    }
  }
}

}  // namespace
}  // namespace corvalinth
