// Minimises the 5-dimensional Rastrigin function with the core alone and prints the result.
#include <cmath>
#include <cstdio>
#include <span>

#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/global.hpp"
#include "core/velocity/inertia.hpp"

namespace {

struct Rastrigin {
  double evaluate(std::span<const double> x) const {
    double sum = 0.0;
    for (const double xi : x) sum += xi * xi - 10.0 * std::cos(2.0 * 3.141592653589793 * xi);
    return 10.0 * static_cast<double>(x.size()) + sum;
  }
};

}  // namespace

int main() {
  using namespace corvalinth;
  const ContinuousSpace space(Bounds(5, {-5.12, 5.12}));
  SwarmConfig config;
  config.n_particles = 40;
  config.max_iter = 500;
  config.seed = 42;
  const InertiaRule rule(config.w, config.c1, config.c2);
  GlobalTopology topology;
  Rastrigin objective;

  const auto result = run(config, space, rule, topology, objective);

  std::printf("rastrigin, 5 dimensions, 40 particles, seed 42\n");
  std::printf("best value:  %s\n", format_number(result.best_value).c_str());
  std::printf("best point: ");
  for (const double x : result.best_position) std::printf(" %.6f", x);
  std::printf("\nevaluations: %llu, stop reason: %s\n",
              static_cast<unsigned long long>(result.evaluations),
              std::string(stop_reason_name(result.stop_reason)).c_str());
  return 0;
}
