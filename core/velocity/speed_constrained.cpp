#include "core/velocity/speed_constrained.hpp"

#include "core/velocity/constriction.hpp"
#include "core/velocity/single_leader.hpp"

namespace corvalinth {

SpeedConstrainedRule::SpeedConstrainedRule(double w, const Bounds& box) : w_(w) {
  delta_.reserve(box.size());
  for (const auto& [lo, hi] : box) delta_.push_back((hi - lo) * 0.5);
}

void SpeedConstrainedRule::update(const VelocityContext& context, SwarmRng& rng,
                                  std::span<double> new_velocity) const {
  const double c1 = 1.5 + rng.unit();
  const double c2 = 1.5 + rng.unit();
  const double phi = c1 + c2;
  const double chi = phi > 4.0 ? constriction_factor(phi) : 1.0;
  // The walk visits the dimensions in order, so a running index finds each one's limit.
  std::size_t d = 0;
  update_each_dimension(context, rng, new_velocity,
                        [&](double x, double v, double p, double g, double u1, double u2) {
                          double c = (((p - x) * (u1 * c1) + v * w_) + (g - x) * (u2 * c2)) * chi;
                          const double limit = delta_[d++];
                          if (c < -limit) c = -limit;
                          if (c > limit) c = limit;
                          return c;
                        });
}

}  // namespace corvalinth
