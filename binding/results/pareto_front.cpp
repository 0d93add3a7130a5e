#include "binding/results/pareto_front.hpp"

#include <algorithm>
#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/arguments/signature.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/results/evaluation_log_field.hpp"
#include "binding/results/named_fields.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/results/result_fields.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/float_block.hpp"
#include "binding/runtime/guarded_run.hpp"
#include "core/mopso/hypervolume.hpp"

namespace corvalinth::py {
namespace {

const ParetoFrontData& data_of(PyObject* self) { return result_data<ParetoFrontData>(self); }

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

PyObject* repr(PyObject* self) {
  const ParetoFrontData& data = data_of(self);
  // Members share one violation (the least found); nothing for a feasible front.
  const std::string note =
      data.violations.empty() || data.violations.front() == 0.0
          ? ""
          : ", infeasible, violation=" + format_shortest(data.violations.front());
  const std::string text = "ParetoFront(size=" + std::to_string(data.positions.size()) + note + ")";
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
    // The front belongs to self, which the call holds: it is read without the lock.
    const std::vector<ObjectiveView> front(data.objectives.begin(), data.objectives.end());
    const std::vector<double> chosen = reference ? *reference : default_reference(front);
    const double volume = interruptible_without_lock<HypervolumeCancelled>(
        [&](StopToken* stop) { return hypervolume(front, chosen, stop); });
    return PyFloat_FromDouble(volume);
  });
}

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

FrontHistory front_history_from(const StateDictReader& in, const char* key) {
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
    // Vectors of no objectives are all equal and an archive holds no duplicates, so such a
    // snapshot holds at most one member; more would cost time and memory on every read.
    if (history.objectives == 0 && k > 0 && start - history.starts.back() > 1) {
      bad_state(key, "snapshots of vectors without objectives hold at most one member each");
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

constexpr char kDim[] = "dim";
constexpr char kObjectiveCount[] = "objective_count";

// The rows of every member, saved flat with the member count and their width under `WidthKey`.
template <std::vector<std::vector<double>> ParetoFrontData::* Rows, const char* WidthKey>
Field<ParetoFrontData> rows_field(const char* name, const char* doc) {
  using F = ParetoFrontData;
  return {name, doc, [](const F& data) { return new_rows_list(data.*Rows); },
          [](StateDictWriter& out, const char* key, const F& data) {
            out.put("members", static_cast<std::uint64_t>((data.*Rows).size()));
            out.put(WidthKey, static_cast<std::uint64_t>(width(data.*Rows)));
            out.put(key, flatten(data.*Rows));
          },
          [](const StateDictReader& in, const char* key, F& data) {
            const std::uint64_t members = in.count("members");
            // Rows of no values would let a small state claim any number of members: a member
            // holds at least its position or its objectives.
            if (members != 0 && in.count(kDim) == 0 && in.count(kObjectiveCount) == 0) {
              bad_state("members", "must be 0 when rows hold no values");
            }
            data.*Rows = rows_from(in.doubles(key), members, in.count(WidthKey), key);
          }};
}

PyRef front_history_list(const ParetoFrontData& data) {
  return new_front_history_list(data.front_history);
}

// (objectives, list of starts, values as bytes).
void save_front_history(StateDictWriter& out, const char* key, const ParetoFrontData& data) {
  const FrontHistory& fronts = data.front_history;
  PyRef starts = checked(PyList_New(static_cast<Py_ssize_t>(fronts.starts.size())));
  for (std::size_t k = 0; k < fronts.starts.size(); ++k) {
    PyList_SetItem(starts.get(), static_cast<Py_ssize_t>(k),
                   checked(PyLong_FromSize_t(fronts.starts[k])).release());  // steals it
  }
  out.put(key, checked(Py_BuildValue("(KNN)", static_cast<unsigned long long>(fronts.objectives),
                                     starts.release(), doubles_to_bytes(fronts.values).release())));
}

void load_front_history(const StateDictReader& in, const char* key, ParetoFrontData& data) {
  data.front_history = front_history_from(in, key);
}

// Whether every member satisfies every constraint: derived from the violations (loaded before
// it), so a rebuilt state must agree with them.
PyRef all_feasible(const ParetoFrontData& data) {
  const bool feasible = std::all_of(data.violations.begin(), data.violations.end(),
                                    [](double v) { return v == 0.0; });
  return PyRef::borrow(feasible ? Py_True : Py_False);
}

Field<ParetoFrontData> feasible_field() {
  using F = ParetoFrontData;
  return {"feasible", docs::pareto_front_feasible, all_feasible,
          [](StateDictWriter& out, const char* key, const F& data) {
            out.put(key, all_feasible(data));
          },
          [](const StateDictReader& in, const char* key, F& data) {
            PyObject* value = in.item(key);
            if (!PyBool_Check(value)) bad_state(key, "must be a bool");
            if (value != all_feasible(data).get()) bad_state(key, "disagrees with violations");
          }};
}

// One violation per member, each a number >= 0.
void check_violations(const ParetoFrontData& data) {
  if (data.violations.size() != data.objectives.size()) {
    bad_state("violations", "must hold one value per member");
  }
  for (const double v : data.violations) {
    if (!(v >= 0.0)) bad_state("violations", "must be numbers >= 0");
  }
}

// A row of the record: the point, then its objective vector.
std::size_t row_width(const ParetoFrontData& data) {
  return width(data.positions) + width(data.objectives);
}

// The members' positions as named parameters: derived, saved for readers of the state only.
PyRef member_params(const ParetoFrontData& data) {
  if (!data.parameter_space) return PyRef::borrow(Py_None);
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(data.positions.size())));
  for (std::size_t k = 0; k < data.positions.size(); ++k) {
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k),
                   named_point(data.parameter_space.get(), data.positions[k]).release());
  }
  return list;
}

Field<ParetoFrontData> params_field() {
  return {"params", docs::pareto_front_params, member_params,
          [](StateDictWriter& out, const char* key, const ParetoFrontData& data) {
            out.put(key, member_params(data));
          },
          [](const StateDictReader& in, const char* key, ParetoFrontData&) { in.item(key); }};
}

// f0, f1, ...: one per objective.
std::vector<std::string> objective_labels(const ParetoFrontData& data) {
  const std::size_t m = data.evaluation_log.columns == 0
                            ? width(data.objectives)
                            : data.evaluation_log.columns - data.swarm_history.dim;
  std::vector<std::string> labels;
  for (std::size_t k = 0; k < m; ++k) labels.push_back("f" + std::to_string(k));
  return labels;
}

using F = ParetoFrontData;
const ResultSchema<F, 12> kSchema{
    {rows_field<&F::positions, kDim>("positions", docs::pareto_front_positions),
     field<&F::swarm_history>("swarm_history", docs::pareto_front_swarm_history),
     Field<F>{"front_history", docs::pareto_front_front_history, front_history_list,
              save_front_history, load_front_history},
     rows_field<&F::objectives, kObjectiveCount>("objectives", docs::pareto_front_objectives),
     field<&F::iterations>("iterations", docs::pareto_front_iterations),
     field<&F::stop_reason>("stop_reason", docs::pareto_front_stop_reason),
     field<&F::evaluations>("evaluations", docs::pareto_front_evaluations),
     evaluation_log_field<F>("recorded_evaluations", docs::pareto_front_recorded_evaluations),
     parameters_field<F>(docs::result_parameters), params_field(),
     field<&F::violations>("violations", docs::pareto_front_violations), feasible_field()},
    "_rebuild_pareto_front",
    check_violations,
};

PyMethodDef methods[] = {
    {"hypervolume",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(hypervolume_method)),
     METH_FASTCALL | METH_KEYWORDS, docs::pareto_front_hypervolume},
    {"to_dict", to_dict<kSchema>, METH_NOARGS, docs::result_to_dict},
    {"positions_array", positions_array, METH_NOARGS, docs::pareto_front_positions_array},
    {"objectives_array", objectives_array, METH_NOARGS, docs::pareto_front_objectives_array},
    {"swarm_history_array", swarm_history_array, METH_NOARGS,
     docs::pareto_front_swarm_history_array},
    {"evaluations_array", evaluations_array<F, row_width>, METH_NOARGS,
     docs::pareto_front_evaluations_array},
    {"trials", trials<F, objective_labels>, METH_NOARGS, docs::result_trials},
    {"to_pandas", to_pandas, METH_NOARGS, docs::result_to_pandas},
    {"__reduce__", reduce<kSchema>, METH_NOARGS, docs::result_reduce},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyObject* create_pareto_front_type() {
  return create_result_type<ParetoFrontData>({"corvalinth_native.ParetoFront", docs::pareto_front,
                                              getset_table<kSchema>(), methods, repr});
}

PyRef new_pareto_front(ParetoFrontData data) { return new_result(std::move(data)); }

PyObject* rebuild_pareto_front(PyObject* module, PyObject* state) {
  return rebuild<kSchema>(module, state);
}

}  // namespace corvalinth::py
