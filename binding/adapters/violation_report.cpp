#include "binding/adapters/violation_report.hpp"

#include <vector>

#include "binding/arguments/convert.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {

double violation_at(const PointCallables& callables, double equality_tol, bool vectorized,
                    const std::function<PyRef()>& make_argument) {
  std::vector<double> row_values;
  const auto value_of = [&](const PyRef& constraint) {
    const PyRef argument = make_argument();
    const PyRef answer = call_one(constraint.get(), argument.get());
    if (!vectorized) return to_f64(answer.get());
    read_batch_values(answer, 1, row_values, "vectorized constraint");
    return row_values[0];
  };
  double total = 0.0;
  for (const PyRef& g : callables.constraints) total = total + inequality_violation(value_of(g));
  for (const PyRef& h : callables.equality_constraints) {
    total = total + equality_violation(value_of(h), equality_tol);
  }
  return total;
}

}  // namespace corvalinth::py
