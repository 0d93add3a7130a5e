#include "binding/runtime/float_block.hpp"

#include <memory>

#include "binding/runtime/errors.hpp"
#include "binding/runtime/numpy_api.hpp"

namespace corvalinth::py {
namespace {

constexpr int kMaxDims = 3;

struct FloatBlock {
  PyObject_HEAD
  PyObject* owner;           // strong reference, or null when `own` holds the values
  std::vector<double>* own;  // owned, or null
  const double* data;
  int ndim;
  Py_ssize_t shape[kMaxDims];
  Py_ssize_t strides[kMaxDims];
};

// NumPy asks for a pointer even for an empty block.
const double kEmpty = 0.0;

int get_buffer(PyObject* self, Py_buffer* view, int flags) {
  if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
    PyErr_SetString(PyExc_BufferError, "result arrays are read-only");
    view->obj = nullptr;
    return -1;
  }
  auto* block = reinterpret_cast<FloatBlock*>(self);
  Py_ssize_t count = 1;
  for (int k = 0; k < block->ndim; ++k) count *= block->shape[k];
  view->buf = const_cast<double*>(block->data);
  view->obj = Py_NewRef(self);
  view->len = count * static_cast<Py_ssize_t>(sizeof(double));
  view->readonly = 1;
  view->itemsize = sizeof(double);
  view->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>("d") : nullptr;
  // Without PyBUF_ND the consumer reads the block as plain contiguous memory.
  const bool shaped = (flags & PyBUF_ND) == PyBUF_ND;
  view->ndim = shaped ? block->ndim : 1;
  view->shape = shaped ? block->shape : nullptr;
  view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? block->strides : nullptr;
  view->suboffsets = nullptr;
  view->internal = nullptr;
  return 0;
}

void dealloc(PyObject* self) {
  auto* block = reinterpret_cast<FloatBlock*>(self);
  PyTypeObject* type = Py_TYPE(self);
  delete block->own;
  Py_XDECREF(block->owner);
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);
}

// The private type, created at first use and kept for the life of the interpreter.
PyTypeObject* block_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>("A read-only block of float64 values of a result.")},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "corvalinth_native._FloatBlock",
        static_cast<int>(sizeof(FloatBlock)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
        slots,
    };
    type = PyType_FromSpec(&spec);
    if (type == nullptr) throw PythonErrorSet{};
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

// A new block over `data`; the caller then sets its owner.
PyRef new_block(const double* data, std::initializer_list<std::size_t> shape) {
  PyTypeObject* type = block_type();
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyRef object = checked(alloc(type, 0));
  auto* block = reinterpret_cast<FloatBlock*>(object.get());
  block->owner = nullptr;
  block->own = nullptr;
  block->data = data != nullptr ? data : &kEmpty;
  block->ndim = static_cast<int>(shape.size());
  Py_ssize_t stride = sizeof(double);
  for (int k = block->ndim - 1; k >= 0; --k) {
    block->shape[k] = static_cast<Py_ssize_t>(shape.begin()[k]);
    block->strides[k] = stride;
    stride *= block->shape[k];
  }
  return object;
}

}  // namespace

PyRef shared_float64_array(PyObject* owner, std::span<const double> values,
                           std::initializer_list<std::size_t> shape) {
  PyRef block = new_block(values.data(), shape);
  reinterpret_cast<FloatBlock*>(block.get())->owner = Py_NewRef(owner);
  return numpy::as_array(block.get());
}

PyRef shared_vector_array(PyObject* owner, std::span<const double> values) {
  return shared_float64_array(owner, values, {values.size()});
}

PyRef shared_history_array(PyObject* owner, const History& history) {
  return shared_float64_array(owner, history.positions,
                              {history.iterations(), history.particles, history.dim});
}

PyRef owned_float64_array(std::vector<double> values, std::initializer_list<std::size_t> shape) {
  auto owned = std::make_unique<std::vector<double>>(std::move(values));
  PyRef block = new_block(owned->data(), shape);
  reinterpret_cast<FloatBlock*>(block.get())->own = owned.release();
  return numpy::as_array(block.get());
}

}  // namespace corvalinth::py
