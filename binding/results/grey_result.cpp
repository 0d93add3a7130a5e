#include "binding/results/grey_result.hpp"

#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/float_block.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/results/result_class.hpp"
#include "binding/results/result_state.hpp"

namespace corvalinth::py {
namespace {

PyObject* grey_result_type = nullptr;  // created at module initialisation, kept for good

const GreyResultData& data_of(PyObject* self) { return result_data<GreyResultData>(self); }

PyObject* get_best_position(PyObject* self, void*) {
  return translate_exceptions([&] {
    const auto& pairs = data_of(self).best_position;
    PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(pairs.size())));
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      PyObject* pair = Py_BuildValue("(dd)", pairs[k].first, pairs[k].second);
      if (pair == nullptr) throw PythonErrorSet{};
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), pair);  // steals pair
    }
    return list.release();
  });
}

PyObject* get_best_spreads(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).best_spreads).release(); });
}

PyObject* get_best_value(PyObject* self, void*) {
  return PyFloat_FromDouble(data_of(self).best_value);
}

PyObject* get_convergence(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).convergence).release(); });
}

PyObject* get_evaluations(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(data_of(self).evaluations);
}

PyObject* get_stop_reason(PyObject* self, void*) {
  const std::string_view name = stop_reason_name(data_of(self).stop_reason);
  return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyObject* get_best_centers(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).best_centers).release(); });
}

PyObject* get_iterations(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(data_of(self).iterations);
}

PyObject* convergence_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_vector_array(self, data_of(self).convergence).release(); });
}

PyObject* reduce(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    const GreyResultData& data = data_of(self);
    std::vector<double> intervals;  // lower and upper of each variable, in turn
    intervals.reserve(2 * data.best_position.size());
    for (const auto& [lower, upper] : data.best_position) {
      intervals.push_back(lower);
      intervals.push_back(upper);
    }
    StateWriter state;
    state.put_doubles("best_position", intervals);
    state.put_doubles("best_centers", data.best_centers);
    state.put_doubles("best_spreads", data.best_spreads);
    state.put_doubles("convergence", data.convergence);
    state.put_stop_reason("stop_reason", data.stop_reason);
    state.put_float("best_value", data.best_value);
    state.put_count("evaluations", data.evaluations);
    state.put_count("iterations", data.iterations);
    return state.reduce_with("_rebuild_grey_result").release();
  });
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

PyGetSetDef attributes[] = {
    {"best_position", get_best_position, nullptr, docs::grey_result_best_position, nullptr},
    {"best_spreads", get_best_spreads, nullptr, docs::grey_result_best_spreads, nullptr},
    {"best_value", get_best_value, nullptr, docs::grey_result_best_value, nullptr},
    {"convergence", get_convergence, nullptr, docs::grey_result_convergence, nullptr},
    {"evaluations", get_evaluations, nullptr, docs::grey_result_evaluations, nullptr},
    {"stop_reason", get_stop_reason, nullptr, docs::grey_result_stop_reason, nullptr},
    {"best_centers", get_best_centers, nullptr, docs::grey_result_best_centers, nullptr},
    {"iterations", get_iterations, nullptr, docs::grey_result_iterations, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"to_dict", to_dict<attributes>, METH_NOARGS, docs::result_to_dict},
    {"convergence_array", convergence_array, METH_NOARGS, docs::result_convergence_array},
    {"__reduce__", reduce, METH_NOARGS, docs::result_reduce},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyObject* create_grey_result_type() {
  PyObject* type = create_result_type<GreyResultData>(
      {"corvalinth_native.GreyResult", docs::grey_result, attributes, methods, repr});
  if (type != nullptr) grey_result_type = Py_NewRef(type);
  return type;
}

PyRef new_grey_result(GreyResultData data) { return new_result(grey_result_type, std::move(data)); }

PyObject* rebuild_grey_result(PyObject*, PyObject* state) {
  return translate_exceptions([&] {
    const StateReader in(state);
    GreyResultData data;
    const std::vector<double> intervals = in.doubles("best_position");
    data.best_centers = in.doubles("best_centers");
    data.best_spreads = in.doubles("best_spreads");
    if (intervals.size() != 2 * data.best_centers.size() ||
        data.best_spreads.size() != data.best_centers.size()) {
      bad_state("best_position", "must hold one interval per center and spread");
    }
    for (std::size_t k = 0; k < data.best_centers.size(); ++k) {
      data.best_position.emplace_back(intervals[2 * k], intervals[2 * k + 1]);
    }
    data.convergence = in.doubles("convergence");
    data.stop_reason = in.stop_reason("stop_reason");
    data.best_value = in.real("best_value");
    data.evaluations = in.count("evaluations");
    data.iterations = in.count("iterations");
    return new_grey_result(std::move(data)).release();
  });
}

}  // namespace corvalinth::py
