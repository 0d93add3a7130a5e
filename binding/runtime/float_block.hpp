// Float64 NumPy arrays of result data without a Python object per element: a private type
// exports a block of doubles through the buffer protocol (read-only, C order, with its shape and
// strides) and NumPy wraps it. The arrays are read-only because results never change; .copy()
// gives a writable one.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <vector>

#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

// A read-only array viewing `values` in place, shaped `shape` (at most three sizes whose product
// is values.size()). `owner` keeps `values` alive and unchanged for as long as the array lives.
// Throws PythonErrorSet (NumPy cannot be loaded, or out of memory).
PyRef shared_float64_array(PyObject* owner, std::span<const double> values,
                           std::initializer_list<std::size_t> shape);

// `values` as a read-only one-dimensional array, shared with `owner`.
PyRef shared_vector_array(PyObject* owner, std::span<const double> values);

// `history` as a read-only (iterations, particles, dim) array, shared with `owner`.
PyRef shared_history_array(PyObject* owner, const History& history);

// A read-only array that owns `values`, shaped `shape`.
PyRef owned_float64_array(std::vector<double> values, std::initializer_list<std::size_t> shape);

}  // namespace corvalinth::py
