#include "binding/results/pareto_front.hpp"

#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/interpreter_lock.hpp"
#include "binding/runtime/float_block.hpp"
#include "core/mopso/hypervolume.hpp"
#include "binding/results/result_class.hpp"
#include "binding/results/result_lists.hpp"
#include "binding/results/result_state.hpp"
#include "binding/arguments/signature.hpp"

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

PyObject* get_iterations(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(data_of(self).iterations);
}

PyObject* get_evaluations(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(data_of(self).evaluations);
}

// The members' rows (all of one width) back to back.
std::vector<double> flatten(const std::vector<std::vector<double>>& rows) {
  std::vector<double> values;
  if (!rows.empty()) values.reserve(rows.size() * rows.front().size());
  for (const auto& row : rows) values.insert(values.end(), row.begin(), row.end());
  return values;
}

std::size_t width(const std::vector<std::vector<double>>& rows) {
  return rows.empty() ? 0 : rows.front().size();
}

PyObject* rows_array(const std::vector<std::vector<double>>& rows) {
  return translate_exceptions(
      [&] { return owned_float64_array(flatten(rows), {rows.size(), width(rows)}).release(); });
}

PyObject* positions_array(PyObject* self, PyObject*) { return rows_array(data_of(self).positions); }

PyObject* objectives_array(PyObject* self, PyObject*) {
  return rows_array(data_of(self).objectives);
}

PyObject* swarm_history_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_history_array(self, data_of(self).swarm_history).release(); });
}

PyObject* reduce(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    const ParetoFrontData& data = data_of(self);
    const FrontHistory& fronts = data.front_history;
    PyRef starts = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(fronts.starts.size())));
    if (!starts) throw PythonErrorSet{};
    for (std::size_t k = 0; k < fronts.starts.size(); ++k) {
      PyObject* start = PyLong_FromSize_t(fronts.starts[k]);
      if (start == nullptr) throw PythonErrorSet{};
      PyList_SetItem(starts.get(), static_cast<Py_ssize_t>(k), start);  // steals start
    }
    StateWriter state;
    state.put_count("members", data.positions.size());
    state.put_count("dim", width(data.positions));
    state.put_count("objective_count", width(data.objectives));
    state.put_doubles("positions", flatten(data.positions));
    state.put_doubles("objectives", flatten(data.objectives));
    state.put_history("swarm_history", data.swarm_history);
    state.put("front_history", PyRef::steal(Py_BuildValue(
                                   "(KNN)", static_cast<unsigned long long>(fronts.objectives),
                                   starts.release(), doubles_to_bytes(fronts.values).release())));
    state.put_count("iterations", data.iterations);
    state.put_count("evaluations", data.evaluations);
    state.put_stop_reason("stop_reason", data.stop_reason);
    return state.reduce_with("_rebuild_pareto_front").release();
  });
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
    if (reference && reference->size() != m) {
      raise(PyExc_ValueError, "reference must have one value per objective (" +
                                  std::to_string(m) + "), got " +
                                  std::to_string(reference->size()));
    }
    double volume = 0.0;
    {
      const ReleasedInterpreterLock unlocked;  // the front belongs to self, which the call holds
      volume = hypervolume(data.objectives,
                           reference ? *reference : default_reference(data.objectives));
    }
    return PyFloat_FromDouble(volume);
  });
}

PyGetSetDef attributes[] = {
    {"positions", get_positions, nullptr, docs::pareto_front_positions, nullptr},
    {"swarm_history", get_swarm_history, nullptr, docs::pareto_front_swarm_history, nullptr},
    {"front_history", get_front_history, nullptr, docs::pareto_front_front_history, nullptr},
    {"objectives", get_objectives, nullptr, docs::pareto_front_objectives, nullptr},
    {"iterations", get_iterations, nullptr, docs::pareto_front_iterations, nullptr},
    {"stop_reason", get_stop_reason, nullptr, docs::pareto_front_stop_reason, nullptr},
    {"evaluations", get_evaluations, nullptr, docs::pareto_front_evaluations, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"hypervolume",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(hypervolume_method)),
     METH_FASTCALL | METH_KEYWORDS, docs::pareto_front_hypervolume},
    {"to_dict", to_dict<attributes>, METH_NOARGS, docs::result_to_dict},
    {"positions_array", positions_array, METH_NOARGS, docs::pareto_front_positions_array},
    {"objectives_array", objectives_array, METH_NOARGS, docs::pareto_front_objectives_array},
    {"swarm_history_array", swarm_history_array, METH_NOARGS,
     docs::pareto_front_swarm_history_array},
    {"__reduce__", reduce, METH_NOARGS, docs::result_reduce},
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

namespace {

// `count` rows of `row_width` values cut from `values`, which must hold exactly that many.
std::vector<std::vector<double>> rows_from(const std::vector<double>& values, std::uint64_t count,
                                           std::uint64_t row_width, const char* key) {
  if (array_size(count, row_width, key) != values.size()) {
    bad_state(key, "must hold one row per member");
  }
  std::vector<std::vector<double>> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for (std::size_t k = 0; k < count; ++k) {
    const auto first = values.begin() + static_cast<std::ptrdiff_t>(k * row_width);
    rows.emplace_back(first, first + static_cast<std::ptrdiff_t>(row_width));
  }
  return rows;
}

FrontHistory front_history_from(const StateReader& in) {
  const char* key = "front_history";
  PyObject* value = in.item(key);
  if (PyTuple_Check(value) == 0 || PyTuple_Size(value) != 3 ||
      PyList_Check(PyTuple_GetItem(value, 1)) == 0) {
    bad_state(key, "must be a tuple (objectives, list of starts, bytes)");
  }
  FrontHistory history;
  history.objectives = static_cast<std::size_t>(count_from(PyTuple_GetItem(value, 0), key));
  PyObject* starts = PyTuple_GetItem(value, 1);  // borrowed
  const Py_ssize_t count = PyList_Size(starts);
  for (Py_ssize_t k = 0; k < count; ++k) {
    const auto start = static_cast<std::size_t>(count_from(PyList_GetItem(starts, k), key));
    if ((k == 0 && start != 0) || (k > 0 && start < history.starts.back())) {
      bad_state(key, "starts must rise from 0");
    }
    history.starts.push_back(start);
  }
  history.values = doubles_from_bytes(PyTuple_GetItem(value, 2), key);
  const std::size_t members = history.starts.empty() ? 0 : history.starts.back();
  if (array_size(members, history.objectives, key) != history.values.size()) {
    bad_state(key, "must hold one vector per member");
  }
  return history;
}

}  // namespace

PyObject* rebuild_pareto_front(PyObject*, PyObject* state) {
  return translate_exceptions([&] {
    const StateReader in(state);
    ParetoFrontData data;
    const std::uint64_t members = in.count("members");
    data.positions = rows_from(in.doubles("positions"), members, in.count("dim"), "positions");
    data.objectives =
        rows_from(in.doubles("objectives"), members, in.count("objective_count"), "objectives");
    data.swarm_history = in.history("swarm_history");
    data.front_history = front_history_from(in);
    data.iterations = in.count("iterations");
    data.evaluations = in.count("evaluations");
    data.stop_reason = in.stop_reason("stop_reason");
    return new_pareto_front(std::move(data)).release();
  });
}

}  // namespace corvalinth::py
