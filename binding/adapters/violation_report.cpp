#include "binding/adapters/violation_report.hpp"

#include <vector>

#include "binding/arguments/convert.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {

double violation_at(const PointCallables& callables, double equality_tol, bool vectorized,
                    const std::function<PyRef()>& make_argument) {
  if (vectorized) {
    std::vector<double> one_row;
    row_violations(callables, equality_tol, 1, make_argument, one_row);
    return one_row[0];
  }
  const auto value_of = [&](const PyRef& constraint) {
    const PyRef argument = make_argument();
    const PyRef answer = call_one(constraint.get(), argument.get());
    return to_f64(answer.get());
  };
  double total = 0.0;
  for (const PyRef& g : callables.constraints) total = total + inequality_violation(value_of(g));
  for (const PyRef& h : callables.equality_constraints) {
    total = total + equality_violation(value_of(h), equality_tol);
  }
  return total;
}

void row_violations(const PointCallables& callables, double equality_tol, std::size_t n,
                    const std::function<PyRef()>& make_argument, std::vector<double>& out) {
  std::vector<double> answers;
  const auto answers_of = [&](const PyRef& constraint) {
    const PyRef argument = make_argument();
    read_batch_values(call_one(constraint.get(), argument.get()), n, answers,
                      "vectorized constraint");
  };
  out.assign(n, 0.0);
  for (const PyRef& g : callables.constraints) {
    answers_of(g);
    for (std::size_t i = 0; i < n; ++i) out[i] = out[i] + inequality_violation(answers[i]);
  }
  for (const PyRef& h : callables.equality_constraints) {
    answers_of(h);
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = out[i] + equality_violation(answers[i], equality_tol);
    }
  }
}

}  // namespace corvalinth::py
