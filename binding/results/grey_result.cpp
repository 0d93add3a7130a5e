#include "binding/results/grey_result.hpp"

#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/results/result_fields.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/float_block.hpp"

namespace corvalinth::py {
namespace {

const GreyResultData& data_of(PyObject* self) { return result_data<GreyResultData>(self); }

// The (lower, upper) pairs: a list of tuples, saved as lower and upper of each variable in turn.
PyRef intervals_list(const GreyResultData& data) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(data.best_position.size())));
  for (std::size_t k = 0; k < data.best_position.size(); ++k) {
    const auto& [lower, upper] = data.best_position[k];
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k),
                   checked(Py_BuildValue("(dd)", lower, upper)).release());  // steals the pair
  }
  return list;
}

void save_intervals(StateDictWriter& out, const char* key, const GreyResultData& data) {
  std::vector<double> intervals;
  intervals.reserve(2 * data.best_position.size());
  for (const auto& [lower, upper] : data.best_position) {
    intervals.push_back(lower);
    intervals.push_back(upper);
  }
  out.put(key, intervals);
}

void load_intervals(const StateDictReader& in, const char* key, GreyResultData& data) {
  const std::vector<double> intervals = in.doubles(key);
  if (intervals.size() % 2 != 0) bad_state(key, "must hold one interval per center and spread");
  for (std::size_t k = 0; k < intervals.size(); k += 2) {
    data.best_position.emplace_back(intervals[k], intervals[k + 1]);
  }
}

void check_sizes(const GreyResultData& data) {
  if (data.best_position.size() != data.best_centers.size() ||
      data.best_spreads.size() != data.best_centers.size()) {
    bad_state("best_position", "must hold one interval per center and spread");
  }
}

PyObject* convergence_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_vector_array(self, data_of(self).convergence).release(); });
}

PyObject* repr(PyObject* self) {
  return translate_exceptions([&] {
    const GreyResultData& data = data_of(self);
    std::string intervals = "[";
    for (std::size_t k = 0; k < data.best_position.size(); ++k) {
      if (k > 0) intervals += ", ";
      intervals += "(" + format_shortest(data.best_position[k].first) + ", " +
                   format_shortest(data.best_position[k].second) + ")";
    }
    intervals += "]";
    const std::string text = "GreyResult(best_value=" + format_fixed6(data.best_value) +
                             ", best_position=" + intervals +
                             ", iters=" + std::to_string(data.convergence.size()) +
                             ", stop_reason=" + std::string(stop_reason_name(data.stop_reason)) +
                             ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

using G = GreyResultData;
const ResultSchema<G, 8> kSchema{
    {Field<G>{"best_position", docs::grey_result_best_position, intervals_list, save_intervals,
              load_intervals},
     field<&G::best_spreads>("best_spreads", docs::grey_result_best_spreads),
     field<&G::best_value>("best_value", docs::grey_result_best_value),
     field<&G::convergence>("convergence", docs::grey_result_convergence),
     field<&G::evaluations>("evaluations", docs::grey_result_evaluations),
     field<&G::stop_reason>("stop_reason", docs::grey_result_stop_reason),
     field<&G::best_centers>("best_centers", docs::grey_result_best_centers),
     field<&G::iterations>("iterations", docs::grey_result_iterations)},
    "_rebuild_grey_result",
    check_sizes,
};

PyMethodDef methods[] = {
    {"to_dict", to_dict<kSchema>, METH_NOARGS, docs::result_to_dict},
    {"convergence_array", convergence_array, METH_NOARGS, docs::result_convergence_array},
    {"__reduce__", reduce<kSchema>, METH_NOARGS, docs::result_reduce},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyObject* create_grey_result_type() {
  return create_result_type<GreyResultData>(
      {"corvalinth_native.GreyResult", docs::grey_result, getset_table<kSchema>(), methods, repr});
}

PyRef new_grey_result(GreyResultData data) { return new_result(std::move(data)); }

PyObject* rebuild_grey_result(PyObject* module, PyObject* state) {
  return rebuild<kSchema>(module, state);
}

}  // namespace corvalinth::py
