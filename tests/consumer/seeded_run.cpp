// A seeded run of the core, reduced to a fingerprint of the bits of every value it produced
// (positions of every iteration, the convergence curve, the best point and value). Given the
// file of the recorded fingerprint, exits with 1 when this build's run differs from it.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>

#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/topology/ring.hpp"
#include "core/velocity/inertia.hpp"

namespace {

// Sums of products on purpose: a build that fuses them into multiply-adds changes the bits.
struct Rosenbrock {
  double evaluate(std::span<const double> x) const {
    double sum = 0.0;
    for (std::size_t d = 0; d + 1 < x.size(); ++d) {
      const double ridge = x[d + 1] - x[d] * x[d];
      const double offset = 1.0 - x[d];
      sum += 100.0 * ridge * ridge + offset * offset;
    }
    return sum;
  }
};

// FNV-1a over the bit patterns of the values.
struct Fingerprint {
  std::uint64_t hash = 14695981039346656037ull;
  void add(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int byte = 0; byte < 8; ++byte) {
      hash ^= (bits >> (8 * byte)) & 0xffu;
      hash *= 1099511628211ull;
    }
  }
  void add(std::span<const double> values) {
    for (const double value : values) add(value);
  }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace corvalinth;
  const ContinuousSpace space(Bounds(5, {-2.048, 2.048}));
  SwarmConfig config;
  config.n_particles = 20;
  config.max_iter = 200;
  config.seed = 2024;
  config.bounds_handling = BoundsHandling::Reflect;
  const InertiaRule rule(config.w, config.c1, config.c2);
  RingTopology topology(1);
  Rosenbrock objective;
  const auto result = run(config, space, rule, topology, objective);

  Fingerprint fingerprint;
  fingerprint.add(result.history.positions);
  fingerprint.add(result.convergence);
  fingerprint.add(result.best_position);
  fingerprint.add(result.best_value);
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(fingerprint.hash));
  std::printf("seeded run fingerprint %s\n", text);

  if (argc < 2) return 0;
  std::ifstream recorded_file(argv[1]);
  std::string recorded;
  recorded_file >> recorded;
  if (recorded != text) {
    std::printf("differs from the recorded fingerprint %s (%s)\n", recorded.c_str(), argv[1]);
    return 1;
  }
  return 0;
}
