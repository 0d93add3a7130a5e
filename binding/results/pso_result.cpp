#include "binding/results/pso_result.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "binding/arguments/convert.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/results/evaluation_log_field.hpp"
#include "binding/results/named_fields.hpp"
#include "binding/results/result_fields.hpp"
#include "binding/results/result_state.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/float_block.hpp"

namespace corvalinth::py {
namespace {

const PsoResultData& data_of(PyObject* self) { return result_data<PsoResultData>(self); }

PyObject* history_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_history_array(self, data_of(self).history).release(); });
}

PyObject* convergence_array(PyObject* self, PyObject*) {
  return translate_exceptions(
      [&] { return shared_vector_array(self, data_of(self).convergence).release(); });
}

// Nothing for a feasible answer, so an unconstrained result reads as it always did.
std::string infeasible_note(const PsoResultData& data) {
  if (data.violation == 0.0) return "";
  return ", infeasible, violation=" + format_shortest(data.violation);
}

PyObject* repr(PyObject* self) {
  return translate_exceptions([&] {
    const PsoResultData& data = data_of(self);
    const std::string_view reason = stop_reason_name(data.stop_reason);
    const std::string text = "PsoResult(best_value=" + format_fixed6(data.best_value) +
                             ", best_position=" + format_list(data.best_position) +
                             ", iters=" + std::to_string(data.convergence.size()) +
                             ", stop_reason=" + std::string(reason) + infeasible_note(data) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

// A row of the record: the point, then its value. The space's dimension is the history's (kept
// without record_history too); best_position may have another length after a repair.
std::size_t row_width(const PsoResultData& data) { return data.history.dim + 1; }

using P = PsoResultData;
PyRef feasible_of(const P& data) {
  return PyRef::borrow(data.violation == 0.0 ? Py_True : Py_False);
}

// Whether the answer satisfies every constraint: derived from the violation (loaded before it),
// saved for readers of the state and checked against it on loading.
Field<P> feasible_field() {
  return {
      "feasible", docs::pso_result_feasible, feasible_of,
      [](StateDictWriter& out, const char* key, const P& data) { out.put(key, feasible_of(data)); },
      [](const StateDictReader& in, const char* key, P& data) {
        PyObject* value = in.item(key);
        if (!PyBool_Check(value)) bad_state(key, "must be a bool");
        if ((value == Py_True) != (data.violation == 0.0)) {
          bad_state(key, "disagrees with violation");
        }
      }};
}

// The best position as named parameters: derived, saved for readers of the state only.
PyRef best_params_of(const P& data) {
  if (!data.parameter_space) return PyRef::borrow(Py_None);
  return named_point(data.parameter_space.get(), data.best_position);
}

Field<P> best_params_field() {
  return {"best_params", docs::pso_result_best_params, best_params_of,
          [](StateDictWriter& out, const char* key, const P& data) {
            out.put(key, best_params_of(data));
          },
          [](const StateDictReader& in, const char* key, P&) { in.item(key); }};
}

std::vector<std::string> value_label(const P&) { return {"value"}; }

void check_violation(const P& data) {
  if (!(data.violation >= 0.0)) bad_state("violation", "must be a number >= 0");
}

const ResultSchema<P, 12> kSchema{
    {field<&P::best_position>("best_position", docs::pso_result_best_position),
     field<&P::convergence>("convergence", docs::pso_result_convergence),
     field<&P::history>("history", docs::pso_result_history),
     field<&P::evaluations>("evaluations", docs::pso_result_evaluations),
     field<&P::stop_reason>("stop_reason", docs::pso_result_stop_reason),
     field<&P::best_value>("best_value", docs::pso_result_best_value),
     field<&P::iterations>("iterations", docs::pso_result_iterations),
     field<&P::violation>("violation", docs::pso_result_violation), feasible_field(),
     evaluation_log_field<P>("recorded_evaluations", docs::pso_result_recorded_evaluations),
     parameters_field<P>(docs::result_parameters), best_params_field()},
    "_rebuild_pso_result",
    check_violation,
};

// The names scipy.optimize.OptimizeResult uses, as read-only aliases: x, fun, nit and nfev read
// best_position, best_value, iterations and evaluations; success and message are derived from
// the stop reason. Every stopping rule of the run counts as success; only a run ended from
// outside (cancelled) does not.
template <typename Read>
PyObject* get_alias(PyObject* self, void*) {
  return translate_exceptions([&] { return Read{}(data_of(self)).release(); });
}

struct ReadX {
  PyRef operator()(const P& data) const { return to_python(data.best_position); }
};
struct ReadFun {
  PyRef operator()(const P& data) const { return to_python(data.best_value); }
};
struct ReadNit {
  PyRef operator()(const P& data) const { return to_python(data.iterations); }
};
struct ReadNfev {
  PyRef operator()(const P& data) const { return to_python(data.evaluations); }
};
struct ReadSuccess {
  PyRef operator()(const P& data) const {
    return PyRef::borrow(stop_reason_is_success(data.stop_reason) ? Py_True : Py_False);
  }
};
struct ReadMessage {
  PyRef operator()(const P& data) const { return new_str(stop_reason_message(data.stop_reason)); }
};

const std::array<PyGetSetDef, 6> kScipyAliases{{
    {"x", get_alias<ReadX>, nullptr, docs::pso_result_x, nullptr},
    {"fun", get_alias<ReadFun>, nullptr, docs::pso_result_fun, nullptr},
    {"nit", get_alias<ReadNit>, nullptr, docs::pso_result_nit, nullptr},
    {"nfev", get_alias<ReadNfev>, nullptr, docs::pso_result_nfev, nullptr},
    {"success", get_alias<ReadSuccess>, nullptr, docs::pso_result_success, nullptr},
    {"message", get_alias<ReadMessage>, nullptr, docs::pso_result_message, nullptr},
}};

PyMethodDef methods[] = {
    {"to_dict", to_dict<kSchema>, METH_NOARGS, docs::result_to_dict},
    {"history_array", history_array, METH_NOARGS, docs::pso_result_history_array},
    {"convergence_array", convergence_array, METH_NOARGS, docs::result_convergence_array},
    {"evaluations_array", evaluations_array<P, row_width>, METH_NOARGS,
     docs::pso_result_evaluations_array},
    {"trials", trials<P, value_label>, METH_NOARGS, docs::result_trials},
    {"to_pandas", to_pandas, METH_NOARGS, docs::result_to_pandas},
    {"__reduce__", reduce<kSchema>, METH_NOARGS, docs::result_reduce},
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
  return create_result_type<PsoResultData>({"corvalinth_native.PsoResult", docs::pso_result,
                                            getset_table<kSchema>(kScipyAliases), methods, repr});
}

PyRef new_pso_result(PsoResultData data) { return new_result(std::move(data)); }

PyObject* rebuild_pso_result(PyObject* module, PyObject* state) {
  return rebuild<kSchema>(module, state);
}

}  // namespace corvalinth::py
