#include "binding/results/result_lists.hpp"

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"

namespace corvalinth::py {
namespace {

PyRef new_list(std::size_t length) { return checked(PyList_New(static_cast<Py_ssize_t>(length))); }

// Stores `item` at `index` of a new list; the list takes the reference over.
void put(const PyRef& list, std::size_t index, PyRef item) {
  PyList_SetItem(list.get(), static_cast<Py_ssize_t>(index), item.release());
}

}  // namespace

PyRef new_history_list(const History& history) {
  const std::size_t iterations = history.iterations();
  PyRef outer = new_list(iterations);
  for (std::size_t t = 0; t < iterations; ++t) {
    PyRef swarm = new_list(history.particles);
    for (std::size_t i = 0; i < history.particles; ++i) {
      put(swarm, i, new_float_list(history.position(t, i)));
    }
    put(outer, t, std::move(swarm));
  }
  return outer;
}

PyRef new_front_history_list(const FrontHistory& history) {
  const std::size_t iterations = history.iterations();
  PyRef outer = new_list(iterations);
  for (std::size_t t = 0; t < iterations; ++t) {
    const std::size_t members = history.members(t);
    PyRef front = new_list(members);
    for (std::size_t j = 0; j < members; ++j) {
      put(front, j, new_float_list(history.objective_vector(t, j)));
    }
    put(outer, t, std::move(front));
  }
  return outer;
}

PyRef new_rows_list(const std::vector<std::vector<double>>& rows) {
  PyRef outer = new_list(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) put(outer, k, new_float_list(rows[k]));
  return outer;
}

}  // namespace corvalinth::py
