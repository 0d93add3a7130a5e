#include "binding/arguments/objective_rows.hpp"

#include <algorithm>
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

// Copies a 2-D float64 buffer row by row into `front`; false when `object` is not one. The copy
// goes in blocks of rows, each followed by a look for pending signals, so Ctrl-C ends the copy of
// a front of millions of rows within milliseconds.
bool read_float64_matrix(PyObject* object, ObjectiveRows& front) {
  HeldBuffer buffer;
  if (!buffer.acquire(object)) return false;
  const Py_buffer& view = buffer.view();
  if (view.ndim != 2 || view.itemsize != sizeof(double) || view.suboffsets != nullptr ||
      !is_native_double(view.format)) {
    return false;
  }
  const auto rows = static_cast<std::size_t>(view.shape[0]);
  const auto columns = static_cast<std::size_t>(view.shape[1]);
  const std::size_t rows_per_block = kValuesPerSignalCheck / (columns == 0 ? 1 : columns) + 1;
  front.values.reserve(rows * columns);  // the views point into it: it never moves
  front.views.reserve(rows);
  const char* base = static_cast<const char*>(view.buf);
  for (std::size_t block = 0; block < rows; block += rows_per_block) {
    run_signal_handlers();
    const std::size_t end = std::min(rows, block + rows_per_block);
    std::size_t out = front.values.size();
    front.values.resize(end * columns);
    for (std::size_t i = block; i < end; ++i) {
      const char* row = base + static_cast<Py_ssize_t>(i) * view.strides[0];
      front.views.emplace_back(front.values.data() + out, columns);
      for (std::size_t k = 0; k < columns; ++k) {
        std::memcpy(&front.values[out++], row + static_cast<Py_ssize_t>(k) * view.strides[1],
                    sizeof(double));
      }
    }
  }
  return true;
}

}  // namespace

ObjectiveRows to_objective_rows(PyObject* object) {
  ObjectiveRows front;
  if (read_float64_matrix(object, front)) return front;
  std::vector<std::size_t> lengths;
  for (const PyRef& row : to_object_list(object)) {
    const std::vector<double> point = to_f64_list(row.get());
    front.values.insert(front.values.end(), point.begin(), point.end());
    lengths.push_back(point.size());
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
