
#include "binding/runtime/numpy_api.hpp"

#include <cstring>
#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"

namespace corvalinth::py::numpy {
namespace {

// Slots of NumPy's C API table (stable since NumPy 1.x).
constexpr std::size_t kArrayTypeSlot = 2;
constexpr std::size_t kArrayNewSlot = 93;
constexpr int kFloat64TypeNumber = 12;  // NPY_DOUBLE

using ArrayNew = PyObject* (*)(PyTypeObject*, int, const Py_ssize_t*, int, const Py_ssize_t*,
                               void*, int, int, PyObject*);

// The API table, loaded once and kept for the life of the interpreter.
void** api_table = nullptr;

// NumPy 2 moved the core modules from numpy.core to numpy._core.
std::string multiarray_module_name() {
  const PyRef numpy = checked(PyImport_ImportModule("numpy"));
  const PyRef version = checked(PyObject_GetAttrString(numpy.get(), "__version__"));
  const std::string text = to_str(version.get());
  const long major = std::strtol(text.c_str(), nullptr, 10);
  return major >= 2 ? "numpy._core.multiarray" : "numpy.core.multiarray";
}

void** api() {
  if (api_table != nullptr) return api_table;
  const std::string module_name = multiarray_module_name();
  const PyRef module = checked(PyImport_ImportModule(module_name.c_str()));
  const PyRef capsule = checked(PyObject_GetAttrString(module.get(), "_ARRAY_API"));
  if (PyCapsule_CheckExact(capsule.get()) == 0) {
    raise(PyExc_RuntimeError, "_ARRAY_API is not a capsule");
  }
  void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
  if (table == nullptr) throw PythonErrorSet{};
  // The table lives in NumPy's extension, which stays loaded: keep the module imported for good.
  api_table = static_cast<void**>(table);
  return api_table;
}

PyTypeObject* array_type() { return static_cast<PyTypeObject*>(api()[kArrayTypeSlot]); }

}  // namespace

namespace detail {

PyRef new_float64_matrix(std::size_t rows, std::size_t cols) {
  const auto array_new = reinterpret_cast<ArrayNew>(api()[kArrayNewSlot]);
  const Py_ssize_t shape[2] = {static_cast<Py_ssize_t>(rows), static_cast<Py_ssize_t>(cols)};
  return checked(
      array_new(array_type(), 2, shape, kFloat64TypeNumber, nullptr, nullptr, 0, 0, nullptr));
}

double* matrix_data(PyObject* array, Py_buffer& view) {
  if (PyObject_GetBuffer(array, &view, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) != 0) {
    throw PythonErrorSet{};
  }
  return static_cast<double*>(view.buf);
}

}  // namespace detail

PyRef as_array(PyObject* object) {
  const PyRef numpy = checked(PyImport_ImportModule("numpy"));
  const PyRef asarray = checked(PyObject_GetAttrString(numpy.get(), "asarray"));
  return checked(PyObject_CallFunctionObjArgs(asarray.get(), object, nullptr));
}

bool is_array(PyObject* object) {
  if (api_table == nullptr) {
    // No array can exist for us to see unless NumPy is loaded already.
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    if (PyDict_GetItemString(modules, "numpy") == nullptr) return false;
  }
  return PyObject_TypeCheck(object, array_type()) != 0;
}

namespace {

// True when `view` holds native float64 values in `dimensions` dimensions.
bool native_float64(const Py_buffer& view, int dimensions) {
  return view.ndim == dimensions && view.itemsize == 8 && view.format != nullptr &&
         (std::strcmp(view.format, "d") == 0 || std::strcmp(view.format, "=d") == 0);
}

}  // namespace

bool read_float64_vector(PyObject* object, std::vector<double>& out) {
  if (!is_array(object)) return false;
  Py_buffer view;
  if (PyObject_GetBuffer(object, &view, PyBUF_STRIDES | PyBUF_FORMAT) != 0) {
    PyErr_Clear();
    return false;
  }
  if (!native_float64(view, 1)) {
    PyBuffer_Release(&view);
    return false;
  }
  const auto length = static_cast<std::size_t>(view.shape[0]);
  const Py_ssize_t stride = view.strides[0];
  const char* base = static_cast<const char*>(view.buf);
  out.resize(length);
  for (std::size_t k = 0; k < length; ++k) {
    std::memcpy(&out[k], base + static_cast<Py_ssize_t>(k) * stride, sizeof(double));
  }
  PyBuffer_Release(&view);
  return true;
}

bool read_float64_matrix(PyObject* object, std::size_t rows, std::size_t& cols,
                         std::vector<double>& out) {
  if (!is_array(object) || Py_TYPE(object) != array_type()) return false;
  Py_buffer view;
  if (PyObject_GetBuffer(object, &view, PyBUF_STRIDES | PyBUF_FORMAT) != 0) {
    PyErr_Clear();
    return false;
  }
  if (!native_float64(view, 2) || static_cast<std::size_t>(view.shape[0]) != rows) {
    PyBuffer_Release(&view);
    return false;
  }
  cols = static_cast<std::size_t>(view.shape[1]);
  const char* base = static_cast<const char*>(view.buf);
  out.resize(rows * cols);
  for (std::size_t i = 0; i < rows; ++i) {
    const char* row = base + static_cast<Py_ssize_t>(i) * view.strides[0];
    for (std::size_t k = 0; k < cols; ++k) {
      std::memcpy(&out[i * cols + k], row + static_cast<Py_ssize_t>(k) * view.strides[1],
                  sizeof(double));
    }
  }
  PyBuffer_Release(&view);
  return true;
}

}  // namespace corvalinth::py::numpy
