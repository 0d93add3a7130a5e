#include "core/velocity/inertia.hpp"

#include "core/velocity/single_leader.hpp"

namespace corvalinth {

void InertiaRule::update(const VelocityContext& context, SwarmRng& rng,
                         std::span<double> new_velocity) const {
  update_each_dimension(context, rng, new_velocity,
                        [this](double x, double v, double p, double g, double u1, double u2) {
                          return ((p - x) * (u1 * c1_) + v * w_) + (g - x) * (u2 * c2_);
                        });
}

}  // namespace corvalinth
