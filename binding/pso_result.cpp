#include "pso_result.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "convert.hpp"
#include "docstrings.hpp"
#include "errors.hpp"

namespace corvalinth::py {
namespace {

struct PsoResultObject {
  PyObject_HEAD
  PsoResultData* data;  // owned; null only if construction failed half-way
};

// The class, created at module initialisation and kept for the life of the interpreter.
PyObject* pso_result_type = nullptr;

const PsoResultData& data_of(PyObject* self) {
  return *reinterpret_cast<PsoResultObject*>(self)->data;
}

PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined for PsoResult");
  return nullptr;
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<PsoResultObject*>(self)->data;
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

PyObject* get_best_position(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).best_position).release(); });
}

PyObject* get_convergence(PyObject* self, void*) {
  return translate_exceptions([&] { return new_float_list(data_of(self).convergence).release(); });
}

PyObject* get_history(PyObject* self, void*) {
  return translate_exceptions([&] {
    const History& history = data_of(self).history;
    const auto iterations = history.iterations();
    PyRef outer = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(iterations)));
    if (!outer) throw PythonErrorSet{};
    for (std::size_t t = 0; t < iterations; ++t) {
      PyRef swarm = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(history.particles)));
      if (!swarm) throw PythonErrorSet{};
      for (std::size_t i = 0; i < history.particles; ++i) {
        PyList_SetItem(swarm.get(), static_cast<Py_ssize_t>(i),
                       new_float_list(history.position(t, i)).release());
      }
      PyList_SetItem(outer.get(), static_cast<Py_ssize_t>(t), swarm.release());
    }
    return outer.release();
  });
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
    {nullptr, nullptr, nullptr, nullptr, nullptr},
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
  static PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(docs::pso_result)},
      {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
      {Py_tp_repr, reinterpret_cast<void*>(repr)},
      {Py_tp_getset, getset},
      {0, nullptr},
  };
  static PyType_Spec spec = {
      "corvalinth_native.PsoResult",
      static_cast<int>(sizeof(PsoResultObject)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      slots,
  };
  PyObject* type = PyType_FromSpec(&spec);
  if (type != nullptr) pso_result_type = Py_NewRef(type);
  return type;
}

PyRef new_pso_result(PsoResultData data) {
  auto* type = reinterpret_cast<PyTypeObject*>(pso_result_type);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  auto owned = std::make_unique<PsoResultData>(std::move(data));
  PyRef object = PyRef::steal(alloc(type, 0));
  if (!object) throw PythonErrorSet{};
  reinterpret_cast<PsoResultObject*>(object.get())->data = owned.release();
  return object;
}

}  // namespace corvalinth::py
