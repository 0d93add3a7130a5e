#include "binding/grey_result.hpp"

#include <string>

#include "binding/convert.hpp"
#include "binding/docstrings.hpp"
#include "binding/errors.hpp"
#include "binding/pso_result.hpp"
#include "binding/result_class.hpp"

namespace corvalinth::py {
namespace {

PyObject* grey_result_type = nullptr;  // created at module initialisation, kept for good

const GreyResultData& data_of(PyObject* self) { return result_data<GreyResultData>(self); }

PyObject* get_best_position(PyObject* self, void*) {
  return translate_exceptions([&] {
    const auto& pairs = data_of(self).best_position;
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(pairs.size())));
    if (!list) throw PythonErrorSet{};
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
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyObject* create_grey_result_type() {
  PyObject* type = create_result_type<GreyResultData>(
      {"corvalinth_native.GreyResult", docs::grey_result, attributes, nullptr, repr});
  if (type != nullptr) grey_result_type = Py_NewRef(type);
  return type;
}

PyRef new_grey_result(GreyResultData data) { return new_result(grey_result_type, std::move(data)); }

}  // namespace corvalinth::py
