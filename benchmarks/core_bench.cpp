// Prints the cost of the generator's draws and of the run loop on a sphere. Asserts nothing.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>

#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/velocity/inertia.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Sphere {
  double evaluate(std::span<const double> x) const {
    double sum = -0.0;
    for (const double xi : x) sum = sum + xi * xi;
    return sum;
  }
};

double best_of(int repeats, auto&& measure) {
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const double t = measure();
    if (t < best) best = t;
  }
  return best;
}

}  // namespace

int main() {
  using namespace corvalinth;

  constexpr std::uint64_t kDraws = 200'000'000;
  std::uint64_t sink = 0;
  const double draw_ns = best_of(3, [&] {
    auto rng = SwarmRng::seed_from_u64(7);
    const auto start = Clock::now();
    for (std::uint64_t k = 0; k < kDraws; ++k) sink ^= rng.next_u64();
    return seconds_since(start) * 1e9 / static_cast<double>(kDraws);
  });
  std::printf("next_u64:                      %.3f ns per draw\n", draw_ns);

  const double unit_ns = best_of(3, [&] {
    auto rng = SwarmRng::seed_from_u64(7);
    double acc = 0.0;
    const auto start = Clock::now();
    for (std::uint64_t k = 0; k < kDraws; ++k) acc += rng.unit();
    sink ^= static_cast<std::uint64_t>(acc);
    return seconds_since(start) * 1e9 / static_cast<double>(kDraws);
  });
  std::printf("unit:                          %.3f ns per draw\n", unit_ns);

  constexpr std::uint64_t kParticles = 30, kDim = 30, kIterations = 1000;
  const ContinuousSpace space(Bounds(kDim, {-5.12, 5.12}));
  const InertiaRule rule(0.729, 1.49445, 1.49445);
  GlobalTopology topology;
  for (const bool record : {false, true}) {
    SwarmConfig config;
    config.n_particles = kParticles;
    config.max_iter = kIterations;
    config.seed = 1;
    config.record_history = record;
    double best_value = 0.0;
    const double run_ns = best_of(5, [&] {
      Sphere sphere;
      const auto start = Clock::now();
      const auto result = run(config, space, rule, topology, sphere);
      const double elapsed = seconds_since(start);
      best_value = result.best_value;
      return elapsed * 1e9 / static_cast<double>(kParticles * kDim * kIterations);
    });
    std::printf("sphere run 30x30x1000 (history %-3s): %.3f ns per particle-dimension-iteration "
                "(%.2f x two draws), best %g\n",
                record ? "on" : "off", run_ns, run_ns / (2.0 * draw_ns), best_value);
  }

  // The same run with a stop token whose poller (doing nothing) is due every 5 ms, as a host
  // watching for signals would attach it.
  struct IdlePoller final : StopPoller {
    std::uint64_t calls = 0;
    void poll() override { ++calls; }
  };
  SwarmConfig config;
  config.n_particles = kParticles;
  config.max_iter = kIterations;
  config.seed = 1;
  config.record_history = false;
  std::uint64_t polls = 0;
  const double polled_ns = best_of(5, [&] {
    Sphere sphere;
    StopToken token;
    IdlePoller poller;
    token.attach_poller(&poller, std::chrono::milliseconds(5));
    const auto start = Clock::now();
    const auto result = run(config, space, rule, topology, sphere, nullptr, &token);
    const double elapsed = seconds_since(start);
    polls = poller.calls;
    sink ^= static_cast<std::uint64_t>(result.evaluations);
    return elapsed * 1e9 / static_cast<double>(kParticles * kDim * kIterations);
  });
  std::printf("sphere run 30x30x1000 (polled every 5 ms): %.3f ns per particle-dimension-iteration "
              "(%llu polls)\n",
              polled_ns, static_cast<unsigned long long>(polls));
  std::printf("(sink %llu)\n", static_cast<unsigned long long>(sink & 1));
  return 0;
}
