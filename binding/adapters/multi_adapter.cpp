#include "binding/adapters/multi_adapter.hpp"

#include <limits>
#include <string>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/numpy_api.hpp"

namespace corvalinth::py {
namespace {

std::string count(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// The items of `answer`, or a ValueError saying what shape was expected.
std::vector<PyRef> rows_of(PyObject* answer) {
  try {
    return to_object_list(answer);
  } catch (const PythonErrorSet&) {
    if (PyErr_ExceptionMatches(PyExc_TypeError) == 0) throw;
    PyErr_Clear();
  }
  raise(PyExc_ValueError,
        "vectorized objective must return an (n_particles, n_objectives) array, got " +
            type_name(answer));
}

}  // namespace

void PythonMultiObjective::evaluate(std::span<const double> point, std::vector<double>& values) {
  guarded([&] { return new_float_list(point); }, values);
}

void PythonMultiObjective::evaluate(std::span<const std::int64_t> point,
                                    std::vector<double>& values) {
  guarded([&] { return new_int_list(point); }, values);
}

template <typename MakeArgument>
void PythonMultiObjective::guarded(MakeArgument make_argument, std::vector<double>& values) {
  const bool answered = slot_.run(
      [&] {
        call_python(make_argument().get(), values);
        return true;
      },
      false);
  if (!answered) placeholder(values);
}

void PythonMultiObjective::call_python(PyObject* argument, std::vector<double>& values) {
  const PyRef answer = call_one(objective_, argument);
  std::vector<double> read = to_f64_list(answer.get());
  if (answered_ && read.size() != n_objectives_) {
    raise(PyExc_ValueError, "objective returned " + count(read.size(), "value") +
                                ", but its first answer had " + count(n_objectives_, "value") +
                                "; it must return the same number of objectives every time");
  }
  n_objectives_ = read.size();
  answered_ = true;
  values = std::move(read);
}

void PythonMultiBatchObjective::read_rows(const PyRef& answer, std::size_t n,
                                          std::vector<double>& values) {
  // A float64 array of the right shape is read in one pass, without an object per row; anything
  // else (and any answer that fails a check below) is read row by row.
  std::size_t columns = 0;
  if (n > 0 && numpy::read_float64_matrix(answer.get(), n, columns, matrix_)) {
    if (!answered_ || columns == n_objectives_) {
      n_objectives_ = columns;
      answered_ = true;
      values.swap(matrix_);
      return;
    }
  }
  const std::vector<PyRef> rows = rows_of(answer.get());
  if (rows.size() != n) {
    raise(PyExc_ValueError, "vectorized objective returned " + count(rows.size(), "row") +
                                " for " + count(n, "particle") +
                                "; it must return one row of objectives per particle");
  }
  values.clear();
  for (std::size_t i = 0; i < n; ++i) {
    PyObject* row = rows[i].get();
    if (!numpy::read_float64_vector(row, row_)) {
      try {
        row_ = to_f64_list(row);
      } catch (const PythonErrorSet&) {
        if (PyErr_ExceptionMatches(PyExc_TypeError) == 0) throw;
        PyErr_Clear();
        raise(PyExc_ValueError, "vectorized objective must return an (n_particles, n_objectives) "
                                "array; row " + std::to_string(i) +
                                " is not a sequence of numbers");
      }
    }
    if (answered_ && row_.size() != n_objectives_) {
      raise(PyExc_ValueError, "vectorized objective returned a row of " +
                                  count(row_.size(), "value") + ", but its first row had " +
                                  count(n_objectives_, "value") +
                                  "; every row must have the same number of objectives");
    }
    n_objectives_ = row_.size();
    answered_ = true;
    values.insert(values.end(), row_.begin(), row_.end());
  }
}

bool PythonFrontCallback::on_iteration(const FrontIterationInfo& info) {
  return slot_.run(
      [&] {
        const PyRef iteration = checked(PyLong_FromUnsignedLongLong(info.iteration));
        const PyRef size = checked(PyLong_FromSize_t(info.front_size));
        const PyRef answer =
            checked(PyObject_CallFunctionObjArgs(callback_, iteration.get(), size.get(), nullptr));
        return callback_says_go_on(answer);
      },
      false);
}

void PythonMultiObjective::placeholder(std::vector<double>& values) const {
  values.assign(n_objectives_, std::numeric_limits<double>::infinity());
}

}  // namespace corvalinth::py
