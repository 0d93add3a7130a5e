// Prints the cost of the hypervolume on 100-point fronts in 2 to 5 objectives, of a 100-particle,
// 100-iteration multi-objective run on ZDT1, and of a run with minimize_multi's robust preset on
// DTLZ2 with three objectives. Asserts nothing.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <vector>

#include "core/mopso/hypervolume.hpp"
#include "core/mopso/mopso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/velocity/inertia.hpp"
#include "core/velocity/speed_constrained.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// `count` points on the positive part of the unit sphere: mutually non-dominated, since a point
// below another in every objective would lie strictly inside the sphere.
std::vector<std::vector<double>> sphere_front(std::size_t count, std::size_t m, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<std::vector<double>> front(count, std::vector<double>(m));
  for (auto& p : front) {
    double norm = 0.0;
    for (double& x : p) {
      x = std::fabs(normal(random));
      norm += x * x;
    }
    norm = std::sqrt(norm);
    for (double& x : p) x /= norm;
  }
  return front;
}

// ZDT1: f1 = x0, f2 = g (1 - sqrt(x0 / g)), g = 1 + 9 sum(x1..) / (n - 1).
struct Zdt1 {
  void evaluate(std::span<const double> x, std::vector<double>& values) const {
    double sum = 0.0;
    for (std::size_t i = 1; i < x.size(); ++i) sum = sum + x[i];
    const double g = 1.0 + 9.0 * sum / static_cast<double>(x.size() - 1);
    values.resize(2);
    values[0] = x[0];
    values[1] = g * (1.0 - std::sqrt(x[0] / g));
  }
};

// DTLZ2 with three objectives: g = sum over x2.. of (x - 0.5)^2, f1 = (1 + g) cos(x0 pi/2)
// cos(x1 pi/2), f2 = (1 + g) cos(x0 pi/2) sin(x1 pi/2), f3 = (1 + g) sin(x0 pi/2).
struct Dtlz2 {
  void evaluate_batch(const corvalinth::ContinuousSpace&, const corvalinth::Swarm& swarm,
                      std::vector<double>& values) const {
    constexpr double kQuarterTurn = 1.5707963267948966;
    values.resize(swarm.size() * 3);
    for (std::size_t i = 0; i < swarm.size(); ++i) {
      const std::span<const double> x = swarm.position(i);
      double g = 0.0;
      for (std::size_t k = 2; k < x.size(); ++k) g = g + (x[k] - 0.5) * (x[k] - 0.5);
      const double a = x[0] * kQuarterTurn;
      const double b = x[1] * kQuarterTurn;
      values[3 * i] = (1.0 + g) * std::cos(a) * std::cos(b);
      values[3 * i + 1] = (1.0 + g) * std::cos(a) * std::sin(b);
      values[3 * i + 2] = (1.0 + g) * std::sin(a);
    }
  }
};

}  // namespace

int main() {
  using namespace corvalinth;

  std::printf("hypervolume of 100 points on the unit sphere, reference 1.1 per objective\n");
  for (std::size_t m = 2; m <= 5; ++m) {
    const auto front = sphere_front(100, m, 17 + m);
    const std::vector<double> reference(m, 1.1);
    double volume = 0.0;
    int repeats = 0;
    const auto start = Clock::now();
    do {
      volume = hypervolume(front, reference);
      ++repeats;
    } while (seconds_since(start) < 1.0 && repeats < 1000);
    std::printf("  m = %zu: %12.3f ms per call (%d calls), volume %.12f\n", m,
                seconds_since(start) * 1e3 / repeats, repeats, volume);
  }

  std::printf(
      "least-contribution cut of an archive of 100 that takes 80 new points on the unit\n"
      "sphere per pruning (mutually non-dominated, as a run's late iterations bring)\n");
  for (std::size_t m = 2; m <= 3; ++m) {
    const auto arrivals = sphere_front(80 * 200, m, 31 + m);
    double best = 1e300;
    for (int r = 0; r < 5; ++r) {
      ParetoArchive archive(LeastContribution{}, 100);
      const std::vector<double> position{0.0};
      double pruning = 0.0;
      for (std::size_t k = 0; k < arrivals.size(); ++k) {
        archive.insert(position, arrivals[k]);
        if (k % 80 != 79) continue;
        const auto start = Clock::now();
        archive.prune_and_weigh();
        pruning += seconds_since(start);
      }
      best = std::min(best, pruning);
    }
    std::printf("  m = %zu: %8.2f us per pruning (200 prunings)\n", m, best * 1e6 / 200);
  }

  std::printf("MOPSO on ZDT1, 30 variables, 100 particles, 100 iterations, archive 100\n");
  const ContinuousSpace space(Bounds(30, {0.0, 1.0}));
  const InertiaRule rule(0.4, 1.5, 1.5);
  for (const bool grid : {false, true}) {
    for (const bool history : {true, false}) {
      MopsoConfig config;
      config.seed = 42;
      config.strategy = grid ? DiversityStrategy{Grid{10}} : DiversityStrategy{Crowding{}};
      config.record_history = history;
      Zdt1 objective;
      double best = 1e300;
      MopsoResult<double> result;
      for (int r = 0; r < 5; ++r) {
        const auto start = Clock::now();
        result = run_mopso(config, space, rule, objective);
        const double t = seconds_since(start);
        if (t < best) best = t;
      }
      std::vector<std::vector<double>> front;
      for (const auto& member : result.members) front.push_back(member.objectives);
      std::printf("  %-9s history %-3s: %8.2f ms per run, %3zu members, hypervolume (1.1, 1.1) %.6f\n",
                  grid ? "grid(10)" : "crowding", history ? "on" : "off", best * 1e3,
                  result.members.size(), hypervolume(front, std::vector<double>{1.1, 1.1}));
    }
  }

  std::printf(
      "MOPSO with the robust preset's settings (speed-constrained, w 0.4, polynomial turbulence,\n"
      "differential crossover share 0.3, least-contribution archive of 100) on DTLZ2, 3\n"
      "objectives, 12 variables, 100 particles, 23,092 evaluations, batch form\n");
  {
    const Bounds box(12, {0.0, 1.0});
    const ContinuousSpace dtlz_space(box);
    const SpeedConstrainedRule speed_constrained(0.4, box);
    MopsoConfig config;
    config.strategy = LeastContribution{};
    config.turbulence = Turbulence::Polynomial;
    config.crossover_share = 0.3;
    config.crossover = ArchiveCrossover::Differential;
    config.record_history = false;
    config.max_iter = UINT64_MAX;
    config.max_evals = 23092;
    Dtlz2 objective;
    std::vector<double> times;
    MopsoResult<double> result;
    for (int r = 0; r < 15; ++r) {
      config.seed = 1 + static_cast<std::uint64_t>(r % 5);
      const auto start = Clock::now();
      result = run_mopso_batch(config, dtlz_space, speed_constrained, objective);
      times.push_back(seconds_since(start));
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf(
        "  %8.2f ms per run (median of 15, seeds 1-5), %.3f us per evaluation, %zu members\n",
        median * 1e3, median * 1e6 / static_cast<double>(result.evaluations),
        result.members.size());
  }
  return 0;
}
