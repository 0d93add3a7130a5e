#include "binding/front_ends/multi_optimizer.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/objective_rows.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/warm_start.hpp"
#include "binding/front_ends/driven_object.hpp"
#include "binding/front_ends/multi_settings.hpp"
#include "binding/module/docstrings.hpp"
#include "binding/runtime/errors.hpp"
#include "core/mopso/mopso.hpp"
#include "core/run_state.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"

namespace corvalinth::py {
namespace {

// The signature of MultiOptimizer: minimize_multi's settings, every one after `bounds`
// keyword-only, then the form. A restored run measures nothing against a clock, so there is no
// max_time (as for Optimizer).
#define CORVALINTH_MULTI_OPTIMIZER_PARAMETERS(P) \
  P(bounds, required()) \
  CORVALINTH_MULTI_SWARM_PARAMETERS(P, keyword_only) \
  P(max_evals, keyword_only(none_or(to_u64))) \
  CORVALINTH_MULTI_SEARCH_PARAMETERS(P) \
  P(batch, keyword_only(with_default(to_bool, false))) \
  CORVALINTH_MULTI_EVOLUTION_PARAMETERS(P) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MULTI_OPTIMIZER_PARAMETERS)

constexpr const char* kName = "MultiOptimizer";

std::string count(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// One run in either form; the Python object owns it through this interface so that the space's
// type stays out of the object.
class MultiDriver {
 public:
  virtual ~MultiDriver() = default;
  virtual PyRef ask() = 0;
  virtual void tell(PyObject* values) = 0;
  virtual bool done() const = 0;
  virtual PyRef stop_reason() const = 0;
  virtual std::uint64_t iteration() const = 0;
  virtual std::uint64_t evaluations() const = 0;
  virtual PyRef result() const = 0;
  virtual std::vector<std::uint8_t> save() const = 0;
  virtual void restore(std::span<const std::uint8_t> bytes) = 0;
};

template <typename Space>
class MultiDriverOf final : public MultiDriver {
 public:
  MultiDriverOf(MopsoConfig config, Space space, MultiSetup& setup, double w, bool batch)
      : config_(std::move(config)),
        space_(std::move(space)),
        rule_(multi_rule(setup, w, space_)),
        run_(config_, space_, *rule_),
        batch_(batch) {}

  PyRef ask() override {
    require_running("ask()");
    if (batch_) return new_swarm_matrix(space_, run_.ask_batch());
    return new_point_list(run_.ask());
  }

  // Every check comes before the run is told anything, so a refused tell changes nothing. The
  // pending ask is checked again after the conversion, which may run Python code that told the
  // optimizer meanwhile.
  void tell(PyObject* values) override {
    require_pending_ask();
    if (batch_) {
      ObjectiveRows rows = to_objective_rows(values);
      require_pending_ask();
      const std::size_t n = run_.size();
      if (rows.views.size() != n) {
        raise(PyExc_ValueError, "tell() expects one row of objective values per particle: " +
                                    count(n, "row") + ", got " + std::to_string(rows.views.size()));
      }
      const std::size_t m = run_.evaluated() ? run_.objective_count() : rows.views[0].size();
      for (const ObjectiveView row : rows.views) require_objective_count(row.size(), m);
      run_.tell_batch(rows.values);
      run_.end_pass(nullptr);
      return;
    }
    const std::vector<double> row = to_f64_list(values);
    require_pending_ask();
    if (run_.evaluated()) require_objective_count(row.size(), run_.objective_count());
    if (run_.tell(row)) run_.end_pass(nullptr);
  }

  bool done() const override { return run_.finished(); }

  PyRef stop_reason() const override {
    if (!done()) return PyRef::borrow(Py_None);
    return new_str(stop_reason_name(run_.stop_reason()));
  }

  std::uint64_t iteration() const override { return run_.iteration(); }
  std::uint64_t evaluations() const override { return run_.evaluations(); }

  PyRef result() const override {
    if (!done()) raise(PyExc_ValueError, "result() is available once the run is done");
    EvaluationLog unrecorded;
    return new_front(run_.result(), config_, space_.dim(), unrecorded, nullptr);
  }

  std::vector<std::uint8_t> save() const override {
    StateWriter out;
    run_.save(out);
    return out.take();
  }

  void restore(std::span<const std::uint8_t> bytes) override {
    StateReader in(bytes);
    run_.restore(in);
  }

 private:
  void require_running(const char* method) const {
    if (done()) {
      raise(PyExc_ValueError, std::string(method) + " after the run is done; read result()");
    }
  }

  void require_pending_ask() const {
    require_running("tell()");
    if (!run_.asked()) raise(PyExc_ValueError, "tell() must follow an ask() that was not answered");
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
  detail::MopsoRun<Space> run_;
  const bool batch_;
};

// Validates the arguments in minimize_multi's order and builds the run.
std::unique_ptr<MultiDriver> new_driver(const Arguments& given) {
  const Arguments a = with_multi_preset(given, kParameters);
  MultiSetup setup = setup_multi(a);
  return visit_space_with_start(
      a, setup.swarm, [&](auto space, std::vector<double> start) -> std::unique_ptr<MultiDriver> {
        using Space = decltype(space);
        MopsoConfig config = mopso_config(a, setup, std::move(start));
        return std::make_unique<MultiDriverOf<Space>>(std::move(config), std::move(space), setup,
                                                      a.w, a.batch);
      });
}

MultiDriver& driver_of(PyObject* self) { return *as_driven<MultiDriver>(self)->driver; }

PyObject* multi_optimizer_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return translate_exceptions([&]() -> PyObject* {
    std::array<PyObject*, kParameters.size()> given{};
    bind_tuple_call(Signature{kName, kParameters}, args, kwargs, given);
    PyRef arguments = arguments_as_dict(kParameters, given);
    std::unique_ptr<MultiDriver> driver = new_driver(convert_arguments(given));
    return new_driven(type, std::move(driver), std::move(arguments));
  });
}

template <typename Body>
PyObject* method(Body&& body) {
  return translate_exceptions([&] { return body().release(); });
}

PyObject* multi_optimizer_ask(PyObject* self, PyObject*) {
  return method([&] { return driver_of(self).ask(); });
}

PyObject* multi_optimizer_tell(PyObject* self, PyObject* values) {
  return method([&] {
    driver_of(self).tell(values);
    return PyRef::borrow(Py_None);
  });
}

PyObject* multi_optimizer_result(PyObject* self, PyObject*) {
  return method([&] { return driver_of(self).result(); });
}

PyObject* multi_optimizer_reduce(PyObject* self, PyObject*) {
  return method([&] {
    const PyRef module = checked(PyImport_ImportModule("corvalinth_native"));
    const PyRef restore = checked(PyObject_GetAttrString(module.get(), "_restore_multi_optimizer"));
    PyObject* arguments = as_driven<MultiDriver>(self)->arguments;
    require_picklable_arguments(self, arguments, kName);
    const PyRef state = bytes_of(driver_of(self).save());
    return checked(Py_BuildValue("(O(OO))", restore.get(), arguments, state.get()));
  });
}

PyObject* get_done(PyObject* self, void*) {
  return method([&] { return PyRef::borrow(driver_of(self).done() ? Py_True : Py_False); });
}
PyObject* get_stop_reason(PyObject* self, void*) {
  return method([&] { return driver_of(self).stop_reason(); });
}
PyObject* get_iteration(PyObject* self, void*) {
  return method([&] { return checked(PyLong_FromUnsignedLongLong(driver_of(self).iteration())); });
}
PyObject* get_evaluations(PyObject* self, void*) {
  return method(
      [&] { return checked(PyLong_FromUnsignedLongLong(driver_of(self).evaluations())); });
}

PyMethodDef methods[] = {
    {"ask", multi_optimizer_ask, METH_NOARGS, docs::multi_optimizer_ask},
    {"tell", multi_optimizer_tell, METH_O, docs::multi_optimizer_tell},
    {"result", multi_optimizer_result, METH_NOARGS, docs::multi_optimizer_result},
    {"__reduce__", multi_optimizer_reduce, METH_NOARGS, docs::optimizer_reduce},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"done", get_done, nullptr, docs::optimizer_done, nullptr},
    {"stop_reason", get_stop_reason, nullptr, docs::optimizer_stop_reason, nullptr},
    {"iteration", get_iteration, nullptr, docs::optimizer_iteration, nullptr},
    {"evaluations", get_evaluations, nullptr, docs::multi_optimizer_evaluations, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* multi_optimizer_type = nullptr;  // kept by the module for the life of the interpreter

}  // namespace

PyObject* create_multi_optimizer_type() {
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(docs::multi_optimizer)},
      {Py_tp_new, reinterpret_cast<void*>(multi_optimizer_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(driven_dealloc<MultiDriver>)},
      {Py_tp_traverse, reinterpret_cast<void*>(driven_traverse<MultiDriver>)},
      {Py_tp_clear, reinterpret_cast<void*>(driven_clear<MultiDriver>)},
      {Py_tp_methods, methods},
      {Py_tp_getset, attributes},
      {0, nullptr},
  };
  PyType_Spec spec = {
      "corvalinth_native.MultiOptimizer",
      static_cast<int>(sizeof(DrivenObject<MultiDriver>)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC,
      slots,
  };
  multi_optimizer_type = PyType_FromSpec(&spec);
  return multi_optimizer_type;
}

PyObject* restore_multi_optimizer(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return translate_exceptions([&]() -> PyObject* {
    if (nargs != 2 || !PyDict_Check(args[0]) || !PyBytes_Check(args[1])) {
      raise(PyExc_TypeError,
            "_restore_multi_optimizer expects a dict of arguments and a bytes state");
    }
    const PyRef empty = checked(PyTuple_New(0));
    PyRef optimizer = checked(PyObject_Call(multi_optimizer_type, empty.get(), args[0]));
    try {
      driver_of(optimizer.get()).restore(bytes_view(args[1]));
    } catch (const RunStateError& error) {
      raise(PyExc_ValueError, std::string("cannot restore the MultiOptimizer: ") + error.what());
    }
    return optimizer.release();
  });
}

}  // namespace corvalinth::py
