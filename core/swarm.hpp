// The particles of one run and the minimum rule that picks the best of them.
#pragma once

#include <cstddef>
#include <limits>
#include <new>
#include <span>
#include <vector>

#include "core/numeric.hpp"

namespace corvalinth {

// The particles of one run, in index order, stored contiguously: particle i's position, velocity
// and personal best position are rows of three n x dim matrices. A particle's vectors are
// updated in place and never reallocated, so views of them stay valid for the whole run.
class Swarm {
 public:
  Swarm(std::size_t n, std::size_t dim) : n_(n), dim_(dim) {
    // A swarm that cannot be stored is out of memory, whatever the container would call it.
    const std::size_t most = std::vector<double>().max_size();
    if (n > most || (dim != 0 && n > most / dim)) throw std::bad_alloc();
    positions_.resize(n * dim);
    velocities_.resize(n * dim);
    best_positions_.resize(n * dim);
    best_values_.assign(n, std::numeric_limits<double>::infinity());
  }

  std::size_t size() const { return n_; }
  std::size_t dim() const { return dim_; }

  std::span<double> position(std::size_t i) { return {positions_.data() + i * dim_, dim_}; }
  std::span<const double> position(std::size_t i) const {
    return {positions_.data() + i * dim_, dim_};
  }
  std::span<double> velocity(std::size_t i) { return {velocities_.data() + i * dim_, dim_}; }
  std::span<const double> velocity(std::size_t i) const {
    return {velocities_.data() + i * dim_, dim_};
  }
  std::span<double> best_position(std::size_t i) {
    return {best_positions_.data() + i * dim_, dim_};
  }
  std::span<const double> best_position(std::size_t i) const {
    return {best_positions_.data() + i * dim_, dim_};
  }
  double& best_value(std::size_t i) { return best_values_[i]; }
  double best_value(std::size_t i) const { return best_values_[i]; }
  std::span<const double> best_values() const { return best_values_; }
  std::span<double> best_values() { return best_values_; }

  // All positions, particle after particle (n x dim, row-major).
  std::span<const double> positions() const { return positions_; }

 private:
  std::size_t n_;
  std::size_t dim_;
  std::vector<double> positions_;
  std::vector<double> velocities_;
  std::vector<double> best_positions_;
  std::vector<double> best_values_;
};

// Index chosen from `indices` by the minimum rule over the personal best values: the first listed
// index with the lowest value, NaN after every number. `indices` must not be empty.
inline std::size_t best_by_minimum_rule(std::span<const std::size_t> indices, const Swarm& swarm) {
  std::size_t choice = indices[0];
  for (std::size_t k = 1; k < indices.size(); ++k) {
    const std::size_t j = indices[k];
    if (is_better(swarm.best_value(j), swarm.best_value(choice))) choice = j;
  }
  return choice;
}

// The same rule over every particle, in index order. The swarm must not be empty.
inline std::size_t best_of_swarm(const Swarm& swarm) {
  std::size_t choice = 0;
  for (std::size_t j = 1; j < swarm.size(); ++j) {
    if (is_better(swarm.best_value(j), swarm.best_value(choice))) choice = j;
  }
  return choice;
}

}  // namespace corvalinth
