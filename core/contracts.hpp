// The contracts through which a run reaches what varies: the iteration callback, the velocity
// rule, the topology, the search space and the objective in its two forms. Each is stated here
// once, in sentences; the implementations live in velocity/, topology/ and spaces/, and the
// objectives with their hosts (the benchmarks, the Python adapters).
#pragma once

#include <concepts>
#include <cstddef>
#include <span>
#include <vector>

#include "core/records.hpp"
#include "core/rng.hpp"
#include "core/spaces/bounds.hpp"
#include "core/swarm.hpp"

namespace corvalinth {

// ---------------------------------------------------------------------------------------------
// Iteration callback

// Called once at the end of every iteration of a per-particle run; returning false stops the
// run with StopReason::Callback.
class IterationCallback {
 public:
  virtual ~IterationCallback() = default;
  virtual bool on_iteration(const IterationInfo& info) = 0;
};

// ---------------------------------------------------------------------------------------------
// Velocity rules

// What a velocity rule sees of one particle in one step. Every vector has the particle's
// dimension. `informants` is empty unless the rule uses informants.
struct VelocityContext {
  std::span<const double> position;
  std::span<const double> velocity;
  std::span<const double> personal_best;
  std::span<const double> neighbourhood_best;
  std::span<const std::span<const double>> informants;
};

// The velocity update. `update` writes one new component per dimension of context.position into
// `new_velocity`, drawing only from `rng`, and changes neither the context nor the rule.
class VelocityRule {
 public:
  virtual ~VelocityRule() = default;
  virtual void update(const VelocityContext& context, SwarmRng& rng,
                      std::span<double> new_velocity) const = 0;
  // True when `update` reads context.informants; otherwise the loop passes none.
  virtual bool uses_informants() const = 0;
};

// ---------------------------------------------------------------------------------------------
// Topologies

// The social structure. `neighbours` lists the neighbourhood of particle i among n particles:
// indices below n, none repeated, i always included; the order breaks ties in the best neighbour
// and orders the informants. A topology may advance private state on every query, so a run asks
// exactly once per particle and iteration.
class Topology {
 public:
  virtual ~Topology() = default;
  // Replaces the contents of `out` with the neighbourhood of i.
  virtual void neighbours(std::size_t i, std::size_t n, std::vector<std::size_t>& out) = 0;
  // True when every neighbourhood is 0, 1, ..., n-1 in order, which lets a run skip building it.
  virtual bool lists_whole_swarm() const { return false; }
  // The topology's private generator, if it has one: the part of its state a saved run keeps.
  virtual SwarmRng* own_generator() { return nullptr; }
};

// ---------------------------------------------------------------------------------------------
// Search spaces and objectives

// A search space: where particles start, how they are brought back after a move, and what point
// the objective sees. Every position and velocity is a vector of dim() doubles; a space draws
// random numbers only from the generator it is handed.
template <typename S>
concept SearchSpace = requires(const S& space, SwarmRng& rng, std::span<double> vector,
                               std::span<const double> position, BoundsHandling mode,
                               std::vector<typename S::Element>& point) {
  typename S::Element;
  { space.dim() } -> std::convertible_to<std::size_t>;
  space.init_position(rng, vector);
  space.init_velocity(rng, vector);
  space.enforce_bounds(vector, vector, mode, rng);
  space.decode_into(position, point);
  { space.decode(position) } -> std::same_as<std::vector<typename S::Element>>;
};

template <typename S>
constexpr bool decode_is_identity() {
  if constexpr (requires { S::kDecodeIsIdentity; }) {
    return S::kDecodeIsIdentity;
  } else {
    return false;
  }
}

// Per-particle objective: one decoded point in, one value out. It never draws from the run's
// generator; a failure inside (a Python exception) is kept by the objective itself, which still
// returns a value.
template <typename O, typename Element>
concept ParticleObjective = requires(O& objective, std::span<const Element> point) {
  { objective.evaluate(point) } -> std::convertible_to<double>;
};

// Batch objective: decodes every particle's current position with the space and writes one value
// per particle, in swarm order, into `values` (replacing its contents).
template <typename O, typename Space>
concept BatchObjective = requires(O& objective, const Space& space, const Swarm& swarm,
                                  std::vector<double>& values) {
  objective.evaluate_batch(space, swarm, values);
};

}  // namespace corvalinth
