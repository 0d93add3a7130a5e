// The parameter table of a front end: each parameter is declared once, as one line
// `P(name, converter)` of a table macro, in the order of the Python signature. From that line
// follow the field of the `Arguments` struct, the entry of the signature the call is bound to, the
// default and the conversion. Names are unique and required parameters come first, or the table
// fails to build; a converter whose value does not fit its default fails to build too.
//
// Adding a keyword-only parameter is one line, such as
// `P(stop_after, keyword_only(none_or(to_f64))) \`, at the end of the front end's table just
// above its closing comment; and, for the reader, its text after the `*` of the function's
// docstring signature line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "binding/arguments/signature.hpp"

namespace corvalinth::py {

class NamedParameters;

// Converters. Each has the `Value` it gives, whether the parameter is required, and
// `convert(name, given)`, where `given` is the borrowed argument or null when it was not passed;
// a failure wraps the TypeError with the parameter's name.

// A required parameter: the object itself, borrowed from the call.
struct Required {
  using Value = PyObject*;
  static constexpr bool kRequired = true;
  Value convert(const char*, PyObject* given) const { return given; }
};

// A parameter whose default is not None: absent gives `fallback`.
template <typename Convert, typename Default>
struct WithDefault {
  using Value = std::invoke_result_t<Convert, PyObject*>;
  static_assert(std::is_convertible_v<Default, Value>, "the default does not fit the converter");
  static constexpr bool kRequired = false;
  Convert convert_value;
  Default fallback;
  Value convert(const char* name, PyObject* given) const {
    return convert_or(name, given, convert_value, Value(fallback));
  }
};

// A parameter whose default is None: absent or None gives nullopt.
template <typename Convert>
struct NoneOr {
  using Value = std::optional<std::invoke_result_t<Convert, PyObject*>>;
  static constexpr bool kRequired = false;
  Convert convert_value;
  Value convert(const char* name, PyObject* given) const {
    return convert_optional(name, given, convert_value);
  }
};

// An object used as it is (a callable, or a value parsed later), null when absent or None.
struct ObjectOrNone {
  using Value = PyObject*;
  static constexpr bool kRequired = false;
  Value convert(const char*, PyObject* given) const { return given == Py_None ? nullptr : given; }
};

// A sequence of objects (callables), empty when absent or None.
struct ObjectsOrNone {
  using Value = std::vector<PyRef>;
  static constexpr bool kRequired = false;
  Value convert(const char* name, PyObject* given) const {
    std::optional<Value> objects = convert_optional(name, given, to_object_list);
    return objects ? std::move(*objects) : Value{};
  }
};

// Any converter, for a parameter that can only be given by keyword.
template <typename Converter>
struct KeywordOnly : Converter {
  static constexpr bool kKeywordOnly = true;
};

template <typename Converter>
constexpr bool is_keyword_only() {
  if constexpr (requires { Converter::kKeywordOnly; }) {
    return Converter::kKeywordOnly;
  } else {
    return false;
  }
}

constexpr Required required() { return {}; }
// Any converter as it is, for a parameter that can also be given by position.
template <typename Converter>
constexpr Converter positional(Converter converter) {
  return converter;
}
template <typename Converter>
constexpr KeywordOnly<Converter> keyword_only(Converter converter) {
  return {converter};
}
template <typename Convert, typename Default>
constexpr WithDefault<Convert, Default> with_default(Convert convert, Default fallback) {
  return {convert, fallback};
}
template <typename Convert>
constexpr NoneOr<Convert> none_or(Convert convert) {
  return {convert};
}
constexpr ObjectOrNone object_or_none() { return {}; }
constexpr ObjectsOrNone objects_or_none() { return {}; }

// True when the names are unique, no optional parameter comes before a required one and no
// keyword-only parameter before one that can be given by position.
template <std::size_t Count>
constexpr bool is_well_formed(const std::array<Parameter, Count>& parameters) {
  for (std::size_t k = 0; k < Count; ++k) {
    if (k > 0 && parameters[k].required && !parameters[k - 1].required) return false;
    if (k > 0 && !parameters[k].keyword_only && parameters[k - 1].keyword_only) return false;
    for (std::size_t j = 0; j < k; ++j) {
      if (std::string_view(parameters[j].name) == parameters[k].name) return false;
    }
  }
  return true;
}

// True when the call passed the parameter `name` (by position or keyword, None included), as
// opposed to leaving it at its default. `name` must be one of `parameters`.
template <typename Arguments, std::size_t Count>
constexpr bool was_given(const Arguments& arguments, const std::array<Parameter, Count>& parameters,
                         std::string_view name) {
  for (std::size_t k = 0; k < Count; ++k) {
    if (std::string_view(parameters[k].name) == name) {
      return (arguments.given_mask >> k & std::uint64_t{1}) != 0;
    }
  }
  return false;
}

// The body of every front end: binds the call to `signature`, converts the arguments in
// parameter order (the first failure is raised), runs `body` on them and returns its result, or
// null with the Python error set.
template <typename Arguments, std::size_t Count>
PyObject* call_front_end(const char* function, const std::array<Parameter, Count>& parameters,
                         Arguments (*convert)(std::span<PyObject* const>),
                         PyRef (*body)(const Arguments&), PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  return translate_exceptions([&] {
    std::array<PyObject*, Count> given{};
    bind_arguments(Signature{function, parameters}, args, nargs, kwnames, given);
    const Arguments arguments = convert(given);
    return body(arguments).release();
  });
}

}  // namespace corvalinth::py

#define CORVALINTH_ARGUMENT_FIELD(name, converter) typename decltype(converter)::Value name;
#define CORVALINTH_PARAMETER_ENTRY(name, converter) \
  ::corvalinth::py::Parameter{#name, decltype(converter)::kRequired, \
                              ::corvalinth::py::is_keyword_only<decltype(converter)>()},
#define CORVALINTH_CONVERT_ARGUMENT(name, converter) \
  if (given[next] != nullptr) arguments.given_mask |= std::uint64_t{1} << next; \
  arguments.name = (converter).convert(#name, given[next++]);

// Declares, from the table macro TABLE: `Arguments` (one field per parameter; Python objects are
// borrowed from the call; `given_mask` has bit k set when parameter k was passed, see
// was_given; `named` owns what named parameters made for the call, see named_parameters.hpp),
// `kParameters` (the signature, checked) and `convert_arguments`.
#define CORVALINTH_DECLARE_ARGUMENTS(TABLE) \
  struct Arguments { \
    TABLE(CORVALINTH_ARGUMENT_FIELD) \
    std::uint64_t given_mask = 0; \
    std::shared_ptr<::corvalinth::py::NamedParameters> named; \
  }; \
  constexpr std::array kParameters{TABLE(CORVALINTH_PARAMETER_ENTRY)}; \
  static_assert(::corvalinth::py::is_well_formed(kParameters), \
                "parameter names must be unique, required parameters first, keyword-only last"); \
  static_assert(kParameters.size() <= 64, "given_mask has one bit per parameter"); \
  Arguments convert_arguments(std::span<PyObject* const> given) { \
    Arguments arguments{}; \
    std::size_t next = 0; \
    TABLE(CORVALINTH_CONVERT_ARGUMENT) \
    return arguments; \
  }
