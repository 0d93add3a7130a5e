// record_evaluations=True: every evaluation of a run kept in evaluation order, one row per
// evaluation holding the decoded point, then the value the run was given for it (the objective's,
// with the constraints' penalty when there are constraints), or its objective vector in a
// multi-objective run.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace corvalinth::py {

struct EvaluationLog {
  std::size_t columns = 0;     // dim + the number of values once a row was recorded
  std::vector<double> values;  // rows after rows

  std::size_t rows() const { return columns == 0 ? 0 : values.size() / columns; }

  template <typename Element>
  void add(std::span<const Element> point, double value) {
    for (const Element& coordinate : point) values.push_back(static_cast<double>(coordinate));
    values.push_back(value);
    columns = point.size() + 1;
  }

  template <typename Element>
  void add(std::span<const Element> point, std::span<const double> vector) {
    for (const Element& coordinate : point) values.push_back(static_cast<double>(coordinate));
    values.insert(values.end(), vector.begin(), vector.end());
    columns = point.size() + vector.size();
  }
};

}  // namespace corvalinth::py
