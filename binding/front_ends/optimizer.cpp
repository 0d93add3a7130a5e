#include "binding/front_ends/optimizer.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/named_parameters.hpp"
#include "binding/arguments/objective_rows.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/preset.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/arguments/warm_start.hpp"
#include "binding/front_ends/async_tickets.hpp"
#include "binding/front_ends/driven_object.hpp"
#include "binding/front_ends/run_driver.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/results/evaluation_log_field.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/results/result_state.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/numpy_api.hpp"
#include "core/async_run.hpp"
#include "core/numeric.hpp"
#include "core/pso.hpp"
#include "core/run_state.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"
#include "core/swarm.hpp"
#include "core/violation.hpp"

namespace corvalinth::py {
namespace {

// The signature of Optimizer, in order: the parameters it shares with minimize keep their
// names, defaults and conversions.
#define CORVALINTH_OPTIMIZER_PARAMETERS(P) \
  P(bounds, required()) \
  P(integer, keyword_only(with_default(to_bool, false))) \
  P(binary, keyword_only(with_default(to_bool, false))) \
  P(var_types, keyword_only(none_or(to_str_list))) \
  P(dim, keyword_only(none_or(to_usize))) \
  CORVALINTH_SWARM_PARAMETERS(P, keyword_only) \
  P(max_evals, keyword_only(none_or(to_u64))) \
  P(target, keyword_only(none_or(to_f64))) \
  P(bounds_handling, keyword_only(with_default(to_str, "clamp"))) \
  P(batch, keyword_only(with_default(to_bool, false))) \
  P(x0, keyword_only(object_or_none())) \
  CORVALINTH_RESTART_PARAMETERS(P) \
  P(asynchronous, keyword_only(with_default(to_bool, false))) \
  P(penalty, keyword_only(with_default(to_f64, 1e6))) \
  P(equality_tol, keyword_only(with_default(to_f64, 1e-4))) \
  P(record_evaluations, keyword_only(with_default(to_bool, false))) \
  P(progress, keyword_only(with_default(to_bool, false))) \
  P(constraint_handling, keyword_only(with_default(to_str, "penalty"))) \
  CORVALINTH_LOCAL_SEARCH_PARAMETERS(P) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_OPTIMIZER_PARAMETERS)

constexpr const char* kName = "Optimizer";

// One single-objective run in any form (the shared part in DrivenRun).
class Driver : public DrivenRun {
 public:
  // `args` are the positional arguments; `inequalities` and `equalities` are the told constraint
  // values, null when not given.
  virtual void tell(PyObject* const* args, Py_ssize_t nargs, PyObject* inequalities,
                    PyObject* equalities) = 0;
  virtual PyRef best_value() const = 0;
  virtual PyRef best_position() const = 0;
  virtual PsoResultData result() = 0;
  // What the binding keeps beside the run: the violation of the global best, then those of the
  // points told while the swarm is being created; empty when the form takes no constraint values.
  virtual std::vector<double> violations() const = 0;
  virtual void restore_violations(std::span<const double> saved) = 0;
};

// The per-particle form takes one number: a list, tuple or array of them is the wrong number
// of values, not the wrong type.
void refuse_several_values(PyObject* values) {
  if (!PyList_Check(values) && !PyTuple_Check(values) && !numpy::is_array(values)) return;
  const Py_ssize_t count = PyObject_Size(values);
  if (count < 0) {  // a zero-dimensional array: a number
    PyErr_Clear();
    return;
  }
  raise(PyExc_ValueError,
        "tell() expects a single number in the per-particle form, got a sequence of length " +
            std::to_string(count));
}

// What every form shares: the settings and what the run references, the run (`Run` is a
// SwarmRun or an AsyncSwarmRun), and the reading of its progress and result.
template <typename Space, typename Run>
class DriverBase : public RunDriver<Driver, DriverBase<Space, Run>> {
 public:
  DriverBase(SwarmConfig config, Space space, std::unique_ptr<VelocityRule> rule,
             std::unique_ptr<Topology> topology)
      : config_(config),
        space_(std::move(space)),
        rule_(std::move(rule)),
        topology_(std::move(topology)),
        run_(config_, space_, *rule_, *topology_) {}

  PyRef best_value() const override {
    if (!this->steps().created()) return PyRef::borrow(Py_None);
    return checked(PyFloat_FromDouble(this->steps().best_value()));
  }

  PyRef best_position() const override {
    if (!this->steps().created()) return PyRef::borrow(Py_None);
    return new_point_list(this->steps().best_position());
  }

  PsoResultData result() override {
    if (!this->done()) raise(PyExc_ValueError, "result() is available once the run is done");
    SwarmRun<Space>& run = steps_of(run_);
    PsoResultData data = pso_result_data(run.result(), run.size(), space_.dim());
    data.violation = best_violation();
    if (this->log) data.evaluation_log = *this->log;
    return data;
  }

  const Run& driven() const { return run_; }
  Run& driven() { return run_; }

  // A point and its value.
  bool record_fits(std::size_t columns) const override { return columns == space_.dim() + 1; }

 protected:
  // The violation of the global best, as the result reports it.
  virtual double best_violation() const = 0;

  const SwarmConfig config_;
  const Space space_;
  const std::unique_ptr<VelocityRule> rule_;
  const std::unique_ptr<Topology> topology_;
  Run run_;
};

// The synchronous forms: one point at a time, or the whole swarm with `batch`.
template <typename Space>
class DriverOf final : public DriverBase<Space, SwarmRun<Space>> {
  using Base = DriverBase<Space, SwarmRun<Space>>;
  using Base::run_;
  using Base::space_;

 public:
  DriverOf(SwarmConfig config, Space space, std::unique_ptr<VelocityRule> rule,
           std::unique_ptr<Topology> topology, bool batch, double penalty, double equality_tol)
      : Base(config, std::move(space), std::move(rule), std::move(topology)),
        batch_(batch),
        penalty_(penalty),
        equality_tol_(equality_tol),
        ranked_(config.constraint_handling == ConstraintHandling::Feasibility),
        creation_violations_(run_.size(), 0.0) {}

  PyRef ask() override {
    require_running(*this, "ask()");
    if (batch_) return new_swarm_matrix(space_, run_.ask_batch());
    return new_point_list(run_.ask());
  }

  // Every check comes before the run is told anything, so a refused tell changes nothing. The
  // pending ask is checked again after the conversions, which may run Python code (a __float__)
  // that told the optimizer meanwhile.
  //
  // Constraint values are applied as minimize applies its constraints' answers: the run is told
  // the penalised value, and the violation of whichever told point becomes the global best is
  // followed by the run's own rules (the minimum rule over the created swarm, then every strictly
  // better value). Ranked by feasibility, the run is told each value with its violation and
  // follows the violations itself.
  void tell(PyObject* const* args, Py_ssize_t nargs, PyObject* inequalities,
            PyObject* equalities) override {
    if (nargs != 1) {
      raise(PyExc_TypeError,
            "tell() takes 1 positional argument but " + std::to_string(nargs) + " were given");
    }
    PyObject* values = args[0];
    require_pending_ask();
    if (batch_) {
      read_float_values(values, values_);
      const std::size_t n = values_.size();
      const ConstraintRows g = constraint_rows(inequalities, n, "constraints");
      const ConstraintRows h = constraint_rows(equalities, n, "equality_constraints");
      require_pending_ask();
      if (n != run_.pass_size()) {
        raise(PyExc_ValueError,
              "tell() expects one value per particle: " + std::to_string(run_.pass_size()) +
                  " values, got " + std::to_string(n));
      }
      if (ranked_) {
        ranked_values_.clear();
        for (std::size_t i = 0; i < n; ++i) {
          ranked_values_.push_back(ranked_value(values_[i], g.row(i), h.row(i), equality_tol_));
        }
        run_.tell_batch(std::span<const ConstrainedValue>(ranked_values_));
        run_.end_pass(nullptr);
        return;
      }
      std::vector<double> violations(n);
      for (std::size_t i = 0; i < n; ++i) {
        const ConstrainedValue judged =
            constrained_value(values_[i], g.row(i), h.row(i), penalty_, equality_tol_);
        values_[i] = judged.value;
        violations[i] = judged.violation;
      }
      if (!run_.created()) {
        creation_violations_ = violations;
      } else {
        double best = run_.best_value();
        for (std::size_t i = 0; i < n; ++i) {
          if (is_better(values_[i], best)) {
            best = values_[i];
            best_violation_ = violations[i];
          }
        }
      }
      if (this->log) {
        const Swarm& swarm = run_.ask_batch();  // the swarm asked, as it was
        for (std::size_t i = 0; i < n; ++i) {
          const auto point = space_.decode(swarm.position(i));
          this->log->add(std::span<const typename Space::Element>(point), values_[i]);
        }
      }
      const bool creating = !run_.created();
      run_.tell_batch(values_);
      run_.end_pass(nullptr);
      if (creating) take_best_of_created_swarm();
      return;
    }
    refuse_several_values(values);
    const double value = to_f64(values);
    read_constraint_values(inequalities, "constraints", g_);
    read_constraint_values(equalities, "equality_constraints", h_);
    require_pending_ask();
    if (ranked_) {
      if (run_.tell(ranked_value(value, g_, h_, equality_tol_))) run_.end_pass(nullptr);
      return;
    }
    const ConstrainedValue judged = constrained_value(value, g_, h_, penalty_, equality_tol_);
    const bool creating = !run_.created();
    if (creating) {
      creation_violations_[run_.evaluations()] = judged.violation;
    } else if (is_better(judged.value, run_.best_value())) {
      best_violation_ = judged.violation;
    }
    if (this->log) this->log->add(run_.ask(), judged.value);  // the point asked, as it was
    if (run_.tell(judged.value)) {
      run_.end_pass(nullptr);
      if (creating) take_best_of_created_swarm();
    }
  }

  PyRef events() const override { return PyRef::borrow(Py_None); }
  PyRef out() override { return PyRef::borrow(Py_None); }

  std::vector<double> violations() const override {
    std::vector<double> saved{best_violation_};
    saved.insert(saved.end(), creation_violations_.begin(), creation_violations_.end());
    return saved;
  }

  void restore_violations(std::span<const double> saved) override {
    if (saved.size() != 1 + creation_violations_.size()) {
      raise(PyExc_ValueError, "cannot restore the Optimizer: the violations do not fit the swarm");
    }
    best_violation_ = saved[0];
    std::copy(saved.begin() + 1, saved.end(), creation_violations_.begin());
  }

 private:
  double best_violation() const override {
    return ranked_ ? run_.best_violation() : best_violation_;
  }

  void require_pending_ask() const {
    require_running(*this, "tell()");
    if (!run_.asked()) raise(PyExc_ValueError, "tell() must follow an ask() that was not answered");
  }

  // The global best the run picks from the created swarm, and with it that point's violation.
  void take_best_of_created_swarm() {
    best_violation_ = creation_violations_[best_of_swarm(run_.swarm())];
  }

  // One told constraint value per constraint, in the per-particle form; empty when not given.
  static void read_constraint_values(PyObject* given, const char* name, std::vector<double>& out) {
    out.clear();
    if (given == nullptr) return;
    if (PyUnicode_Check(given)) raise(PyExc_TypeError, std::string(name) + " must be numbers");
    read_float_values(given, out);
  }

  // The batch form's (n, k) constraint values: row i for particle i.
  struct ConstraintRows {
    ObjectiveRows rows;
    std::span<const double> row(std::size_t i) const {
      return rows.views.empty() ? std::span<const double>{} : rows.views[i];
    }
  };

  static ConstraintRows constraint_rows(PyObject* given, std::size_t n, const char* name) {
    ConstraintRows out;
    if (given == nullptr) return out;
    out.rows = to_objective_rows(given);
    if (out.rows.views.size() != n) {
      raise(PyExc_ValueError, std::string("tell() expects one row of ") + name +
                                  " values per particle: " + std::to_string(n) + " rows, got " +
                                  std::to_string(out.rows.views.size()));
    }
    return out;
  }

  const bool batch_;
  const double penalty_;
  const double equality_tol_;
  const bool ranked_;  // by feasibility: the run follows the violations, the fields below stay 0
  std::vector<double> values_;
  std::vector<ConstrainedValue> ranked_values_;
  std::vector<double> g_;
  std::vector<double> h_;
  double best_violation_ = 0.0;              // of the global best
  std::vector<double> creation_violations_;  // of the points told while creating the swarm
};

// The asynchronous form (core/async_run.hpp): ask() hands out (ticket, point) pairs while a
// particle is free, tell(ticket, value) takes the values back in any order.
template <typename Space>
class AsyncDriverOf final : public DriverBase<Space, AsyncSwarmRun<Space>> {
  using Base = DriverBase<Space, AsyncSwarmRun<Space>>;
  using Base::run_;

 public:
  using Base::Base;

  PyRef ask() override {
    require_running(*this, "ask()");
    if (!run_.can_ask()) return PyRef::borrow(Py_None);
    const auto asked = run_.ask();
    return ticket_and_point(asked.ticket, asked.point);
  }

  // As in the synchronous form, every check comes first and the ticket is checked again after
  // the value's conversion.
  //
  // Constraint values are not taken: which told point's violation goes with the global best would
  // have to follow the out-of-order updates, so they are refused before anything is read.
  void tell(PyObject* const* args, Py_ssize_t nargs, PyObject* inequalities,
            PyObject* equalities) override {
    if (inequalities != nullptr || equalities != nullptr) {
      raise(PyExc_TypeError,
            "tell() takes no constraint values in an asynchronous run (asynchronous=True)");
    }
    const ToldTicket ticket = told_ticket(args, nargs, kName, "a value");
    require_out(*this, run_, ticket);
    refuse_several_values(args[1]);
    const double value = to_f64(args[1]);
    require_out(*this, run_, ticket);
    if (this->log) {
      for (std::size_t k = 0; k < run_.out_count(); ++k) {
        if (run_.out_ticket(k) == ticket.value) this->log->add(run_.out_point(k), value);
      }
    }
    run_.tell(ticket.value, value);
  }

  PyRef out() override { return out_pairs(run_); }
  PyRef events() const override { return event_pairs(run_.events(), true); }

  std::vector<double> violations() const override { return {}; }

  void restore_violations(std::span<const double>) override {
    raise(PyExc_ValueError,
          "cannot restore the Optimizer: an asynchronous run carries no violations");
  }

 private:
  double best_violation() const override { return 0.0; }
};

// Validates the arguments in minimize's order and builds the run.
std::unique_ptr<Driver> new_driver(const Arguments& a) {
  SwarmSetup setup = setup_swarm(a);
  check_equality_tol(a.equality_tol);
  const ConstraintHandling handling = parse_constraint_handling(a.constraint_handling);
  refuse_asynchronous_batch(a.asynchronous, a.batch);
  // A restart redraws every particle at a pass's end, the ones out for evaluation included,
  // whose values would then be credited to positions they were not measured at.
  if (a.asynchronous && a.restart_patience > 0) {
    raise(PyExc_ValueError,
          "asynchronous=True cannot be combined with restarts (restart_patience > 0)");
  }
  // Each point of the local phase depends on the values of the points before it.
  if (a.asynchronous && setup.local_search != LocalSearch::None) {
    raise(PyExc_ValueError,
          "asynchronous=True cannot be combined with a local phase (local_search)");
  }
  std::unique_ptr<Driver> driver = visit_space_with_start(
      a, setup, [&](auto space, std::vector<double> start) -> std::unique_ptr<Driver> {
        using Space = decltype(space);
        SwarmConfig config = swarm_config(a, setup, std::move(start));
        // The asynchronous form takes no constraint values: nothing to rank.
        if (!a.asynchronous) config.constraint_handling = handling;
        if (a.asynchronous) {
          return std::make_unique<AsyncDriverOf<Space>>(
              config, std::move(space), std::move(setup.rule), std::move(setup.topology));
        }
        return std::make_unique<DriverOf<Space>>(config, std::move(space), std::move(setup.rule),
                                                 std::move(setup.topology), a.batch, a.penalty,
                                                 a.equality_tol);
      });
  if (a.record_evaluations) driver->log.emplace();
  return driver;
}

// The driver of an Optimizer object.
Driver& single_driver_of(PyObject* self) { return static_cast<Driver&>(driver_of(self)); }

PyObject* optimizer_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return translate_exceptions([&]() -> PyObject* {
    std::array<PyObject*, kParameters.size()> given{};
    bind_tuple_call(Signature{kName, kParameters}, args, kwargs, given);
    DrivenParts parts;
    parts.arguments = arguments_as_dict(kParameters, given);
    const Arguments converted =
        converted_with_names<converted_with_preset<convert_arguments, kParameters>>(given);
    std::unique_ptr<Driver> driver = new_driver(converted);
    parts.parameter_space = PyRef::borrow(named_space_of(converted));
    parts.progress = converted.progress;
    parts.progress_total = converted.max_iter;
    return new_driven(type, std::move(driver), std::move(parts));
  });
}

// progress=True: the display, made on the first call with the optimizer's iteration as its start
// (a max_iter lifted by a preset counts as unknown).
PyObject* progress_display(PyObject* self) {
  DrivenObject& optimizer = *as_driven(self);
  if (optimizer.progress_display == nullptr) {
    const PyRef module = checked(PyImport_ImportModule("corvalinth.progress"));
    const PyRef bar = checked(PyObject_GetAttrString(module.get(), "bar"));
    const bool unbounded = optimizer.progress_total == std::numeric_limits<std::uint64_t>::max();
    const PyRef total = unbounded ? PyRef::borrow(Py_None)
                                  : checked(PyLong_FromUnsignedLongLong(optimizer.progress_total));
    const PyRef initial = checked(PyLong_FromUnsignedLongLong(driver_of(self).iteration()));
    const PyRef arguments = checked(PyTuple_Pack(1, total.get()));
    const PyRef keywords = checked(Py_BuildValue("{sO}", "initial", initial.get()));
    optimizer.progress_display =
        checked(PyObject_Call(bar.get(), arguments.get(), keywords.get())).release();
  }
  return optimizer.progress_display;
}

// Shows every iteration a tell completed (`before` is the iteration count before it), and ends
// the display with the run.
void show_progress(PyObject* self, std::uint64_t before) {
  const Driver& driver = single_driver_of(self);
  PyRef display = PyRef::borrow(progress_display(self));  // held: the call may run any code
  if (driver.iteration() > before) {
    const PyRef iteration = checked(PyLong_FromUnsignedLongLong(driver.iteration() - 1));
    const PyRef best = driver.best_value();
    checked(PyObject_CallFunctionObjArgs(display.get(), iteration.get(), best.get(), nullptr));
  }
  if (driver.done()) checked(PyObject_CallMethod(display.get(), "close", nullptr));
}

// tell(values, /, *, constraints=None, equality_constraints=None) in the synchronous forms,
// tell(ticket, value, /) in the asynchronous one: the driver checks the positional arguments.
PyObject* optimizer_tell(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  return method([&] {
    PyObject* inequalities = nullptr;
    PyObject* equalities = nullptr;
    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
      PyObject* name = PyTuple_GetItem(kwnames, k);
      PyObject* value = args[nargs + k] == Py_None ? nullptr : args[nargs + k];
      if (PyUnicode_CompareWithASCIIString(name, "constraints") == 0) {
        inequalities = value;
      } else if (PyUnicode_CompareWithASCIIString(name, "equality_constraints") == 0) {
        equalities = value;
      } else {
        raise(PyExc_TypeError, "tell() got an unexpected keyword argument '" + to_str(name) + "'");
      }
    }
    if (as_driven(self)->progress) progress_display(self);
    const std::uint64_t before = driver_of(self).iteration();
    single_driver_of(self).tell(args, nargs, inequalities, equalities);
    if (as_driven(self)->progress) show_progress(self, before);
    return PyRef::borrow(Py_None);
  });
}

PyObject* optimizer_result(PyObject* self, PyObject*) {
  return method([&] {
    PsoResultData data = single_driver_of(self).result();
    data.parameter_space = PyRef::borrow(as_driven(self)->parameter_space);
    return new_pso_result(std::move(data));
  });
}

PyObject* optimizer_reduce(PyObject* self, PyObject*) {
  return method([&] {
    const PyRef module = checked(PyImport_ImportModule("corvalinth_native"));
    const PyRef restore = checked(PyObject_GetAttrString(module.get(), "_restore_optimizer"));
    PyObject* arguments = as_driven(self)->arguments;
    require_picklable_arguments(self, arguments, kName);
    const PyRef state = bytes_of(driver_of(self).save());
    // Violations are saved only when a constraint value was told, and the record of evaluations
    // only when it is kept: the pickle of an optimizer without them stays what it always was.
    const std::vector<double> saved = single_driver_of(self).violations();
    const bool any = std::any_of(saved.begin(), saved.end(), [](double v) { return v != 0.0; });
    if (const auto& log = driver_of(self).log) {
      const PyRef violations = any ? doubles_to_bytes(saved) : PyRef::borrow(Py_None);
      const PyRef record = evaluation_log_state(*log);
      return checked(Py_BuildValue("(O(OOOO))", restore.get(), arguments, state.get(),
                                   violations.get(), record.get()));
    }
    if (!any) return checked(Py_BuildValue("(O(OO))", restore.get(), arguments, state.get()));
    const PyRef violations = doubles_to_bytes(saved);
    return checked(
        Py_BuildValue("(O(OOO))", restore.get(), arguments, state.get(), violations.get()));
  });
}

PyObject* get_best_value(PyObject* self, void*) {
  return method([&] { return single_driver_of(self).best_value(); });
}
PyObject* get_best_position(PyObject* self, void*) {
  return method([&] { return single_driver_of(self).best_position(); });
}
PyObject* get_best_params(PyObject* self, void*) {
  return method([&] {
    PyObject* space = as_driven(self)->parameter_space;
    PyRef position = single_driver_of(self).best_position();
    if (space == nullptr || position.get() == Py_None) return PyRef::borrow(Py_None);
    return checked(PyObject_CallMethod(space, "decode", "(O)", position.get()));
  });
}

PyMethodDef methods[] = {
    {"ask", driven_ask, METH_NOARGS, docs::optimizer_ask},
    {"tell", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(optimizer_tell)),
     METH_FASTCALL | METH_KEYWORDS, docs::optimizer_tell},
    {"result", optimizer_result, METH_NOARGS, docs::optimizer_result},
    {"__reduce__", optimizer_reduce, METH_NOARGS, docs::optimizer_reduce},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"best_value", get_best_value, nullptr, docs::optimizer_best_value, nullptr},
    {"best_position", get_best_position, nullptr, docs::optimizer_best_position, nullptr},
    {"best_params", get_best_params, nullptr, docs::optimizer_best_params, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* optimizer_type = nullptr;  // kept by the module for the life of the interpreter

}  // namespace

PyObject* create_optimizer_type() {
  optimizer_type = create_driven_type("corvalinth_native.Optimizer", docs::optimizer, optimizer_new,
                                      methods, attributes);
  return optimizer_type;
}

PyObject* restore_optimizer(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return translate_exceptions([&]() -> PyObject* {
    // Without violations (or with None) every one is 0 (no constraint value was told). The
    // fourth argument is the record of evaluations, for an optimizer that keeps one.
    const bool has_violations = nargs >= 3 && args[2] != Py_None;
    if (nargs < 2 || nargs > 4 || !PyDict_Check(args[0]) || !PyBytes_Check(args[1]) ||
        (has_violations && !PyBytes_Check(args[2])) || (nargs == 3 && !has_violations)) {
      raise(PyExc_TypeError,
            "_restore_optimizer expects a dict of arguments, a bytes state, bytes of "
            "violations and a record of evaluations");
    }
    PyRef optimizer = restored_driven(optimizer_type, args[0], args[1], kName);
    Driver& driver = single_driver_of(optimizer.get());
    if (has_violations) driver.restore_violations(doubles_from_bytes(args[2], "violations"));
    if (nargs == 4) restore_record(optimizer.get(), args[3], kName);
    return optimizer.release();
  });
}

}  // namespace corvalinth::py
