// Named parameters: `bounds` given as a dict from names to what each parameter may take. The
// pure-Python `corvalinth._named.NamedSpace` translates the dict into the bounds and variable
// types of a mixed space and back; here the converted arguments of a front end are rewritten to
// that space before the setup step, so the run is the run of those bounds and types, bit for bit,
// and only what user code sees changes: the objective and the constraints receive dicts (a list
// of dicts when vectorised), and a warm start may be given as dicts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// The space a dict of named parameters stands for, and the objects made for the call from it,
// owned for as long as the arguments that borrow them.
class NamedParameters {
 public:
  // Builds the space; a bad declaration raises the ValueError that names its parameter.
  explicit NamedParameters(PyObject* declaration);

  PyObject* space() const { return space_.get(); }
  // Calls the space's method `name` on `argument` (and `flag` when given); a new reference.
  PyRef call(const char* name, PyObject* argument) const;
  PyRef call(const char* name, PyObject* argument, bool flag) const;
  // Keeps `object` for the call and returns it borrowed.
  PyObject* keep(PyRef object);

 private:
  PyRef space_;
  std::vector<PyRef> kept_;
};

// A NamedSpace, imported from corvalinth._named; `named_space_from(declaration)` builds one (a new
// reference), `is_named_space(object)` checks one.
PyRef named_space_from(PyObject* declaration);
bool is_named_space(PyObject* object);

// The point of the space as the dict of its parameters (a new reference).
PyRef named_point(PyObject* space, const std::vector<double>& point);

// With `bounds` a dict: rewrites converted arguments `a` to the space it names (bounds,
// var_types), wraps the objective and the constraints so they receive dicts, gives a snapshot
// callback `best_params`, encodes a warm start of dicts, and keeps all of it in `a.named`.
// Refuses what names already decide (integer, binary, var_types, dim), a native objective and a
// repair (which would answer a point). Leaves any other `bounds` as it is.
template <typename Arguments>
void name_parameters(Arguments& a) {
  if (!PyDict_Check(a.bounds)) return;
  if (a.integer || a.binary || a.var_types || a.dim) {
    raise(PyExc_ValueError,
          "bounds given as a dict of named parameters decide the variable types: integer, "
          "binary, var_types and dim cannot be given with them");
  }
  auto named = std::make_shared<NamedParameters>(a.bounds);
  const PyRef bounds = checked(PyObject_GetAttrString(named->space(), "bounds"));
  const PyRef types = checked(PyObject_GetAttrString(named->space(), "var_types"));
  a.var_types = to_str_list(types.get());
  a.bounds = named->keep(PyRef::borrow(bounds.get()));
  bool vectorized = false;
  if constexpr (requires { a.vectorized; }) vectorized = a.vectorized;
  if constexpr (requires { a.objective; }) {
    if (is_str(a.objective)) {
      raise(PyExc_ValueError,
            "a native benchmark takes no named parameters; pass a Python function as the "
            "objective");
    }
    a.objective = named->keep(named->call("wrap", a.objective, vectorized));
  }
  if constexpr (requires { a.constraints; }) {
    for (PyRef& g : a.constraints) g = named->call("wrap", g.get(), vectorized);
    for (PyRef& h : a.equality_constraints) h = named->call("wrap", h.get(), vectorized);
  }
  if constexpr (requires { a.repair; }) {
    if (a.repair != nullptr) {
      raise(PyExc_ValueError, "repair cannot be combined with named parameters");
    }
  }
  if constexpr (requires { a.callback; }) {
    if (a.callback != nullptr) a.callback = named->keep(named->call("wrap_callback", a.callback));
  }
  if (a.x0 != nullptr) a.x0 = named->keep(named->call("encode_start", a.x0));
  a.named = std::move(named);
}

// The front end's conversion `Convert` followed by name_parameters.
template <auto Convert>
auto converted_with_names(std::span<PyObject* const> given) {
  auto arguments = Convert(given);
  name_parameters(arguments);
  return arguments;
}

// The space of converted arguments, or null without named parameters.
template <typename Arguments>
PyObject* named_space_of(const Arguments& a) {
  return a.named ? a.named->space() : nullptr;
}

}  // namespace corvalinth::py
