#include "binding/results/pso_result.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "binding/arguments/convert.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/float_block.hpp"
#include "binding/results/result_class.hpp"
#include "binding/results/result_lists.hpp"
#include "binding/results/result_state.hpp"

namespace corvalinth::py {
namespace {

// The class, created at module initialisation and kept for the life of the interpreter.
PyObject* pso_result_type = nullptr;

const PsoResultData& data_of(PyObject* self) { return result_data<PsoResultData>(self); }

PyObject* get_best_position(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).best_position).release(); });
}

PyObject* get_convergence(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).convergence).release(); });
}

PyObject* get_history(PyObject* self, void*) {
  return translate_exceptions([&] { return new_history_list(data_of(self).history).release(); });
}

PyObject* get_evaluations(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(data_of(self).evaluations);
}

PyObject* get_stop_reason(PyObject* self, void*) {
  const std::string_view name = stop_reason_name(data_of(self).stop_reason);
  return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyObject* get_best_value(PyObject* self, void*) {
  return PyFloat_FromDouble(data_of(self).best_value);
}

PyObject* get_iterations(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(data_of(self).iterations);
}

PyObject* history_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_history_array(self, data_of(self).history).release(); });
}

PyObject* convergence_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_vector_array(self, data_of(self).convergence).release(); });
}

PyObject* reduce(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    const PsoResultData& data = data_of(self);
    StateWriter state;
    state.put_doubles("best_position", data.best_position);
    state.put_doubles("convergence", data.convergence);
    state.put_history("history", data.history);
    state.put_stop_reason("stop_reason", data.stop_reason);
    state.put_float("best_value", data.best_value);
    state.put_count("evaluations", data.evaluations);
    state.put_count("iterations", data.iterations);
    return state.reduce_with("_rebuild_pso_result").release();
  });
}

PyObject* repr(PyObject* self) {
  return translate_exceptions([&] {
    const PsoResultData& data = data_of(self);
    const std::string_view reason = stop_reason_name(data.stop_reason);
    const std::string text = "PsoResult(best_value=" + format_fixed6(data.best_value) +
                             ", best_position=" + format_list(data.best_position) +
                             ", iters=" + std::to_string(data.convergence.size()) +
                             ", stop_reason=" + std::string(reason) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

PyGetSetDef getset[] = {
    {"best_position", get_best_position, nullptr, docs::pso_result_best_position, nullptr},
    {"convergence", get_convergence, nullptr, docs::pso_result_convergence, nullptr},
    {"history", get_history, nullptr, docs::pso_result_history, nullptr},
    {"evaluations", get_evaluations, nullptr, docs::pso_result_evaluations, nullptr},
    {"stop_reason", get_stop_reason, nullptr, docs::pso_result_stop_reason, nullptr},
    {"best_value", get_best_value, nullptr, docs::pso_result_best_value, nullptr},
    {"iterations", get_iterations, nullptr, docs::pso_result_iterations, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"to_dict", to_dict<getset>, METH_NOARGS, docs::result_to_dict},
    {"history_array", history_array, METH_NOARGS, docs::pso_result_history_array},
    {"convergence_array", convergence_array, METH_NOARGS, docs::result_convergence_array},
    {"__reduce__", reduce, METH_NOARGS, docs::result_reduce},
    {nullptr, nullptr, 0, nullptr},
};

std::string non_finite(double value) {
  if (std::isnan(value)) return "NaN";
  return value < 0 ? "-inf" : "inf";
}

}  // namespace

std::string format_fixed6(double value) {
  if (!std::isfinite(value)) return non_finite(value);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.6f", value);  // keeps the sign of -0.0 and of tiny negatives
  return buffer;
}

std::string format_shortest(double value) {
  if (!std::isfinite(value)) return non_finite(value);
  const double magnitude = std::fabs(value);
  char buffer[64];
  if (magnitude != 0.0 && (magnitude < 1e-4 || magnitude >= 1e16)) {
    // Shortest mantissa; the exponent without "+" and without leading zeros: 1e-5, 2.5e16.
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific).ptr;
    std::string text(buffer, end);
    const std::size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    const bool negative = exponent[0] == '-';
    if (exponent[0] == '-' || exponent[0] == '+') exponent.erase(0, 1);
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    return mantissa + "e" + (negative ? "-" : "") + exponent;
  }
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                 std::chars_format::fixed).ptr;
  std::string text(buffer, end);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string format_list(const std::vector<double>& values) {
  std::string text = "[";
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k > 0) text += ", ";
    text += format_shortest(values[k]);
  }
  return text + "]";
}

PyObject* create_pso_result_type() {
  PyObject* type = create_result_type<PsoResultData>(
      {"corvalinth_native.PsoResult", docs::pso_result, getset, methods, repr});
  if (type != nullptr) pso_result_type = Py_NewRef(type);
  return type;
}

PyRef new_pso_result(PsoResultData data) { return new_result(pso_result_type, std::move(data)); }

PyObject* rebuild_pso_result(PyObject*, PyObject* state) {
  return translate_exceptions([&] {
    const StateReader in(state);
    PsoResultData data;
    data.best_position = in.doubles("best_position");
    data.convergence = in.doubles("convergence");
    data.history = in.history("history");
    data.stop_reason = in.stop_reason("stop_reason");
    data.best_value = in.real("best_value");
    data.evaluations = in.count("evaluations");
    data.iterations = in.count("iterations");
    return new_pso_result(std::move(data)).release();
  });
}

}  // namespace corvalinth::py
