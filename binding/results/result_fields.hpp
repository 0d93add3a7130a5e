// The fields of a result class, each declared once: its attribute name (also its key in the
// pickled state), its docstring, and how it is read into Python, saved and loaded. From one list
// per class follow the getset table, `to_dict`, `__reduce__` and the module-level reconstructor.
//
// `field<&Data::member>(name, doc)` declares a field of a standard kind (a vector of doubles, a
// count, a float, a stop reason, a history); a field of another kind spells its three functions
// out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/results/result_class.hpp"
#include "binding/results/result_lists.hpp"
#include "binding/results/result_state.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

template <typename Data>
struct Field {
  const char* name;
  const char* doc;
  PyRef (*get)(const Data&);                                     // a fresh Python object
  void (*save)(StateDictWriter&, const char* key, const Data&);  // into the pickled state
  void (*load)(const StateDictReader&, const char* key, Data&);  // from it, checked
};

template <typename DataType, std::size_t Count>
struct ResultSchema {
  using Data = DataType;
  std::array<Field<Data>, Count> fields;  // in the class's attribute order
  const char* reconstructor;              // the module function __reduce__ names
  void (*check)(const Data&) = nullptr;   // refuses a rebuilt state whose fields disagree
};

// The Python value of a field of a standard kind.
inline PyRef to_python(const std::vector<double>& values) { return new_float_list(values); }
inline PyRef to_python(std::uint64_t value) { return checked(PyLong_FromUnsignedLongLong(value)); }
inline PyRef to_python(double value) { return checked(PyFloat_FromDouble(value)); }
inline PyRef to_python(const History& history) { return new_history_list(history); }
inline PyRef to_python(StopReason reason) { return new_str(stop_reason_name(reason)); }

template <typename Pointer>
struct MemberOf;
template <typename Class, typename Value>
struct MemberOf<Value Class::*> {
  using Data = Class;
};

template <auto Member>
Field<typename MemberOf<decltype(Member)>::Data> field(const char* name, const char* doc) {
  using Data = typename MemberOf<decltype(Member)>::Data;
  return {
      name, doc, [](const Data& data) { return to_python(data.*Member); },
      [](StateDictWriter& out, const char* key, const Data& data) { out.put(key, data.*Member); },
      [](const StateDictReader& in, const char* key, Data& data) { in.read(key, data.*Member); }};
}

template <const auto& Schema>
using SchemaData = typename std::remove_cvref_t<decltype(Schema)>::Data;

template <typename Data>
PyObject* get_field(PyObject* self, void* closure) {
  const auto& field = *static_cast<const Field<Data>*>(closure);
  return translate_exceptions([&] { return field.get(result_data<Data>(self)).release(); });
}

// The getset table of the class: one read-only attribute per field.
template <const auto& Schema>
PyGetSetDef* getset_table() {
  using Data = SchemaData<Schema>;
  static std::array<PyGetSetDef, Schema.fields.size() + 1> table = [] {
    std::array<PyGetSetDef, Schema.fields.size() + 1> entries{};
    for (std::size_t k = 0; k < Schema.fields.size(); ++k) {
      const Field<Data>& f = Schema.fields[k];
      entries[k] = {f.name, get_field<Data>, nullptr, f.doc, const_cast<Field<Data>*>(&f)};
    }
    return entries;
  }();
  return table.data();
}

// The getset table of the class with `Extra` further read-only attributes after the fields
// (derived or alias names that are not part of the pickled state or of to_dict).
template <const auto& Schema, std::size_t Extra>
PyGetSetDef* getset_table(const std::array<PyGetSetDef, Extra>& extra) {
  static std::array<PyGetSetDef, Schema.fields.size() + Extra + 1> table = [&] {
    std::array<PyGetSetDef, Schema.fields.size() + Extra + 1> entries{};
    const PyGetSetDef* fields = getset_table<Schema>();
    for (std::size_t k = 0; k < Schema.fields.size(); ++k) entries[k] = fields[k];
    for (std::size_t k = 0; k < Extra; ++k) entries[Schema.fields.size() + k] = extra[k];
    return entries;
  }();
  return table.data();
}

// to_dict(): every attribute in field order, as its getter returns it.
template <const auto& Schema>
PyObject* to_dict(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    PyRef dict = checked(PyDict_New());
    for (const auto& f : Schema.fields) {
      const PyRef value = f.get(result_data<SchemaData<Schema>>(self));
      if (PyDict_SetItemString(dict.get(), f.name, value.get()) != 0) throw PythonErrorSet{};
    }
    return dict.release();
  });
}

// __reduce__(): the reconstructor and the state of every field.
template <const auto& Schema>
PyObject* reduce(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    StateDictWriter state;
    for (const auto& f : Schema.fields)
      f.save(state, f.name, result_data<SchemaData<Schema>>(self));
    return state.reduce_with(Schema.reconstructor).release();
  });
}

// The reconstructor: every field loaded and checked, then the class's own check.
template <const auto& Schema>
PyObject* rebuild(PyObject*, PyObject* state) {
  return translate_exceptions([&] {
    const StateDictReader in(state);
    SchemaData<Schema> data;
    for (const auto& f : Schema.fields) f.load(in, f.name, data);
    if (Schema.check != nullptr) Schema.check(data);
    return new_result(std::move(data)).release();
  });
}

}  // namespace corvalinth::py
