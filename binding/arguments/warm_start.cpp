#include "binding/arguments/warm_start.hpp"

#include <optional>
#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "core/failure.hpp"

namespace corvalinth::py {
namespace {

// Returns the numbers of `object`, or nothing (with no error set) when it is not a sequence of
// numbers.
std::optional<std::vector<double>> numbers_of(PyObject* object) {
  if (is_str(object)) return std::nullopt;
  try {
    return to_f64_list(object);
  } catch (const PythonErrorSet&) {
    PyErr_Clear();
    return std::nullopt;
  }
}

// The items of `x0`: itself when `is_one_point` says so, otherwise its elements.
template <typename IsOnePoint>
std::vector<PyRef> points_of(PyObject* x0, IsOnePoint is_one_point) {
  std::vector<PyRef> items;
  bool is_sequence = !is_str(x0);
  if (is_sequence) {
    try {
      items = to_object_list(x0);
    } catch (const PythonErrorSet&) {
      PyErr_Clear();
      is_sequence = false;
    }
  }
  if (!is_sequence) {
    raise(PyExc_ValueError, "x0 must be a point (a sequence of numbers) or a list of points");
  }
  if (items.empty()) raise(PyExc_ValueError, "x0 must hold at least one point");
  if (!is_one_point(items.front().get())) return items;
  std::vector<PyRef> one_point;
  one_point.push_back(PyRef::borrow(x0));
  return one_point;
}

void check_count(std::size_t points, std::uint64_t n_particles) {
  if (points > n_particles) {
    raise(PyExc_ValueError, "x0 has " + std::to_string(points) + " points but the swarm has " +
                                std::to_string(n_particles) + " particles");
  }
}

void check_length(std::size_t point, std::size_t length, std::size_t expected, const char* what) {
  if (length != expected) {
    raise(PyExc_ValueError, "x0 point " + std::to_string(point) + " has " +
                                std::to_string(length) + " values but the problem has " +
                                std::to_string(expected) + " " + what);
  }
}

std::string pair_text(double lo, double hi) {
  return "[" + format_number(lo) + ", " + format_number(hi) + "]";
}

}  // namespace

std::vector<double> warm_start_positions(PyObject* x0, const Bounds& box,
                                         std::uint64_t n_particles) {
  const std::vector<PyRef> points =
      points_of(x0, [](PyObject* first) { return PySequence_Check(first) == 0; });
  check_count(points.size(), n_particles);
  std::vector<double> positions;
  positions.reserve(points.size() * box.size());
  for (std::size_t j = 0; j < points.size(); ++j) {
    const std::optional<std::vector<double>> point = numbers_of(points[j].get());
    if (!point) {
      raise(PyExc_ValueError, "x0 point " + std::to_string(j) + " is not a sequence of numbers");
    }
    check_length(j, point->size(), box.size(), "dimensions");
    for (std::size_t d = 0; d < box.size(); ++d) {
      const auto [lo, hi] = box[d];
      const double x = (*point)[d];
      if (!(lo <= x && x <= hi)) {
        raise(PyExc_ValueError, "x0 point " + std::to_string(j) + " is outside the bounds in "
                                "dimension " + std::to_string(d) + ": " + format_number(x) +
                                " not in " + pair_text(lo, hi));
      }
      positions.push_back(x);
    }
  }
  return positions;
}

std::vector<double> grey_warm_start_positions(PyObject* x0, const GreySpace& space,
                                              bool center_spread, std::uint64_t n_particles) {
  const std::vector<PyRef> points = points_of(x0, [](PyObject* first) {
    const std::optional<std::vector<double>> pair = numbers_of(first);
    return pair && pair->size() == 2;
  });
  check_count(points.size(), n_particles);
  std::vector<double> positions;
  positions.reserve(points.size() * space.dim());
  for (std::size_t j = 0; j < points.size(); ++j) {
    std::vector<PyRef> pairs;
    try {
      pairs = to_object_list(points[j].get());
    } catch (const PythonErrorSet&) {
      PyErr_Clear();
      raise(PyExc_ValueError, "x0 point " + std::to_string(j) + " is not a sequence of pairs");
    }
    check_length(j, pairs.size(), space.variables(), "grey variables");
    for (std::size_t v = 0; v < pairs.size(); ++v) {
      const std::optional<std::vector<double>> pair = numbers_of(pairs[v].get());
      if (!pair || pair->size() != 2) {
        raise(PyExc_ValueError, "x0 point " + std::to_string(j) + " variable " +
                                    std::to_string(v) + " is not a pair of numbers");
      }
      const double a = (*pair)[0];
      const double b = (*pair)[1];
      const double center = center_spread ? a : (a + b) * 0.5;
      const double spread = center_spread ? b : (b - a) * 0.5;
      const auto [lo, hi] = space.bounds()[v];
      const double room = space.room(v, center);
      if (!(lo <= center && center <= hi && 0.0 <= spread && spread <= room)) {
        raise(PyExc_ValueError,
              "x0 point " + std::to_string(j) + " variable " + std::to_string(v) +
                  " is outside the bounds: center " + format_number(center) + " must lie in " +
                  pair_text(lo, hi) + " and spread " + format_number(spread) + " in " +
                  pair_text(0.0, room));
      }
      positions.push_back(center);
      positions.push_back(spread);
    }
  }
  return positions;
}

}  // namespace corvalinth::py
