#include "core/velocity/constriction.hpp"

#include <cmath>

#include "core/failure.hpp"
#include "core/velocity/single_leader.hpp"

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
  update_each_dimension(context, rng, new_velocity,
                        [this](double x, double v, double p, double g, double u1, double u2) {
                          return (((p - x) * (u1 * c1_) + v) + (g - x) * (u2 * c2_)) * chi_;
                        });
}

}  // namespace corvalinth
