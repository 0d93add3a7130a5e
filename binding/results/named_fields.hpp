// What a result of a run with named parameters (bounds given as a dict) adds, for any result
// class whose record has a `parameter_space` (a corvalinth._named.NamedSpace, null without
// names) and an `evaluation_log`:
// - the field "parameters": the dict of named parameters the run was given, None without; in
//   the pickled state as that dict, rebuilt (and so checked) into a space when loaded;
// - trials(): the record of evaluations as a list of dicts, the parameters (or x0, x1, ...
//   without names) and then the value(s) under the class's labels;
// - to_pandas(): the same as a pandas DataFrame.
#pragma once

#include <string>
#include <vector>

#include "binding/arguments/named_parameters.hpp"
#include "binding/results/evaluation_log_field.hpp"
#include "binding/results/result_fields.hpp"

namespace corvalinth::py {

inline PyRef named_module() { return checked(PyImport_ImportModule("corvalinth._named")); }

inline PyRef declaration_of(PyObject* space) {
  if (space == nullptr) return PyRef::borrow(Py_None);
  return checked(PyObject_GetAttrString(space, "declaration"));
}

template <typename Data>
Field<Data> parameters_field(const char* doc) {
  return {"parameters", doc,
          [](const Data& data) { return declaration_of(data.parameter_space.get()); },
          [](StateDictWriter& out, const char* key, const Data& data) {
            out.put(key, declaration_of(data.parameter_space.get()));
          },
          [](const StateDictReader& in, const char* key, Data& data) {
            PyObject* saved = in.item(key);
            if (saved != Py_None) data.parameter_space = named_space_from(saved);
          }};
}

// trials(): `Labels(data)` names the value columns.
template <typename Data, std::vector<std::string> (*Labels)(const Data&)>
PyObject* trials(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    const Data& data = result_data<Data>(self);
    const std::vector<std::string> labels = Labels(data);
    PyRef names = checked(PyList_New(static_cast<Py_ssize_t>(labels.size())));
    for (std::size_t k = 0; k < labels.size(); ++k) {
      PyList_SetItem(names.get(), static_cast<Py_ssize_t>(k), new_str(labels[k]).release());
    }
    const EvaluationLog& log = data.evaluation_log;
    const std::size_t dim = log.columns == 0 ? 0 : log.columns - labels.size();
    const PyRef rows = evaluation_rows(log);
    PyObject* space = data.parameter_space ? data.parameter_space.get() : Py_None;
    return checked(PyObject_CallMethod(named_module().get(), "trials", "OOnO", space, rows.get(),
                                       static_cast<Py_ssize_t>(dim), names.get()))
        .release();
  });
}

inline PyObject* to_pandas(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    return checked(PyObject_CallMethod(named_module().get(), "to_pandas", "(O)", self)).release();
  });
}

}  // namespace corvalinth::py
