// NumPy's native array interface, reached at first use: importing the extension does not import
// NumPy, only the first vectorised objective does.
#pragma once

#include <cstddef>
#include <vector>
#include <span>

#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"

namespace corvalinth::py::numpy {

// A new C-ordered float64 array of shape (rows, cols); `fill` receives its data to write.
// Throws PythonErrorSet when NumPy cannot be loaded or the array cannot be made.
template <typename Fill>
PyRef new_matrix(std::size_t rows, std::size_t cols, Fill fill);

// numpy.asarray(object): an array over an object that exports a buffer, sharing its memory.
// Throws PythonErrorSet when NumPy cannot be loaded or refuses the object.
PyRef as_array(PyObject* object);

// True when `object` is a NumPy array (of any dtype or shape).
bool is_array(PyObject* object);

// Reads a one-dimensional float64 array into `out` in index order, whatever its strides.
// Returns false (with no error set) when `object` is not such an array; throws PythonErrorSet
// if reading its buffer fails.
bool read_float64_vector(PyObject* object, std::vector<double>& out);

// Reads a two-dimensional float64 array of `rows` rows (of the array type itself, not a
// subclass) into `out`, row after row whatever its strides, and its column count into `cols`.
// Returns false (with no error set, `out` and `cols` untouched) when `object` is not such an
// array; throws PythonErrorSet if reading its buffer fails.
bool read_float64_matrix(PyObject* object, std::size_t rows, std::size_t& cols,
                         std::vector<double>& out);

namespace detail {
PyRef new_float64_matrix(std::size_t rows, std::size_t cols);
// Writable view of a fresh C-contiguous float64 array's data.
double* matrix_data(PyObject* array, Py_buffer& view);
}  // namespace detail

template <typename Fill>
PyRef new_matrix(std::size_t rows, std::size_t cols, Fill fill) {
  PyRef array = detail::new_float64_matrix(rows, cols);
  Py_buffer view;
  double* data = detail::matrix_data(array.get(), view);
  fill(std::span<double>(data, rows * cols));
  PyBuffer_Release(&view);
  return array;
}

}  // namespace corvalinth::py::numpy
