#include "core/velocity/fips.hpp"

#include <algorithm>

#include "core/failure.hpp"
#include "core/velocity/constriction.hpp"

namespace corvalinth {
namespace {

double checked_chi(double phi) {
  if (!(phi > 4.0)) {
    fail("FIPS uses constriction: requires \u03c6 > 4 (got " + format_number(phi) + ")");
  }
  return constriction_factor(phi);
}

}  // namespace

FipsRule::FipsRule(double phi) : phi_(phi), chi_(checked_chi(phi)) {}

void FipsRule::update(const VelocityContext& context, SwarmRng& rng,
                      std::span<double> new_velocity) const {
  const double* x = context.position.data();
  const double* v = context.velocity.data();
  const auto informants = context.informants;
  const std::size_t count = informants.size();
  const double share = phi_ / static_cast<double>(std::max<std::size_t>(count, 1));
  const std::size_t dim = context.position.size();
  for (std::size_t d = 0; d < dim; ++d) {
    double acc = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
      const double u = rng.unit();
      acc = acc + (informants[k][d] - x[d]) * (u * share);
    }
    new_velocity[d] = (acc + v[d]) * chi_;
  }
}

}  // namespace corvalinth
