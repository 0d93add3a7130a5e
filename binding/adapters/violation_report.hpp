// The total violation a result reports for its best position: every constraint called once more
// at that point, its answers summed by the rules of `core/violation.hpp`.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/runtime/py_ref.hpp"

namespace corvalinth::py {

// The total violation of the point that `make_argument` hands to user code (a fresh list of the
// point for the per-particle form, a fresh (1, dim) array for the vectorised one, whose
// constraints answer one value per row). Each constraint gets its own argument, so one that
// changes it cannot change what the next one sees. 0.0 without constraints, with no call made.
// Throws PythonErrorSet when a constraint raises or answers something that is not a number.
double violation_at(const PointCallables& callables, double equality_tol, bool vectorized,
                    const std::function<PyRef()>& make_argument);

// The total violation of each row of the n-row array that `make_argument` hands to user code
// (a fresh one for each constraint, which answers one value per row), into `out` in row order.
// Throws PythonErrorSet as violation_at does, and a ValueError for an answer of another length.
void row_violations(const PointCallables& callables, double equality_tol, std::size_t n,
                    const std::function<PyRef()>& make_argument, std::vector<double>& out);

}  // namespace corvalinth::py
