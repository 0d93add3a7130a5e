// Counts heap allocations to show that moving a particle allocates nothing: a run's allocation
// count does not depend on how many iterations it makes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>

#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/topology/random.hpp"
#include "core/topology/ring.hpp"
#include "core/topology/von_neumann.hpp"
#include "core/velocity/constriction.hpp"
#include "core/velocity/fips.hpp"
#include "core/velocity/inertia.hpp"

namespace {
std::atomic<std::size_t> allocations{0};
}  // namespace

// The replacement pair allocates with malloc and frees with free, which the compiler cannot see.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace corvalinth {
namespace {

struct Sphere {
  double evaluate(std::span<const double> x) const {
    double sum = -0.0;
    for (const double v : x) sum = sum + v * v;
    return sum;
  }
};

struct BatchSphere {
  void evaluate_batch(const ContinuousSpace&, const Swarm& swarm, std::vector<double>& values) {
    values.resize(swarm.size());
    for (std::size_t i = 0; i < swarm.size(); ++i) values[i] = Sphere{}.evaluate(swarm.position(i));
  }
};

std::size_t allocations_of_run(const VelocityRule& rule, Topology& topology,
                               BoundsHandling mode, std::uint64_t iterations, bool batch) {
  const ContinuousSpace space(Bounds(8, {-1.0, 1.0}));
  SwarmConfig config;
  config.n_particles = 16;
  config.max_iter = iterations;
  config.seed = 5;
  config.record_history = false;
  config.v_max = 0.5;
  config.bounds_handling = mode;
  const std::size_t before = allocations.load();
  if (batch) {
    BatchSphere objective;
    run_batch(config, space, rule, topology, objective);
  } else {
    Sphere objective;
    run(config, space, rule, topology, objective);
  }
  return allocations.load() - before;
}

TEST(Allocation, MovesAllocateNothingForEveryRuleAndTopology) {
  const InertiaRule inertia(0.729, 1.49445, 1.49445);
  const ConstrictionRule constriction(2.05, 2.05);
  const FipsRule fips(4.1);
  GlobalTopology global;
  RingTopology ring(1);
  auto grid = VonNeumannTopology::from_size(16);
  const VelocityRule* rules[] = {&inertia, &constriction, &fips};
  Topology* topologies[] = {&global, &ring, &grid};
  for (const VelocityRule* rule : rules) {
    for (Topology* topology : topologies) {
      for (const auto mode : {BoundsHandling::Clamp, BoundsHandling::Reflect,
                              BoundsHandling::Wrap, BoundsHandling::Reinit}) {
        for (const bool batch : {false, true}) {
          const std::size_t short_run = allocations_of_run(*rule, *topology, mode, 3, batch);
          const std::size_t long_run = allocations_of_run(*rule, *topology, mode, 300, batch);
          EXPECT_EQ(short_run, long_run);
        }
      }
    }
  }
  // The random topology's generator lives in the topology: queries allocate nothing either.
  RandomTopology random_a(3, 1), random_b(3, 1);
  EXPECT_EQ(allocations_of_run(fips, random_a, BoundsHandling::Clamp, 3, false),
            allocations_of_run(fips, random_b, BoundsHandling::Clamp, 300, false));
}

}  // namespace
}  // namespace corvalinth
