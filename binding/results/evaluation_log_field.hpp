// The record of every evaluation (record_evaluations=True) as a field of any result class whose
// record has an `evaluation_log`: rows of floats in Python, (columns, bytes of doubles) in the
// pickled state; and the evaluations_array method, the same rows as one (rows, columns) array.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <utility>

#include "binding/results/evaluation_log.hpp"
#include "binding/results/result_fields.hpp"
#include "binding/runtime/float_block.hpp"

namespace corvalinth::py {

inline PyRef evaluation_rows(const EvaluationLog& log) {
  PyRef rows = checked(PyList_New(static_cast<Py_ssize_t>(log.rows())));
  for (std::size_t r = 0; r < log.rows(); ++r) {
    PyRef row =
        new_float_list(std::span<const double>(log.values).subspan(r * log.columns, log.columns));
    PyList_SetItem(rows.get(), static_cast<Py_ssize_t>(r), row.release());
  }
  return rows;
}

inline EvaluationLog evaluation_log_from(PyObject* saved, const char* key) {
  if (!PyTuple_Check(saved) || PyTuple_Size(saved) != 2) {
    raise(PyExc_ValueError, "'" + std::string(key) + "' must be a pair (columns, bytes)");
  }
  EvaluationLog log;
  log.columns = static_cast<std::size_t>(count_from(PyTuple_GetItem(saved, 0), key));
  log.values = doubles_from_bytes(PyTuple_GetItem(saved, 1), key);
  if (log.columns == 0 ? !log.values.empty() : log.values.size() % log.columns != 0) {
    raise(PyExc_ValueError, "'" + std::string(key) + "' holds no whole number of rows");
  }
  return log;
}

inline PyRef evaluation_log_state(const EvaluationLog& log) {
  const PyRef columns = checked(PyLong_FromSize_t(log.columns));
  const PyRef values = doubles_to_bytes(log.values);
  return checked(PyTuple_Pack(2, columns.get(), values.get()));
}

template <typename Data>
Field<Data> evaluation_log_field(const char* name, const char* doc) {
  return {name, doc, [](const Data& data) { return evaluation_rows(data.evaluation_log); },
          [](StateDictWriter& out, const char* key, const Data& data) {
            out.put(key, evaluation_log_state(data.evaluation_log));
          },
          [](const StateDictReader& in, const char* key, Data& data) {
            data.evaluation_log = evaluation_log_from(in.item(key), key);
          }};
}

// evaluations_array(): shares the log's block with the result; an empty record still has the
// width of a row, `empty_columns(data)`.
template <typename Data, std::size_t (*EmptyColumns)(const Data&)>
PyObject* evaluations_array(PyObject* self, PyObject*) {
  return translate_exceptions([&] {
    const Data& data = result_data<Data>(self);
    const EvaluationLog& log = data.evaluation_log;
    const std::size_t columns = log.columns == 0 ? EmptyColumns(data) : log.columns;
    return shared_float64_array(self, log.values, {log.rows(), columns}).release();
  });
}

}  // namespace corvalinth::py
