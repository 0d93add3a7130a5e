#include "binding/arguments/objective_rows.hpp"

#include <bit>
#include <cstring>
#include <string_view>

#include "binding/arguments/convert.hpp"

namespace corvalinth::py {
namespace {

// Holds an exported buffer and releases it when the scope ends.
class HeldBuffer {
 public:
  HeldBuffer() = default;
  HeldBuffer(const HeldBuffer&) = delete;
  HeldBuffer& operator=(const HeldBuffer&) = delete;
  ~HeldBuffer() {
    if (held_) PyBuffer_Release(&view_);
  }

  // Asks `object` for a read-only view with shape and strides; false (no error set) when it has
  // none.
  bool acquire(PyObject* object) {
    if (!PyObject_CheckBuffer(object)) return false;
    if (PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) != 0) {
      PyErr_Clear();
      return false;
    }
    held_ = true;
    return true;
  }
  const Py_buffer& view() const { return view_; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// The struct-module formats of a double in this machine's byte order.
bool is_native_double(const char* format) {
  if (format == nullptr) return false;
  std::string_view text(format);
  const char native_order = std::endian::native == std::endian::little ? '<' : '>';
  if (!text.empty() && (text[0] == '@' || text[0] == '=' || text[0] == native_order)) {
    text.remove_prefix(1);
  }
  return text == "d";
}

// Copies a 2-D float64 buffer row by row; false when `object` is not one.
bool read_float64_matrix(PyObject* object, std::vector<double>& values, std::size_t& rows,
                         std::size_t& columns) {
  HeldBuffer buffer;
  if (!buffer.acquire(object)) return false;
  const Py_buffer& view = buffer.view();
  if (view.ndim != 2 || view.itemsize != sizeof(double) || view.suboffsets != nullptr ||
      !is_native_double(view.format)) {
    return false;
  }
  rows = static_cast<std::size_t>(view.shape[0]);
  columns = static_cast<std::size_t>(view.shape[1]);
  values.resize(rows * columns);
  const char* base = static_cast<const char*>(view.buf);
  std::size_t out = 0;
  for (std::size_t i = 0; i < rows; ++i) {
    const char* row = base + static_cast<Py_ssize_t>(i) * view.strides[0];
    for (std::size_t k = 0; k < columns; ++k) {
      std::memcpy(&values[out++], row + static_cast<Py_ssize_t>(k) * view.strides[1],
                  sizeof(double));
    }
  }
  return true;
}

}  // namespace

ObjectiveRows to_objective_rows(PyObject* object) {
  ObjectiveRows front;
  std::vector<std::size_t> lengths;
  std::size_t rows = 0;
  std::size_t columns = 0;
  if (read_float64_matrix(object, front.values, rows, columns)) {
    lengths.assign(rows, columns);
  } else {
    for (const PyRef& row : to_object_list(object)) {
      const std::vector<double> point = to_f64_list(row.get());
      front.values.insert(front.values.end(), point.begin(), point.end());
      lengths.push_back(point.size());
    }
  }
  front.views.reserve(lengths.size());
  std::size_t offset = 0;
  for (const std::size_t length : lengths) {
    front.views.emplace_back(front.values.data() + offset, length);
    offset += length;
  }
  return front;
}

}  // namespace corvalinth::py
