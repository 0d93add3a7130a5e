// The `x0` argument of the front ends: one starting point or k of them (k <= n_particles), which
// replace the drawn starting positions of the first k particles. Each reader checks every point
// against the search box and returns the raw positions row after row, as the run configurations
// hold them; a bad point is a ValueError that names x0.
#pragma once

#include <cstdint>
#include <vector>

#include "binding/runtime/python.hpp"
#include "core/spaces/bounds.hpp"
#include "core/spaces/grey.hpp"

namespace corvalinth::py {

// `x0` is a sequence of numbers (one point) or a sequence of such sequences (a (k, dim) array
// too); every coordinate must lie within its (lo, hi) pair of `box`, NaN never does.
std::vector<double> warm_start_positions(PyObject* x0, const Bounds& box,
                                         std::uint64_t n_particles);

// `x0` is one grey vector, a sequence of pairs in the objective's representation ((lower, upper)
// or, with `center_spread`, (center, spread)), or a sequence of such vectors. A pair becomes the
// position (center, spread), center = (lower + upper) * 0.5 and spread = (upper - lower) * 0.5;
// the center must lie within the variable's bounds and the spread in [0, room(center)].
std::vector<double> grey_warm_start_positions(PyObject* x0, const GreySpace& space,
                                              bool center_spread, std::uint64_t n_particles);

}  // namespace corvalinth::py
