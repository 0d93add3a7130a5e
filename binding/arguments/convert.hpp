// Conversions from Python objects to the argument types of the module functions. Each converter
// takes a borrowed reference and returns the C++ value, or sets a Python error and throws
// PythonErrorSet.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// "float", "list", ...: the name of the object's type, for messages.
std::string type_name(PyObject* object);

bool is_str(PyObject* object);
// True for NumPy's boolean scalar type, recognised by name so NumPy need not be imported.
bool is_numpy_bool(PyObject* object);

// A non-negative integer through __index__; a negative one raises OverflowError.
std::uint64_t to_u64(PyObject* object);
inline std::size_t to_usize(PyObject* object) { return static_cast<std::size_t>(to_u64(object)); }
// Anything float() accepts through the number protocol (__float__ or __index__).
double to_f64(PyObject* object);
// Only True, False or a NumPy boolean.
bool to_bool(PyObject* object);
// Only a str instance.
std::string to_str(PyObject* object);

// The items of a sequence (never a str: "Can't extract `str` to `Vec`"), in order.
std::vector<PyRef> to_object_list(PyObject* object);
std::vector<double> to_f64_list(PyObject* object);
std::vector<std::string> to_str_list(PyObject* object);

// Long conversions answer Ctrl-C: every kValuesPerSignalCheck values they let Python run its
// signal handlers (main thread only; elsewhere a no-op), and a handler's exception ends the
// conversion with PythonErrorSet.
inline constexpr std::size_t kValuesPerSignalCheck = std::size_t{1} << 16;
void run_signal_handlers();

// A new str of UTF-8 text.
PyRef new_str(std::string_view text);

// New Python lists of a point's coordinates (of a long list, interruptibly).
PyRef new_float_list(std::span<const double> values);
PyRef new_int_list(std::span<const std::int64_t> values);
// A point as the objective sees it: a list of int for an integer space, of float otherwise.
inline PyRef new_point_list(std::span<const double> values) { return new_float_list(values); }
inline PyRef new_point_list(std::span<const std::int64_t> values) { return new_int_list(values); }

// Replaces a pending TypeError by TypeError("argument '<name>': <message>") caused by it; any
// other pending error is left as it is.
void wrap_argument_error(const char* name);

// Converts argument `name` (a borrowed reference, or null when not given) with `convert`,
// wrapping a TypeError with the argument's name.
template <typename Convert>
auto convert_argument(const char* name, PyObject* value, Convert convert) {
  try {
    return convert(value);
  } catch (const PythonErrorSet&) {
    wrap_argument_error(name);
    throw;
  }
}

// An argument whose default is None: absent or None gives nullopt.
template <typename Convert>
auto convert_optional(const char* name, PyObject* value, Convert convert)
    -> std::optional<decltype(convert(value))> {
  if (value == nullptr || value == Py_None) return std::nullopt;
  return convert_argument(name, value, convert);
}

// An argument with a non-None default: absent gives `fallback`.
template <typename Convert, typename T>
auto convert_or(const char* name, PyObject* value, Convert convert, T fallback)
    -> decltype(convert(value)) {
  if (value == nullptr) return fallback;
  return convert_argument(name, value, convert);
}

}  // namespace corvalinth::py
