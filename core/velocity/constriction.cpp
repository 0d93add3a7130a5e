#include "core/velocity/constriction.hpp"

#include <cmath>

#include "core/failure.hpp"

namespace corvalinth {
namespace {

double checked_chi(double c1, double c2) {
  const double phi = c1 + c2;
  if (!(phi > 4.0)) fail("constriction requires c1 + c2 > 4 (got " + format_number(phi) + ")");
  return constriction_factor(phi);
}

}  // namespace

double constriction_factor(double phi) {
  if (!(phi > 4.0)) return std::nan("");
  const double difference = 2.0 - phi;
  const double root = std::sqrt(phi * (-4.0) + phi * phi);
  return 2.0 / std::fabs(difference - root);
}

ConstrictionRule::ConstrictionRule(double c1, double c2)
    : c1_(c1), c2_(c2), chi_(checked_chi(c1, c2)) {}

void ConstrictionRule::update(const VelocityContext& context, SwarmRng& rng,
                              std::span<double> new_velocity) const {
  const double* x = context.position.data();
  const double* v = context.velocity.data();
  const double* p = context.personal_best.data();
  const double* g = context.neighbourhood_best.data();
  const std::size_t dim = context.position.size();
  for (std::size_t d = 0; d < dim; ++d) {
    const double u1 = rng.unit();
    const double u2 = rng.unit();
    new_velocity[d] = (((p[d] - x[d]) * (u1 * c1_) + v[d]) + (g[d] - x[d]) * (u2 * c2_)) * chi_;
  }
}

}  // namespace corvalinth
