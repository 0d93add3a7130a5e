#include "binding/front_ends/multi_optimizer.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/named_parameters.hpp"
#include "binding/arguments/objective_rows.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/warm_start.hpp"
#include "binding/front_ends/async_tickets.hpp"
#include "binding/front_ends/driven_object.hpp"
#include "binding/front_ends/multi_settings.hpp"
#include "binding/front_ends/run_driver.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/results/evaluation_log_field.hpp"
#include "binding/runtime/errors.hpp"
#include "core/async_run.hpp"
#include "core/mopso/mopso.hpp"
#include "core/run_state.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"

namespace corvalinth::py {
namespace {

// The signature of MultiOptimizer: minimize_multi's settings, every one after `bounds`
// keyword-only, then the forms and the record. A restored run measures nothing against a clock,
// so there is no max_time (as for Optimizer).
#define CORVALINTH_MULTI_OPTIMIZER_PARAMETERS(P) \
  P(bounds, required()) \
  CORVALINTH_MULTI_SWARM_PARAMETERS(P, keyword_only) \
  P(max_evals, keyword_only(none_or(to_u64))) \
  CORVALINTH_MULTI_SEARCH_PARAMETERS(P) \
  P(batch, keyword_only(with_default(to_bool, false))) \
  CORVALINTH_MULTI_EVOLUTION_PARAMETERS(P) \
  P(asynchronous, keyword_only(with_default(to_bool, false))) \
  P(record_evaluations, keyword_only(with_default(to_bool, false))) \
  CORVALINTH_MULTI_CROSSOVER_PARAMETER(P) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MULTI_OPTIMIZER_PARAMETERS)

constexpr const char* kName = "MultiOptimizer";

std::string count(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// One multi-objective run in any form (the shared part in DrivenRun).
class MultiDriver : public DrivenRun {
 public:
  // `args` are tell()'s positional arguments.
  virtual void tell(PyObject* const* args, Py_ssize_t nargs) = 0;
  // The front of the finished run, with the NamedSpace of named parameters (may be null).
  virtual PyRef result(PyObject* parameter_space) const = 0;
};

// What every form shares: the settings and what the run references, the run (`Run` is a MopsoRun
// or an AsyncMopsoRun), the objective count's check, the record and the front.
template <typename Space, typename Run>
class MultiDriverBase : public RunDriver<MultiDriver, MultiDriverBase<Space, Run>> {
 public:
  MultiDriverBase(MopsoConfig config, Space space, MultiSetup& setup, double w)
      : config_(std::move(config)),
        space_(std::move(space)),
        rule_(multi_rule(setup, w, space_)),
        run_(config_, space_, *rule_) {}

  PyRef result(PyObject* parameter_space) const override {
    if (!this->done()) raise(PyExc_ValueError, "result() is available once the run is done");
    EvaluationLog record = this->log ? *this->log : EvaluationLog{};
    return new_front(this->steps().result(), config_, space_.dim(), record, parameter_space);
  }

  // A point and its objective vector, of the run's count once one was told.
  bool record_fits(std::size_t columns) const override {
    const auto& run = this->steps();
    return columns >= space_.dim() &&
           (!run.evaluated() || columns == space_.dim() + run.objective_count());
  }

  const Run& driven() const { return run_; }
  Run& driven() { return run_; }

 protected:
  // The run's objective count, or `first` (of the first vector told now) before any was told.
  std::size_t objective_count_or(std::size_t first) const {
    const auto& run = this->steps();
    return run.evaluated() ? run.objective_count() : first;
  }

  // Every vector of a run has the objective count of the first one told.
  static void require_objective_count(std::size_t actual, std::size_t expected) {
    if (actual != expected) {
      raise(PyExc_ValueError, "tell() got " + count(actual, "objective value") +
                                  ", but the run's vectors have " + std::to_string(expected) +
                                  "; every vector must have the same number of objectives");
    }
  }

  const MopsoConfig config_;
  const Space space_;
  const std::unique_ptr<VelocityRule> rule_;
  Run run_;
};

// The synchronous forms: one point at a time, or the whole swarm with `batch`.
template <typename Space>
class MultiDriverOf final : public MultiDriverBase<Space, detail::MopsoRun<Space>> {
  using Base = MultiDriverBase<Space, detail::MopsoRun<Space>>;
  using Base::run_;
  using Base::space_;

 public:
  MultiDriverOf(MopsoConfig config, Space space, MultiSetup& setup, double w, bool batch)
      : Base(std::move(config), std::move(space), setup, w), batch_(batch) {}

  PyRef ask() override {
    require_running(*this, "ask()");
    if (batch_) return new_swarm_matrix(space_, run_.ask_batch());
    return new_point_list(run_.ask());
  }

  // Every check comes before the run is told anything, so a refused tell changes nothing. The
  // pending ask is checked again after the conversion, which may run Python code that told the
  // optimizer meanwhile.
  void tell(PyObject* const* args, Py_ssize_t nargs) override {
    if (nargs != 1) {
      raise(PyExc_TypeError,
            "tell() takes 1 positional argument but " + std::to_string(nargs) + " were given");
    }
    require_pending_ask();
    if (batch_) {
      ObjectiveRows rows = to_objective_rows(args[0]);
      require_pending_ask();
      const std::size_t n = run_.size();
      if (rows.views.size() != n) {
        raise(PyExc_ValueError, "tell() expects one row of objective values per particle: " +
                                    count(n, "row") + ", got " + std::to_string(rows.views.size()));
      }
      const std::size_t m = this->objective_count_or(rows.views[0].size());
      for (const ObjectiveView row : rows.views) this->require_objective_count(row.size(), m);
      if (this->log) {
        const Swarm& swarm = run_.ask_batch();  // the swarm asked, as it was
        for (std::size_t i = 0; i < n; ++i) {
          const auto point = space_.decode(swarm.position(i));
          this->log->add(std::span<const typename Space::Element>(point), rows.views[i]);
        }
      }
      run_.tell_batch(rows.values);
      run_.end_pass(nullptr);
      return;
    }
    const std::vector<double> row = to_f64_list(args[0]);
    require_pending_ask();
    this->require_objective_count(row.size(), this->objective_count_or(row.size()));
    if (this->log) this->log->add(run_.ask(), std::span<const double>(row));
    if (run_.tell(row)) run_.end_pass(nullptr);
  }

  PyRef events() const override { return PyRef::borrow(Py_None); }
  PyRef out() override { return PyRef::borrow(Py_None); }

 private:
  void require_pending_ask() const {
    require_running(*this, "tell()");
    if (!run_.asked()) raise(PyExc_ValueError, "tell() must follow an ask() that was not answered");
  }

  const bool batch_;
};

// The asynchronous form (core/async_run.hpp): ask() hands out (ticket, point) pairs while a
// particle is free, tell(ticket, values) takes the vectors back in any order.
template <typename Space>
class AsyncMultiDriverOf final : public MultiDriverBase<Space, AsyncMopsoRun<Space>> {
  using Base = MultiDriverBase<Space, AsyncMopsoRun<Space>>;
  using Base::run_;

 public:
  using Base::Base;

  PyRef ask() override {
    require_running(*this, "ask()");
    if (!run_.can_ask()) return PyRef::borrow(Py_None);
    const auto asked = run_.ask();
    return ticket_and_point(asked.ticket, asked.point);
  }

  // As in the synchronous forms, every check comes first and the ticket is checked again after
  // the values' conversion.
  void tell(PyObject* const* args, Py_ssize_t nargs) override {
    const ToldTicket ticket = told_ticket(args, nargs, kName, "values");
    require_out(*this, run_, ticket);
    const std::vector<double> row = to_f64_list(args[1]);
    require_out(*this, run_, ticket);
    this->require_objective_count(row.size(), this->objective_count_or(row.size()));
    if (this->log) {
      for (std::size_t k = 0; k < run_.out_count(); ++k) {
        if (run_.out_ticket(k) == ticket.value) {
          this->log->add(run_.out_point(k), std::span<const double>(row));
        }
      }
    }
    run_.tell(ticket.value, row);
  }

  PyRef out() override { return out_pairs(run_); }
  PyRef events() const override { return event_pairs(run_.events(), false); }
};

// Validates the arguments in minimize_multi's order and builds the run.
std::unique_ptr<MultiDriver> new_driver(const Arguments& a) {
  MultiSetup setup = setup_multi(a);
  refuse_asynchronous_batch(a.asynchronous, a.batch);
  if (a.asynchronous && setup.swarm_selection != SwarmSelection::None) {
    raise(PyExc_ValueError,
          "asynchronous=True cannot be combined with a population step (swarm_selection)");
  }
  std::unique_ptr<MultiDriver> driver = visit_space_with_start(
      a, setup.swarm, [&](auto space, std::vector<double> start) -> std::unique_ptr<MultiDriver> {
        using Space = decltype(space);
        MopsoConfig config = mopso_config(a, setup, std::move(start));
        if (a.asynchronous) {
          return std::make_unique<AsyncMultiDriverOf<Space>>(std::move(config), std::move(space),
                                                             setup, a.w);
        }
        return std::make_unique<MultiDriverOf<Space>>(std::move(config), std::move(space), setup,
                                                      a.w, a.batch);
      });
  if (a.record_evaluations) driver->log.emplace();
  return driver;
}

MultiDriver& multi_driver_of(PyObject* self) { return static_cast<MultiDriver&>(driver_of(self)); }

// The converted (and named) arguments with preset="robust" applied.
Arguments converted_with_multi_preset(std::span<PyObject* const> given) {
  return with_multi_preset(converted_with_names<convert_arguments>(given), kParameters);
}

PyObject* multi_optimizer_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return translate_exceptions([&]() -> PyObject* {
    std::array<PyObject*, kParameters.size()> given{};
    bind_tuple_call(Signature{kName, kParameters}, args, kwargs, given);
    DrivenParts parts;
    parts.arguments = arguments_as_dict(kParameters, given);
    const Arguments converted = converted_with_multi_preset(given);
    std::unique_ptr<MultiDriver> driver = new_driver(converted);
    parts.parameter_space = PyRef::borrow(named_space_of(converted));
    return new_driven(type, std::move(driver), std::move(parts));
  });
}

// tell(values, /) in the synchronous forms, tell(ticket, values, /) in the asynchronous one.
PyObject* multi_optimizer_tell(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return method([&] {
    multi_driver_of(self).tell(args, nargs);
    return PyRef::borrow(Py_None);
  });
}

PyObject* multi_optimizer_result(PyObject* self, PyObject*) {
  return method([&] { return multi_driver_of(self).result(as_driven(self)->parameter_space); });
}

// The arguments and the state, then the record of evaluations when it is kept.
PyObject* multi_optimizer_reduce(PyObject* self, PyObject*) {
  return method([&] {
    const PyRef module = checked(PyImport_ImportModule("corvalinth_native"));
    const PyRef restore = checked(PyObject_GetAttrString(module.get(), "_restore_multi_optimizer"));
    PyObject* arguments = as_driven(self)->arguments;
    require_picklable_arguments(self, arguments, kName);
    const PyRef state = bytes_of(driver_of(self).save());
    if (const auto& log = driver_of(self).log) {
      const PyRef record = evaluation_log_state(*log);
      return checked(
          Py_BuildValue("(O(OOO))", restore.get(), arguments, state.get(), record.get()));
    }
    return checked(Py_BuildValue("(O(OO))", restore.get(), arguments, state.get()));
  });
}

PyMethodDef methods[] = {
    {"ask", driven_ask, METH_NOARGS, docs::multi_optimizer_ask},
    {"tell", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(multi_optimizer_tell)),
     METH_FASTCALL, docs::multi_optimizer_tell},
    {"result", multi_optimizer_result, METH_NOARGS, docs::multi_optimizer_result},
    {"__reduce__", multi_optimizer_reduce, METH_NOARGS, docs::optimizer_reduce},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {{nullptr, nullptr, nullptr, nullptr, nullptr}};  // the shared ones

PyObject* multi_optimizer_type = nullptr;  // kept by the module for the life of the interpreter

}  // namespace

PyObject* create_multi_optimizer_type() {
  multi_optimizer_type =
      create_driven_type("corvalinth_native.MultiOptimizer", docs::multi_optimizer,
                         multi_optimizer_new, methods, attributes);
  return multi_optimizer_type;
}

PyObject* restore_multi_optimizer(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return translate_exceptions([&]() -> PyObject* {
    if (nargs < 2 || nargs > 3 || !PyDict_Check(args[0]) || !PyBytes_Check(args[1])) {
      raise(PyExc_TypeError,
            "_restore_multi_optimizer expects a dict of arguments, a bytes state and a record of "
            "evaluations");
    }
    PyRef optimizer = restored_driven(multi_optimizer_type, args[0], args[1], kName);
    if (nargs == 3) restore_record(optimizer.get(), args[2], kName);
    return optimizer.release();
  });
}

}  // namespace corvalinth::py
