#include "binding/pareto_front.hpp"

#include <string>

#include "binding/convert.hpp"
#include "binding/docstrings.hpp"
#include "binding/errors.hpp"
#include "core/mopso/hypervolume.hpp"
#include "binding/result_class.hpp"
#include "binding/result_lists.hpp"
#include "binding/signature.hpp"

namespace corvalinth::py {
namespace {

PyObject* pareto_front_type = nullptr;  // created at module initialisation, kept for good

const ParetoFrontData& data_of(PyObject* self) { return result_data<ParetoFrontData>(self); }

PyObject* get_positions(PyObject* self, void*) {
  return translate_exceptions([&] { return new_rows_list(data_of(self).positions).release(); });
}

PyObject* get_swarm_history(PyObject* self, void*) {
  return translate_exceptions(
      [&] { return new_history_list(data_of(self).swarm_history).release(); });
}

PyObject* get_front_history(PyObject* self, void*) {
  return translate_exceptions(
      [&] { return new_front_history_list(data_of(self).front_history).release(); });
}

PyObject* get_objectives(PyObject* self, void*) {
  return translate_exceptions([&] { return new_rows_list(data_of(self).objectives).release(); });
}

PyObject* get_stop_reason(PyObject* self, void*) {
  const std::string_view name = stop_reason_name(data_of(self).stop_reason);
  return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyObject* repr(PyObject* self) {
  const std::string text =
      "ParetoFront(size=" + std::to_string(data_of(self).positions.size()) + ")";
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

constexpr Parameter kHypervolumeParameters[] = {{"reference", false}};
constexpr Signature kHypervolumeSignature{"hypervolume", kHypervolumeParameters};

PyObject* hypervolume_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  return translate_exceptions([&]() -> PyObject* {
    PyObject* given[1] = {nullptr};
    bind_arguments(kHypervolumeSignature, args, nargs, kwnames, given);
    const auto reference = convert_optional("reference", given[0], to_f64_list);
    const ParetoFrontData& data = data_of(self);
    if (data.objectives.empty()) return PyFloat_FromDouble(0.0);
    const std::size_t m = data.objectives.front().size();
    if (!reference) {
      return PyFloat_FromDouble(hypervolume(data.objectives, default_reference(data.objectives)));
    }
    if (reference->size() != m) {
      raise(PyExc_ValueError, "reference must have one value per objective (" +
                                  std::to_string(m) + "), got " +
                                  std::to_string(reference->size()));
    }
    return PyFloat_FromDouble(hypervolume(data.objectives, *reference));
  });
}

PyGetSetDef attributes[] = {
    {"positions", get_positions, nullptr, docs::pareto_front_positions, nullptr},
    {"swarm_history", get_swarm_history, nullptr, docs::pareto_front_swarm_history, nullptr},
    {"front_history", get_front_history, nullptr, docs::pareto_front_front_history, nullptr},
    {"objectives", get_objectives, nullptr, docs::pareto_front_objectives, nullptr},
    {"stop_reason", get_stop_reason, nullptr, docs::pareto_front_stop_reason, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"hypervolume",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(hypervolume_method)),
     METH_FASTCALL | METH_KEYWORDS, docs::pareto_front_hypervolume},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyObject* create_pareto_front_type() {
  PyObject* type = create_result_type<ParetoFrontData>(
      {"corvalinth_native.ParetoFront", docs::pareto_front, attributes, methods, repr});
  if (type != nullptr) pareto_front_type = Py_NewRef(type);
  return type;
}

PyRef new_pareto_front(ParetoFrontData data) {
  return new_result(pareto_front_type, std::move(data));
}

}  // namespace corvalinth::py
